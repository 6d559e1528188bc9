// Draws the machine's 64 colours with their byte values, through the same
// palette and font the machine uses, and saves the picture as a PNG file:
//   mkpalette FONT.mxf OUT.png
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "display.h"
#include "mxfont.h"
#include "screen.h"

namespace {

constexpr int CELL_W = 40, CELL_H = 28, GRID = 8;
constexpr int WIDTH = CELL_W * GRID, HEIGHT = CELL_H * GRID;

uint32_t crc_table[256];

void make_crc_table()
{
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crc_table[n] = c;
    }
}

uint32_t crc(const std::vector<uint8_t>& data, size_t from)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = from; i < data.size(); i++)
        c = crc_table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back((uint8_t)(v >> shift));
}

void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data)
{
    put32(png, (uint32_t)data.size());
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(png, crc(png, start));
}

// A zlib stream of stored (uncompressed) deflate blocks: simple and exact.
std::vector<uint8_t> zlib_stored(const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> z{0x78, 0x01};
    size_t at = 0;
    do {
        size_t len = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + len == raw.size() ? 1 : 0);
        z.push_back((uint8_t)len);
        z.push_back((uint8_t)(len >> 8));
        z.push_back((uint8_t)~len);
        z.push_back((uint8_t)(~len >> 8));
        z.insert(z.end(), raw.begin() + (long)at, raw.begin() + (long)(at + len));
        at += len;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);
    return z;
}

bool save_png(SDL_Surface* s, int w, int h, const char* path)
{
    std::vector<uint8_t> raw;
    for (int y = 0; y < h; y++) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < w; x++) {
            uint32_t pixel = *(uint32_t*)((uint8_t*)s->pixels + y * s->pitch + x * 4);
            uint8_t r, g, b;
            SDL_GetRGB(pixel, s->format, &r, &g, &b);
            raw.insert(raw.end(), {r, g, b});
        }
    }
    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put32(header, (uint32_t)w);
    put32(header, (uint32_t)h);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", zlib_stored(raw));
    chunk(png, "IEND", {});
    FILE* f = fopen(path, "wb");
    if (!f)
        return false;
    bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: mkpalette FONT.mxf OUT.png\n");
        return 2;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_Init(SDL_INIT_VIDEO);
    front = SDL_SetVideoMode(480, 272, 32, 0);
    the_font = SDL_InitFont(argv[1]);
    if (!front || !the_font) {
        fprintf(stderr, "mkpalette: no 32-bit surface or no font\n");
        return 1;
    }
    make_crc_table();
    uint32_t label = SDL_MapRGB(front->format, 200, 200, 200);
    // Bits 1 to 6 choose the colour; bits 0 and 7 are ignored.
    for (int i = 0; i < 64; i++) {
        int byte = i << 1;
        Sint16 x = (Sint16)(i % GRID * CELL_W), y = (Sint16)(i / GRID * CELL_H);
        SDL_Rect swatch = {(Sint16)(x + 2), (Sint16)(y + 2), CELL_W - 4, CELL_H - 14};
        SDL_FillRect(front, &swatch, trans_color(byte));
        char text[8];
        snprintf(text, sizeof text, "$%02X", byte);
        SDL_PrintText(front, the_font, x + 4, y + CELL_H - 11, label, text);
    }
    bool ok = save_png(front, WIDTH, HEIGHT, argv[2]);
    do_quit();
    return ok ? 0 : 1;
}
