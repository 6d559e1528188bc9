// mkicon: paints the window icon, a 32 by 32 chip with a band of the
// machine's palette across it, and saves it as a BMP file.
//
//   mkicon OUTPUT
//
// Nothing is read: the picture is drawn here, rectangle by rectangle.
#include <cstdio>

#include "SDL.h"

constexpr int ICON_SIDE = 32;

static void mkicon_rect(SDL_Surface* s, int x, int y, int w, int h, Uint8 r, Uint8 g, Uint8 b)
{
    SDL_Rect rect{(Sint16)x, (Sint16)y, (Uint16)w, (Uint16)h};
    SDL_FillRect(s, &rect, SDL_MapRGB(s->format, r, g, b));
}

// The chip's pins: short light stubs along the four sides.
static void mkicon_pins(SDL_Surface* s)
{
    for (int i = 8; i <= 22; i += 4) {
        mkicon_rect(s, i, 1, 2, 4, 190, 190, 200);
        mkicon_rect(s, i, 27, 2, 4, 190, 190, 200);
        mkicon_rect(s, 1, i, 4, 2, 190, 190, 200);
        mkicon_rect(s, 27, i, 4, 2, 190, 190, 200);
    }
}

// A diagonal band of six palette colours through the chip's body, from the
// top right to the bottom left, like a stroke of the letter Z.
static void mkicon_band(SDL_Surface* s)
{
    static const Uint8 colors[6][3] = {
        {255, 0, 0}, {255, 127, 0}, {255, 255, 0}, {0, 255, 0}, {0, 127, 255}, {127, 0, 255},
    };
    for (int step = 0; step < 16; step++) {
        const Uint8* c = colors[step * 6 / 16];
        mkicon_rect(s, 22 - step, 9 + step, 3, 1, c[0], c[1], c[2]);
    }
}

static void mkicon_paint(SDL_Surface* s)
{
    mkicon_rect(s, 0, 0, ICON_SIDE, ICON_SIDE, 24, 26, 38);      // background
    mkicon_pins(s);
    mkicon_rect(s, 5, 5, 22, 22, 70, 74, 90);                    // chip rim
    mkicon_rect(s, 6, 6, 20, 20, 36, 38, 52);                    // chip body
    mkicon_rect(s, 8, 8, 16, 2, 240, 240, 240);                  // top bar of the Z
    mkicon_band(s);
    mkicon_rect(s, 8, 23, 16, 2, 240, 240, 240);                 // bottom bar of the Z
    mkicon_rect(s, 7, 7, 1, 1, 255, 210, 60);                    // the chip's orientation dot
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: mkicon OUTPUT\n");
        return 2;
    }
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, ICON_SIDE, ICON_SIDE, 24, 0x0000FF,
                                          0x00FF00, 0xFF0000, 0);
    if (!s) {
        fprintf(stderr, "mkicon: %s\n", SDL_GetError());
        return 1;
    }
    mkicon_paint(s);
    int status = SDL_SaveBMP(s, argv[1]) == 0 ? 0 : 1;
    if (status)
        fprintf(stderr, "mkicon: cannot write %s: %s\n", argv[1], SDL_GetError());
    SDL_FreeSurface(s);
    return status;
}
