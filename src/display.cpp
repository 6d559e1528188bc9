// The display's state and lifecycle: the window, its icon and caption, the
// font's owner, and the shut-down.
#include "display.h"

#include "mxfont.h"
#include "parse.h"

SDL_Surface* front = nullptr;
mx_font* the_font = nullptr;
int active = 0;
int display_depth = 0;
bool (*display_shown_hook)(SDL_Surface* surface) = nullptr;

SDL_Surface* display_open_window()
{
    // SDL copies the icon into the window; the image itself is ours to free.
    SDL_Surface* icon = SDL_LoadBMP_RW(SDL_RWFromFile("icon.bmp", "rb"), 1);
    SDL_WM_SetIcon(icon, nullptr);
    if (icon)
        SDL_FreeSurface(icon);
    SDL_Surface* surface = SDL_SetVideoMode(480, 272, display_depth, 0);
    if (surface)
        SDL_WM_SetCaption("Zorvik VM", nullptr);
    return surface;
}

void do_quit()
{
    _reg.X = 0;
    if (front) {
        SDL_FreeSurface(front);
        front = nullptr;
    }
    if (the_font) {
        SDL_FreeFont(the_font);
        the_font = nullptr;
    }
    SDL_Quit();
}
