// The open documents: their bytes as the machine reads them, and positions
// in the client's units (UTF-8 bytes or UTF-16 code units per line).
#pragma once
#include <map>
#include <string>
#include <vector>

struct text_document {
    std::string uri;
    std::string bytes;
    int version = 0;
    std::vector<long long> line_starts;  // byte offset of each line
    bool checked = false;                // diagnostics published for this text
};

extern std::map<std::string, text_document> text_documents;
// True when positions count UTF-16 code units, as the protocol's default.
extern bool text_utf16;

void text_set(text_document& d, std::string bytes);
// A client position as a byte offset; false when it lies past the end of
// the document (a character past its line's end is its line's end).
bool text_offset(const text_document& d, long long line, long long character, long long& offset);
// A byte offset as a client position.
void text_position(const text_document& d, long long offset, long long& line, long long& character);
