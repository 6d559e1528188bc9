// The system's own bitmap font: loading the font file and drawing text.
#pragma once
#include <cstdint>
#include "SDL.h"

constexpr int FONT_GLYPHS = 128;
constexpr int FONT_MAGIC = -100;
constexpr int FONT_MAX_SIDE = 250;

struct mx_font {
    int width;
    int height;
    int background;
    int32_t** glyphs[FONT_GLYPHS];  // glyph -> column -> row
};

mx_font* SDL_InitFont(const char* path);
mx_font* InitFont(mx_font* font, int width, int height, int value);
void SDL_FreeFont(mx_font* font);
void dump_font(mx_font* font);
int SDL_PrintText(SDL_Surface* surface, mx_font* font, int x, int y, uint32_t color, const char* text);
void SDL_PrintTextScaled(SDL_Surface* surface, mx_font* font, int x, int y, int sw, int sh,
                         uint32_t color, const char* text);
int SDL_GetFX(mx_font* font, int i, int n);
int SDL_GetFZ(mx_font* font, int i, int n);
