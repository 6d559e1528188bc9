// Pixel access on SDL surfaces of one to four bytes per pixel. The font
// writes through setpixel and the screen refresh through setrow, so every
// depth the display may come up in is handled in one place.
#include "pixelbuffer.h"

#include <bit>
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

// Which of n pixels packed into one word goes into the word's k-th lowest
// part, so that the word's bytes lie in memory in pixel order.
static constexpr int first_byte(int k, int n)
{
    return std::endian::native == std::endian::little ? k : n - 1 - k;
}

// Two 32-bit pixels as one word, in memory order.
static inline uint64_t pack2(uint64_t first, uint64_t second)
{
    return std::endian::native == std::endian::little ? first | second << 32 : second | first << 32;
}

// One loop per pixel size, each writing pixels as setpixel does. Pixels of
// one and four bytes are stored a word at a time: the stores, not the
// colour lookups, are what a refresh waits for.
void setrow(void* pixels, int y, uint16_t pitch, uint8_t depth, const uint8_t* bytes, int count,
            const uint32_t* colors)
{
    int size = pixel_bytes(depth);
    if (!pixels || size == 0)
        return;
    uint8_t* out = (uint8_t*)pixels + (ptrdiff_t)y * pitch;
    switch (size) {
    case 1: {
        int x = 0;
        for (; x + 7 < count; x += 8) {
            uint64_t v = 0;
            for (int k = 7; k >= 0; k--)
                v = v << 8 | (uint8_t)colors[bytes[x + first_byte(k, 8)]];
            memcpy(out + x, &v, 8);
        }
        for (; x < count; x++)
            out[x] = (uint8_t)colors[bytes[x]];
        break;
    }
    case 2:
#pragma GCC unroll 8
        for (int x = 0; x < count; x++) {
            uint16_t v = (uint16_t)colors[bytes[x]];
            memcpy(out + 2 * x, &v, 2);
        }
        break;
    case 3:
#pragma GCC unroll 8
        for (int x = 0; x < count; x++, out += 3) {
            uint32_t v = colors[bytes[x]];
            out[0] = (uint8_t)v;  // lowest byte first, as setpixel writes it
            out[1] = (uint8_t)(v >> 8);
            out[2] = (uint8_t)(v >> 16);
        }
        break;
    case 4: {
        int x = 0;
#pragma GCC unroll 4
        for (; x + 1 < count; x += 2) {
            uint64_t v = pack2(colors[bytes[x]], colors[bytes[x + 1]]);
            memcpy(out + 4 * x, &v, 8);
        }
        for (; x < count; x++)
            memcpy(out + 4 * x, &colors[bytes[x]], 4);
        break;
    }
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
