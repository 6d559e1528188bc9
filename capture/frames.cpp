// Keeping shown frames: each surface becomes a frame of colour indexes.
#include <cstring>

#include "capture.h"

// The index of a colour, added to the film's colours when new. Past 256
// colours (which no program of this machine can show) the last index is
// reused, so a frame is never lost.
static uint8_t color_index(capture_film& film, uint32_t rgb)
{
    for (size_t i = 0; i < film.colors.size(); i++)
        if (film.colors[i] == rgb)
            return (uint8_t)i;
    if (film.colors.size() < 256)
        film.colors.push_back(rgb);
    return (uint8_t)(film.colors.size() - 1);
}

static void capture_keep(capture_film& film, std::vector<uint8_t>&& pixels)
{
    film.shown++;
    if (!film.frames.empty() && film.frames.back().pixels == pixels) {
        film.frames.back().shown++;
        return;
    }
    if (!film.keep_all)
        film.frames.clear();
    film.frames.push_back({std::move(pixels), 1});
}

void capture_add(capture_film& film, SDL_Surface* surface)
{
    std::vector<uint8_t> pixels(CAPTURE_WIDTH * CAPTURE_HEIGHT, 0);
    if (SDL_LockSurface(surface) == 0) {
        int w = surface->w < CAPTURE_WIDTH ? surface->w : CAPTURE_WIDTH;
        int h = surface->h < CAPTURE_HEIGHT ? surface->h : CAPTURE_HEIGHT;
        int bytes = surface->format->BytesPerPixel;
        uint32_t last_value = 0;
        uint8_t last_index = color_index(film, 0);
        for (int y = 0; y < h; y++) {
            const uint8_t* row = (const uint8_t*)surface->pixels + (size_t)y * surface->pitch;
            for (int x = 0; x < w; x++) {
                uint32_t value = 0;
                memcpy(&value, row + (size_t)x * bytes, bytes <= 4 ? bytes : 4);
                if (value != last_value) {
                    Uint8 r, g, b;
                    SDL_GetRGB(value, surface->format, &r, &g, &b);
                    last_value = value;
                    last_index = color_index(film, (uint32_t)r << 16 | (uint32_t)g << 8 | b);
                }
                pixels[(size_t)y * CAPTURE_WIDTH + x] = last_index;
            }
        }
        SDL_UnlockSurface(surface);
    }
    capture_keep(film, std::move(pixels));
}

void capture_add_black(capture_film& film)
{
    std::vector<uint8_t> pixels(CAPTURE_WIDTH * CAPTURE_HEIGHT, color_index(film, 0));
    capture_keep(film, std::move(pixels));
}
