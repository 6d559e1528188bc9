// The program of each run: the bytes of its .zvs file, or the program that
// a PNG carries (pngtext.h). Either way the source is read whole before the
// run and lexed from memory, so that what a screenshot or a kept run
// carries is exactly what ran.
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "lex.h"
#include "play.h"
#include "pngtext.h"

namespace fs = std::filesystem;

bool play_program_is_png(const std::string& path)
{
    std::string extension = fs::path(path).extension().string();
    return strcasecmp(extension.c_str(), ".png") == 0;
}

int play_program_open(mlex_file* source, std::string& error)
{
    std::string bytes;
    if (!pngtext_read_file(play.program, bytes))
        return 0;
    fs::path path(play.program);
    if (play.from_png) {
        pngtext_program carried;
        std::string run_error;
        if (!pngtext_program_read(bytes, carried, error, run_error))
            return -1;
        play.source = std::move(carried.source);
        // A picture without a name is named after itself.
        play.name = carried.name.empty() ? path.stem().string() + ".zvs" : carried.name;
    } else {
        play.source = std::move(bytes);
        play.name = path.filename().string();
    }
    play.stem = fs::path(play.name).stem().string();
    // The lexer closes the stream at the end of the run; the bytes stay
    // until the next run reads its own.
    FILE* stream = fmemopen(play.source.data(), play.source.size(), "r");
    if (!stream)
        return 0;
    mlex_init_stream(source, stream);
    return 1;
}
