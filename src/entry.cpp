// The platform entry. SDL 1.2 does not redirect main on this platform, so the
// program's own entry is called directly. In a window, refreshes keep to
// 60 frames a second.
#include "display.h"
#include "framerate.h"
#include "main.h"

int main(int argc, char** argv)
{
    display_shown_hook = framerate_shown;
    return SDL_main(argc, argv);
}
