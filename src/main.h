// The program shell: the entry and the debug mode it reads from the command
// line. The display's state is the display module's (display.h).
#pragma once

extern int debug_mode;        // 0 none, 1 "--debug", 2 "--debug=gfx"

// C linkage, as SDL declares it on the platforms where it calls this itself.
extern "C" int SDL_main(int argc, char** argv);
