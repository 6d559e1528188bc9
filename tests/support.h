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
