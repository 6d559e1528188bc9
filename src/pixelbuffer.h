// Pixel access on SDL surfaces of 8, 16, 24 and 32 bits per pixel.
#pragma once
#include <cstdint>
#include "SDL.h"

void* lock(SDL_Surface* surface, int depth);
void unlock(SDL_Surface* surface);
void setpixel(void* pixels, int x, int y, uint32_t color, uint8_t depth, uint16_t pitch);
// Pixels 0 to count - 1 of row y: pixel x gets colors[bytes[x]].
void setrow(void* pixels, int y, uint16_t pitch, uint8_t depth, const uint8_t* bytes, int count,
            const uint32_t* colors);
uint32_t getpixel(SDL_Surface* surface, int x, int y, uint8_t depth, uint16_t pitch);
