// One fuzz input through the lexer, the token table, the interpreter, every
// service that the dummy display serves, and the debug outputs.
#include "drive.h"

#include <cstdio>

#include "lex.h"
#include "main.h"
#include "parse.h"

static void write_bytes(const char* path, const uint8_t* data, size_t size)
{
    FILE* f = fopen(path, "wb");
    if (!f)
        return;
    if (size)
        fwrite(data, 1, size, f);
    fclose(f);
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
    if (mlex_init_file(&f, "prog.zvs") == 1)
        mlex_anaylize(&f);
    do_quit();
}
