// The machine's own bitmap font: the font file, and text drawn with it on an
// SDL surface through the pixel layer.
//
// A font file is a flat run of little-endian 32-bit values: the magic, the
// glyph width and height, the fill value, then the cells of glyphs 0 to 127,
// column by column, each column top to bottom.
#include "mxfont.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "pixelbuffer.h"

static void font_error()
{
    fprintf(stderr, "Error invalid font file format!\n");
}

// One little-endian 32-bit value; false when the file ends before it.
static bool font_read_value(FILE* f, int32_t* value)
{
    unsigned char b[4];
    if (fread(b, 1, 4, f) != 4)
        return false;
    *value = (int32_t)((uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 |
                       (uint32_t)b[3] << 24);
    return true;
}

// Reads the cells of one column. A file that ends early leaves the rest of
// the column, and every later column, at the fill value.
static bool font_read_column(FILE* f, int32_t* column, int height)
{
    for (int row = 0; row < height; row++) {
        if (!font_read_value(f, &column[row]))
            return false;
    }
    return true;
}

static void font_read_cells(FILE* f, mx_font* font)
{
    for (int g = 0; g < FONT_GLYPHS; g++) {
        for (int col = 0; col < font->width; col++) {
            if (!font_read_column(f, font->glyphs[g][col], font->height))
                return;
        }
    }
}

static void font_free_glyphs(mx_font* font)
{
    for (int g = 0; g < FONT_GLYPHS; g++) {
        if (!font->glyphs[g])
            continue;
        for (int col = 0; col < font->width; col++)
            free(font->glyphs[g][col]);
        free(font->glyphs[g]);
        font->glyphs[g] = nullptr;
    }
}

mx_font* SDL_InitFont(const char* path)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return nullptr;
    int32_t magic = 0, width = 0, height = 0, fill = 0;
    bool header = font_read_value(f, &magic) && magic == FONT_MAGIC &&
                  font_read_value(f, &width) && font_read_value(f, &height) &&
                  font_read_value(f, &fill);
    if (!header || width < 0 || width > FONT_MAX_SIDE || height < 0 || height > FONT_MAX_SIDE) {
        font_error();
        fclose(f);
        return nullptr;
    }
    mx_font* font = (mx_font*)calloc(1, sizeof(mx_font));
    if (font && !InitFont(font, width, height, fill)) {
        free(font);
        font = nullptr;
    }
    if (font)
        font_read_cells(f, font);
    fclose(f);
    return font;
}

// Sets up the record in place: 128 glyphs of width columns of height cells,
// every cell holding value. Yields null, with the glyph storage released,
// when memory runs out.
mx_font* InitFont(mx_font* font, int width, int height, int value)
{
    font->width = width;
    font->height = height;
    for (int g = 0; g < FONT_GLYPHS; g++)
        font->glyphs[g] = nullptr;
    for (int g = 0; g < FONT_GLYPHS; g++) {
        // At least one element, so that an empty table is not taken for a
        // failed allocation.
        font->glyphs[g] = (int32_t**)calloc(width > 0 ? width : 1, sizeof(int32_t*));
        if (!font->glyphs[g]) {
            font_free_glyphs(font);
            return nullptr;
        }
        for (int col = 0; col < width; col++) {
            int32_t* column = (int32_t*)malloc(sizeof(int32_t) * (height > 0 ? height : 1));
            if (!column) {
                font_free_glyphs(font);
                return nullptr;
            }
            for (int row = 0; row < height; row++)
                column[row] = value;
            font->glyphs[g][col] = column;
        }
    }
    font->background = 0;
    return font;
}

void SDL_FreeFont(mx_font* font)
{
    if (!font)
        return;
    font_free_glyphs(font);
    free(font);
}

void dump_font(mx_font* font)
{
    if (!font)
        return;
    for (int g = 0; g < FONT_GLYPHS; g++)
        for (int col = 0; col < font->width; col++)
            for (int row = 0; row < font->height; row++)
                printf("%d \n", font->glyphs[g][col][row]);
}

// The glyph of a character code, or null for codes 128 to 255, which the
// font does not cover: they are laid out as glyphs without lit cells.
static int32_t** font_glyph(mx_font* font, unsigned char c)
{
    return c < FONT_GLYPHS ? font->glyphs[c] : nullptr;
}

