// Where things stand in a source: lines and byte columns from byte offsets,
// as editors count them. Every newline starts a line.
#pragma once
#include <string>
#include <vector>

// A 1-based line and byte column.
struct source_place {
    long long line;
    long long column;
};

// The offset at which each line of a source starts.
std::vector<long long> position_line_starts(const std::string& source);
source_place position_locate(const std::vector<long long>& line_starts, long long offset);

// The line that starts at `line_start`, as a terminal may show it: the bytes
// within `side` of `offset`, cut with "..." where the line goes on past
// them; tabs kept, control bytes and bytes that are no UTF-8 shown as \xNN,
// so that no file can reach the terminal's controls. With `caret`, the
// blanks (tabs where the line has them) that reach the offset's column.
std::string position_shown_line(const std::string& source, long long line_start, long long offset, long long side,
                                std::string* caret = nullptr);
