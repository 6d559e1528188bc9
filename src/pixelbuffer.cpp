// Pixel access on SDL surfaces of one to four bytes per pixel. The screen
// refresh and the font write through setpixel, so every depth the display
// may come up in is handled in one place.
#include "pixelbuffer.h"

#include <cstring>

// Working values of setpixel and getpixel: the addressed pixel and, for
// three-byte pixels, its high, middle and low byte. Module-level, so neither
// function may be entered twice at once (the machine has one thread).
static uint8_t* ubuff8;
static uint16_t ubuff16;
static uint32_t ubuff32;
static uint8_t c1, c2, c3;
static uint32_t bitz;

// Bytes per pixel for a depth value, 0 for a depth the layer does not know.
// Both spellings are accepted: bytes (1 to 4) and bits (8 to 32).
static int pixel_bytes(int depth)
{
    switch (depth) {
    case 1: case 8: return 1;
    case 2: case 16: return 2;
    case 3: case 24: return 3;
    case 4: case 32: return 4;
    default: return 0;
    }
}

void* lock(SDL_Surface* surface, int)
{
    if (!surface)
        return nullptr;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) < 0)
        return nullptr;
    // The surface's own format decides, not what the caller claims.
    if (pixel_bytes(surface->format->BitsPerPixel) == 0)
        return nullptr;
    return surface->pixels;
}

void unlock(SDL_Surface* surface)
{
    // SDL ignores an unlock of a surface that is not locked, so this is safe
    // also after a lock that failed.
    if (surface && SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
}

void setpixel(void* pixels, int x, int y, uint32_t color, uint8_t depth, uint16_t pitch)
{
    int bytes = pixel_bytes(depth);
    if (!pixels || bytes == 0)
        return;
    ubuff8 = (uint8_t*)pixels + (ptrdiff_t)y * pitch + (ptrdiff_t)x * bytes;
    switch (bytes) {
    case 1:
        *ubuff8 = (uint8_t)color;
        break;
    case 2:
        ubuff16 = (uint16_t)color;
        memcpy(ubuff8, &ubuff16, 2);
        break;
    case 3:
        // Always lowest byte first, whatever the machine's byte order.
        c1 = (uint8_t)(color >> 16);
        c2 = (uint8_t)(color >> 8);
        c3 = (uint8_t)color;
        ubuff8[0] = c3;
        ubuff8[1] = c2;
        ubuff8[2] = c1;
        break;
    case 4:
        ubuff32 = color;
        memcpy(ubuff8, &ubuff32, 4);
        break;
    }
}

uint32_t getpixel(SDL_Surface* surface, int x, int y, uint8_t depth, uint16_t pitch)
{
    int bytes = pixel_bytes(depth);
    if (!surface || !surface->pixels || bytes == 0)
        return 0;
    if (x < 0 || y < 0 || x >= surface->w || y >= surface->h)
        return 0;
    // A depth or pitch that does not fit the surface must not read past it.
    ptrdiff_t at = (ptrdiff_t)y * pitch + (ptrdiff_t)x * bytes;
    if (at + bytes > (ptrdiff_t)surface->h * surface->pitch)
        return 0;
    ubuff8 = (uint8_t*)surface->pixels + at;
    switch (bytes) {
    case 1:
        bitz = *ubuff8;
        break;
    case 2:
        memcpy(&ubuff16, ubuff8, 2);
        bitz = ubuff16;
        break;
    case 3: {
        SDL_PixelFormat* f = surface->format;
        c1 = ubuff8[f->Rshift / 8];
        c2 = ubuff8[f->Gshift / 8];
        c3 = ubuff8[f->Bshift / 8];
        bitz = SDL_MapRGB(f, c1, c2, c3);
        break;
    }
    default:
        memcpy(&ubuff32, ubuff8, 4);
        bitz = ubuff32;
        break;
    }
    return bitz;
}
