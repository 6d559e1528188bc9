// The screen area and its 64-colour palette. A program draws by storing
// bytes into a 255 by 255 window of memory; the refresh copies that window
// to the display, one byte per pixel.
#include "screen.h"

#include "arith.h"
#include "debug.h"
#include "display.h"
#include "machine.h"
#include "pixelbuffer.h"

#ifdef ZORVIK_ENGINE
bool screen_watching = false;
#endif

// A channel's level from its two bits. The higher bit alone is the darker
// shade (85), the lower bit alone the brighter one (127).
static int palette_level(int byte, int low_bit)
{
    static const int levels[4] = {0, 127, 85, 255};
    return levels[get_bit(byte, low_bit) | (get_bit(byte, low_bit + 1) << 1)];
}

uint32_t palette_rgb(int byte)
{
    return (uint32_t)palette_level(byte, 1) << 16 | (uint32_t)palette_level(byte, 3) << 8 |
           (uint32_t)palette_level(byte, 5);
}

uint32_t trans_color(int byte)
{
    if (!front)
        return 0;
    uint32_t rgb = palette_rgb(byte);
    return SDL_MapRGB(front->format, (Uint8)(rgb >> 16), (Uint8)(rgb >> 8), (Uint8)rgb);
}

// Copies the shown cells into the locked surface, row by row. The colour
// bytes are mapped once per refresh rather than once per pixel (on a
// paletted display each mapping is a search); the palette looks at bits 1
// to 6 only, so 64 mappings serve all 256 bytes. A zero byte is pixel value
// 0. The bounds also respect a surface smaller than the area, so nothing is
// ever written outside it.
static_assert(memory_offset + (SCREEN_SIDE - 1) * (SCREEN_ROW + 1) < MEMORY_SIZE,
              "the screen area lies inside memory");

static void screen_copy(void* pixels)
{
    uint32_t mapped[64];
    for (int i = 0; i < 64; i++)
        mapped[i] = trans_color(i << 1);
    uint32_t colors[256];
    colors[0] = 0;
    for (int b = 1; b < 256; b++)
        colors[b] = mapped[(b >> 1) & 63];
    uint8_t depth = front->format->BitsPerPixel;
    uint16_t pitch = front->pitch;
    int columns = front->w < SCREEN_SIDE ? front->w : SCREEN_SIDE;
    int rows = front->h < SCREEN_SIDE ? front->h : SCREEN_SIDE;
    for (int y = 0; y < rows; y++)
        setrow(pixels, y, pitch, depth, &_reg.memory[memory_offset + SCREEN_ROW * y], columns,
               colors);
}

int screen_refresh()
{
    display_note_unseen();
    if (!front)
        return 0;
    void* pixels = lock(front, front->format->BitsPerPixel);
    if (pixels)
        screen_copy(pixels);
    unlock(front);
    draw_debug(front);
#ifdef ZORVIK_ENGINE
    if (screen_watching)
        screen_watch_refresh();
#endif
    // The frame as it is shown, before SDL's software cursor is drawn over it.
    bool end = display_shown_hook && display_shown_hook(front);
    // The whole window: text and a cleared surface outside the area become
    // visible now too. The window is 480 by 272.
    display_show();
    return end ? 1 : 0;
}
