// Pixel access on SDL surfaces.
#include "pixelbuffer.h"

void* lock(SDL_Surface*, int) { return nullptr; }
void unlock(SDL_Surface*) {}
void setpixel(void*, int, int, uint32_t, uint8_t, uint16_t) {}
uint32_t getpixel(SDL_Surface*, int, int, uint8_t, uint16_t) { return 0; }
