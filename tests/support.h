// Helpers shared by the tests: temporary files, running sources in-process,
// capturing standard output, and running the built program.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "lex.h"
#include "symtab.h"

// A fresh empty directory under the system's temporary directory.
std::string make_temp_dir();
// Writes content to a new file in a fresh temporary directory; returns its path.
std::string write_temp_file(const std::string& content, const std::string& name = "prog.zvs");
std::string read_file(const std::string& path);

// Lexes source text into `symbols` (the table is emptied first).
void lex_source(const std::string& source);
// Lexes and runs source text in-process, like the run driver without the
// debug outputs; the token table stays filled for inspection.
void run_source(const std::string& source);
// The texts of the token list, in program order.
std::vector<std::string> token_texts();

// Runs fn with standard output going to a buffer; returns what it wrote.
std::string capture_stdout(const std::function<void()>& fn);
std::string capture_stderr(const std::function<void()>& fn);
// Runs fn with standard input reading the given text.
void with_stdin(const std::string& input, const std::function<void()>& fn);

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

// Runs the built zorvik with the arguments in the directory cwd (a fresh
// temporary one when empty), feeding it `input` on standard input.
RunResult run_zorvik(const std::vector<std::string>& args, const std::string& input = "",
                     const std::string& cwd = "");
// The same for any built program; `env` goes before it on the shell's
// command line (assignments, or an `env` command).
RunResult run_binary(const std::string& bin, const std::vector<std::string>& args,
                     const std::string& input = "", const std::string& cwd = "",
                     const std::string& env = "SDL_VIDEODRIVER=dummy");

// The bytes of a font file: magic, width, height and fill, then the cells
// that cell(glyph, column, row) gives, for the first `glyphs` glyphs (128
// makes a complete file, fewer one that is cut short).
std::string font_file_bytes(int magic, int width, int height, int fill,
                            const std::function<int(int, int, int)>& cell, int glyphs = 128);

// Starts SDL's video and opens the 480 by 272 window into `front`, as the
// shell does, but at 32 bits per pixel so that pixel values are known.
void open_test_display();

// A copy of the built program `bin` in a folder of its own, with no run
// folder beside it: a tool that finds none of its own files anywhere.
std::string lone_copy(const std::string& bin);

// Makes a fresh temporary directory holding the built font and icon, and
// makes it the current directory, where the machine looks for them.
std::string enter_run_dir();
