// One fuzz input through the lexer, the token table, the interpreter, every
// service that the dummy display serves, and the debug outputs.
#include "drive.h"

#include <cstdio>

#include <climits>
#include <string>
#include <initializer_list>

#include "check.h"
#include "lex.h"
#include "listing.h"
#include "display.h"
#include "main.h"
#include "mxfont.h"
#include "parse.h"
#include "symtab.h"

static void write_bytes(const char* path, const uint8_t* data, size_t size)
{
    FILE* f = fopen(path, "wb");
    if (!f)
        return;
    if (size)
        fwrite(data, 1, size, f);
    fclose(f);
}

bool fuzz_take_font(const char* path)
{
    FILE* from = fopen(path, "rb");
    FILE* to = from ? fopen("term.mxf", "wb") : nullptr;
    bool copied = to != nullptr;
    char buffer[65536];
    size_t n;
    while (to && (n = fread(buffer, 1, sizeof buffer, from)) > 0)
        copied = fwrite(buffer, 1, n, to) == n && copied;
    if (from && ferror(from))
        copied = false;
    if (to && fclose(to) != 0)
        copied = false;
    if (from)
        fclose(from);
    return copied;
}

void fuzz_run_source(const uint8_t* data, size_t size)
{
    int mode = size ? data[0] % 3 : 0;
    size_t input = size > 1 ? data[size - 1] % 64 : 0;
    size_t body = size > 1 ? size - 2 : 0;  // without the mode byte and the length byte
    if (input > body)
        input = body;
    write_bytes("prog.zvs", data + 1, body - input);
    write_bytes("stdin.txt", data + 1 + body - input, input);
    if (!freopen("stdin.txt", "rb", stdin))
        return;
    debug_mode = mode;
    active = 0;
    mlex_file f{};
    if (mlex_init_file(&f, "prog.zvs") != 1)
        return;
    // The run driver's steps, with the icode file, which no run writes, too.
    sym_init(&symbols);
    do
        mlex_gettoken(&f);
    while (cur_token.tok_type != TOK_END);
    mlex_close(&f);
    parse();
    if (debug_mode != 0) {
        build_debug("debug.html");
        build_icode("icode.bin");
    }
    if (debug_mode == 1)
        sym_print(&symbols);
    sym_free(&symbols);
    do_quit();
    // The checker reads the same source through the same lexer.
    if (size > 1)
        check_source(std::string((const char*)data + 1, body - input));
}

void fuzz_font_file(const uint8_t* data, size_t size)
{
    write_bytes("font.mxf", data, size);
    mx_font* font = SDL_InitFont("font.mxf");
    if (!font)
        return;
    char text[256];
    for (int i = 0; i < 255; i++)
        text[i] = (char)(i + 1);  // every byte value but the terminating zero
    text[255] = 0;
    // Every depth gets the text once at a place and with scales picked by
    // the input's length, so that the fuzzer reaches every pair; drawing them
    // all on every input would cost twenty times as much.
    const int places[][2] = {{0, 0}, {5, 3}, {-7, -2}, {60, 40}, {-100000, 10}, {10, INT_MAX - 3},
                             {INT_MIN + 2, INT_MIN + 2}};
    const int scales[][2] = {{1, 1}, {3, 2}, {0, 0}, {-2, 5}, {9, 1}};
    const size_t place_count = sizeof places / sizeof places[0];
    const size_t scale_count = sizeof scales / sizeof scales[0];
    size_t pick = size;
    for (int depth : {8, 16, 24, 32}) {
        SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 64, 48, depth, 0, 0, 0, 0);
        if (!s)
            continue;
        const int* p = places[pick++ % place_count];
        SDL_PrintText(s, font, p[0], p[1], 0xFFFFFFFFu, text);
        const int* k = scales[pick % scale_count];
        SDL_PrintTextScaled(s, font, p[0], p[1], k[0], k[1], 0x12345678u, text + (p[0] % 7 + 7));
        k = scales[(pick + 2) % scale_count];
        SDL_PrintTextScaled(s, font, 2, 1, k[0], k[1], 0x12345678u, text);
        SDL_FreeSurface(s);
    }
    SDL_FreeFont(font);
}
