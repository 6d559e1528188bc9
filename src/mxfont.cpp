// The bitmap font.
#include "mxfont.h"

mx_font* SDL_InitFont(const char*) { return nullptr; }
mx_font* InitFont(mx_font* font, int, int, int) { return font; }
void SDL_FreeFont(mx_font*) {}
void dump_font(mx_font*) {}
int SDL_PrintText(SDL_Surface*, mx_font*, int, int, uint32_t, const char*) { return 0; }
void SDL_PrintTextScaled(SDL_Surface*, mx_font*, int, int, int, int, uint32_t, const char*) {}
int SDL_GetFX(mx_font*, int, int) { return 0; }
int SDL_GetFZ(mx_font*, int, int) { return 0; }
