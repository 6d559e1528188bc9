// Documents and positions. A document is any bytes: where they are not
// UTF-8, each byte that begins no sequence counts as one character, as an
// editor shows it in place of the byte.
#include "text.h"

#include <algorithm>

#include "position.h"

std::map<std::string, text_document> text_documents;
bool text_utf16 = true;

void text_set(text_document& d, std::string bytes)
{
    d.bytes = std::move(bytes);
    d.line_starts = position_line_starts(d.bytes);
    d.checked = false;
}

// The byte length of the UTF-8 sequence at p, and its UTF-16 units; a byte
// that starts no valid sequence is one byte and one unit.
static int text_sequence(const std::string& s, size_t p, int& units)
{
    unsigned char c = (unsigned char)s[p];
    int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || p + (size_t)n > s.size()) {
        units = 1;
        return 1;
    }
    for (int k = 1; k < n; k++)
        if (((unsigned char)s[p + (size_t)k] >> 6) != 2) {
            units = 1;
            return 1;
        }
    units = n == 4 ? 2 : 1;
    return n;
}

static long long text_line_end(const text_document& d, size_t line)
{
    long long end = line + 1 < d.line_starts.size() ? d.line_starts[line + 1] - 1 : (long long)d.bytes.size();
    if (end > d.line_starts[line] && d.bytes[(size_t)end - 1] == '\r' && line + 1 < d.line_starts.size())
        end--;
    return end;
}

bool text_offset(const text_document& d, long long line, long long character, long long& offset)
{
    if (line < 0 || character < 0 || (size_t)line >= d.line_starts.size())
        return false;
    long long at = d.line_starts[(size_t)line], end = text_line_end(d, (size_t)line);
    if (!text_utf16) {
        offset = std::min(at + character, end);
        return true;
    }
    long long units = 0;
    while (at < end && units < character) {
        int u;
        at += text_sequence(d.bytes, (size_t)at, u);
        units += u;
    }
    offset = std::min(at, end);
    return true;
}

void text_position(const text_document& d, long long offset, long long& line, long long& character)
{
    offset = std::clamp<long long>(offset, 0, (long long)d.bytes.size());
    source_place place = position_locate(d.line_starts, offset);
    line = place.line - 1;
    long long at = d.line_starts[(size_t)line];
    if (!text_utf16) {
        character = offset - at;
        return;
    }
    character = 0;
    while (at < offset) {
        int u;
        at += text_sequence(d.bytes, (size_t)at, u);
        character += u;
    }
}
