// One fuzz input run through the whole machine, as the shell would run a
// source, through the listings and through the checker: shared by the fuzz targets and the test
// that replays the inputs that once failed.
#pragma once
#include <cstddef>
#include <cstdint>

// The first byte picks the debug mode (its value modulo 3). The last byte
// k says that the k % 64 bytes before it are standard input. The bytes
// between are the source. Runs in the current directory, where the source
// and standard input are written and debug.html lands; standard output
// must already go to a sink.
void fuzz_run_source(const uint8_t* data, size_t size);

// Copies the font at `path` into the current directory as term.mxf, where
// the machine looks first, so that the text services and the overlay draw
// under fuzzing as they do in a run. False when it cannot be copied.
bool fuzz_take_font(const char* path);

// The bytes as a font file: loaded, then texts holding every byte value
// drawn plain and scaled on a surface of each depth, at a place on or off it
// that the input's length picks.
void fuzz_font_file(const uint8_t* data, size_t size);

// The bytes as a session with the language server, which has just opened a
// small program. With an even first byte the rest is a byte stream from a
// client; with an odd one it is a script of edits to that program, each a
// line, a column, a length to replace and up to 7 bytes of new text, with
// requests at the edited places. Bit 1 of the first byte asks for UTF-8
// positions. Answers go to standard output.
void fuzz_lsp_session(const uint8_t* data, size_t size);

// The bytes as a PNG whose texts are read (pngtext.h). With an even first
// byte every chunk's CRC is made right first, so that the fuzzer gets past
// the check into the chunks' contents; with an odd one they stay as given.
void fuzz_png_file(const uint8_t* data, size_t size);