// Where a text is being drawn: the surface, its pixel base (null when it
// could not be locked: then the layout goes on but nothing is written) and
// the colour.
struct font_target {
    SDL_Surface* surface;
    void* pixels;
    uint32_t color;
};

// Sets one pixel when it lies on the surface. Plain text never draws on
// row 0 or column 0; scaled text may (with_edge). Positions are kept wide,
// so that far-off pen positions cannot overflow.
static void font_plot(const font_target& t, long long x, long long y, bool with_edge)
{
    long long low = with_edge ? 0 : 1;
    if (!t.pixels || x < low || y < low || x >= t.surface->w || y >= t.surface->h)
        return;
    setpixel(t.pixels, (int)x, (int)y, t.color, t.surface->format->BitsPerPixel,
             t.surface->pitch);
}

// Draws one glyph at the pen. Every lit cell, drawn or clipped, sets the
// advance to its column + 2 and may deepen the line step.
static void font_draw_glyph(const font_target& t, mx_font* font, int32_t** glyph,
                            long long pen_x, long long pen_y, int* advance, int* step)
{
    if (!glyph)
        return;
    for (int col = 0; col < font->width; col++) {
        for (int row = 0; row < font->height; row++) {
            if (glyph[col][row] == font->background)
                continue;
            font_plot(t, pen_x + col, pen_y + row, false);
            *advance = col + 2;
            if (row > *step)
                *step = row;
        }
    }
}

int SDL_PrintText(SDL_Surface* surface, mx_font* font, int x, int y, uint32_t color,
                  const char* text)
{
    if (!surface || !font || !text)
        return 0;
    font_target t{surface, lock(surface, surface->format->BitsPerPixel), color};
    long long pen_x = x, pen_y = y;
    int advance = 0, step = 0;
    int result = 0;
    for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
        if (*p == '\n') {
            pen_x = x;
            pen_y += step;
            continue;
        }
        font_draw_glyph(t, font, font_glyph(font, *p), pen_x, pen_y, &advance, &step);
        pen_x += advance;
        if (pen_x + advance >= surface->w) {
            pen_x = x;
            pen_y += step;
        }
        if (pen_y + step > surface->h) {
            result = 1;
            break;
        }
    }
    unlock(surface);
    return result;
}

// A glyph cell index from a scaled position, kept inside the glyph: single
// precision can round the last position of a very wide scale up to the side.
static int font_clamp(int i, int side)
{
    return i < 0 ? 0 : (i >= side ? side - 1 : i);
}

void SDL_PrintTextScaled(SDL_Surface* surface, mx_font* font, int x, int y, int sw, int sh,
                         uint32_t color, const char* text)
{
    if (!surface || !font || !text)
        return;
    font_target t{surface, lock(surface, surface->format->BitsPerPixel), color};
    long long pen_x = x, pen_y = y;
    int last = 0, step = 0;
    for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
        if (*p == '\n') {
            pen_x = x;
            pen_y += step;
            continue;
        }
        // A font without cells has nothing to resample.
        int32_t** glyph = font->width > 0 && font->height > 0 ? font_glyph(font, *p) : nullptr;
        for (int c = 0; glyph && c < sw; c++) {
            int32_t* column = glyph[font_clamp(SDL_GetFX(font, c, sw), font->width)];
            for (int r = 0; r < sh; r++) {
                if (column[font_clamp(SDL_GetFZ(font, r, sh), font->height)] == font->background)
                    continue;
                font_plot(t, pen_x + c, pen_y + r, true);
                last = c;
                if (r > step)
                    step = r;
            }
        }
        pen_x += last + 2;
    }
    unlock(surface);
}

// The integer part of i * side / n, the quotient rounded to single precision
// first; 0 when n is 0 or the result does not fit an int.
static int font_scale(int i, int side, int n)
{
    if (n == 0)
        return 0;
    float q = (float)((double)i * side / n);
    if (!(q > (float)INT_MIN && q < (float)INT_MAX))
        return 0;
    return (int)q;
}

int SDL_GetFX(mx_font* font, int i, int n)
{
    return font ? font_scale(i, font->width, n) : 0;
}

int SDL_GetFZ(mx_font* font, int i, int n)
{
    return font ? font_scale(i, font->height, n) : 0;
}
