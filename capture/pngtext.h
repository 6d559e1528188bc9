// The program a picture carries: PNG text chunks that hold a program's
// source and name and, when the run is known, its seed, key events,
// console input and the shown frame the picture is of. Written as zTXt
// after the image data by the capture and the player; read back here by a
// walk of the PNG's chunks of its own, every length checked against the
// bytes there are, so that any file can be handed to it.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// The keywords, the same for the page.
extern const char* const PNGTEXT_PROGRAM;  // the source's bytes exactly
extern const char* const PNGTEXT_NAME;     // its file name, e.g. dodge.zvs
extern const char* const PNGTEXT_SEED;     // decimal
extern const char* const PNGTEXT_KEYS;     // one key-script event list
extern const char* const PNGTEXT_INPUT;    // the console input of the run
extern const char* const PNGTEXT_FRAME;    // the shown frame pictured, decimal

// All the texts of a PNG inflate to at most this many bytes together.
constexpr size_t PNGTEXT_MOST = 16u << 20;

struct pngtext_item {
    std::string keyword;
    std::string text;
};

// What a picture carries. `has_run` with a seed, keys, input and frame.
struct pngtext_program {
    std::string source;
    std::string name;  // a plain file name, or empty
    bool has_run = false;
    unsigned seed = 0;
    std::string keys;
    std::string input;
    long long frame = 0;
};

// Every tEXt and zTXt chunk of a PNG, in the file's order, zTXt inflated.
// False, with what is wrong in `error`, for a file that is not a PNG, a
// chunk cut short or damaged, a text that does not inflate or that takes
// the texts past PNGTEXT_MOST.
bool pngtext_read(const std::string& png, std::vector<pngtext_item>& items, std::string& error);

// The program of a PNG; false, with what is wrong, also when the PNG holds
// none. A keyword given twice counts the first time. A run whose seed or
// frame is not a number is left out, with why in `run_error`.
bool pngtext_program_read(const std::string& png, pngtext_program& program, std::string& error,
                          std::string& run_error);

// The texts to write for a program. PNG text cannot hold a zero byte: a
// source that has one is not carried at all, and a run whose input or keys
// have one is left out; `note` then says so (else it is empty).
std::vector<pngtext_item> pngtext_items(const pngtext_program& program, std::string& note);

// The file's bytes, whole; false, with errno set, when it cannot be read.
bool pngtext_read_file(const std::string& path, std::string& bytes);
