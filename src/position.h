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
