// The program shell: the entry, the run's lifecycle and the globals through
// which the display, the font and the debug mode are shared.
#pragma once
#include "SDL.h"

struct mx_font;

extern int debug_mode;        // 0 none, 1 "--debug", 2 "--debug=gfx"
extern SDL_Surface* front;    // the window's surface, null while closed
extern mx_font* the_font;     // the loaded font, null while none
extern int active;            // 1 once the display service has run

int SDL_main(int argc, char** argv);
void do_quit();
