// One fuzz input as a PNG whose program is read back (pngtext.h).
#include <zlib.h>

#include <string>

#include "drive.h"
#include "pngtext.h"

// Each chunk's CRC made right, as far as whole chunks go.
static void fuzz_png_fix_crcs(std::string& png)
{
    size_t at = 8;
    while (png.size() >= 12 && at <= png.size() - 12) {
        const unsigned char* p = (const unsigned char*)png.data() + at;
        uint32_t length = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
        if (length > png.size() - at - 12)
            break;
        uint32_t crc = (uint32_t)crc32(0, p + 4, length + 4);
        for (int i = 0; i < 4; i++)
            png[at + 8 + length + i] = (char)(crc >> (24 - 8 * i));
        at += 12 + length;
    }
}

void fuzz_png_file(const uint8_t* data, size_t size)
{
    if (size == 0)
        return;
    std::string png((const char*)data + 1, size - 1);
    if (data[0] % 2 == 0)
        fuzz_png_fix_crcs(png);
    pngtext_program program;
    std::string error, run_error;
    if (!pngtext_program_read(png, program, error, run_error))
        return;
    // What was read goes out again as texts to write.
    std::string note;
    std::vector<pngtext_item> items = pngtext_items(program, note);
    if (program.source.find('\0') == std::string::npos && (items.empty() || items[0].text != program.source))
        __builtin_trap();
}
