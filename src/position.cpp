// Lines and columns of byte offsets.
#include "position.h"

#include <algorithm>
#include <cstdio>

std::vector<long long> position_line_starts(const std::string& source)
{
    std::vector<long long> starts{0};
    for (size_t i = 0; i < source.size(); i++)
        if (source[i] == '\n')
            starts.push_back((long long)i + 1);
    return starts;
}

source_place position_locate(const std::vector<long long>& line_starts, long long offset)
{
    auto after = std::upper_bound(line_starts.begin(), line_starts.end(), offset);
    long long line = after - line_starts.begin();  // at least 1: the first start is 0
    return {line, offset - line_starts[(size_t)line - 1] + 1};
}

// The length of the UTF-8 sequence at s[i], or 0 when it is none.
static size_t utf8_length(const std::string& s, size_t i, size_t end)
{
    unsigned char c = (unsigned char)s[i];
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (c >= 0xF5 || i + n > end)
        return 0;
    for (size_t k = 1; k < n; k++)
        if (((unsigned char)s[i + k] & 0xC0) != 0x80)
            return 0;
    return n;
}

std::string position_shown_line(const std::string& source, long long line_start, long long offset, long long side,
                                std::string* caret)
{
    size_t end = source.find('\n', (size_t)line_start);
    if (end == std::string::npos)
        end = source.size();
    if (end > (size_t)line_start && source[end - 1] == '\r')
        end--;
    size_t from = (size_t)std::max(line_start, offset - side);
    size_t to = std::min(end, (size_t)std::max(offset + side, line_start));
    while (from > (size_t)line_start && from < end && ((unsigned char)source[from] & 0xC0) == 0x80)
        from--;  // not inside a character
    std::string shown = from > (size_t)line_start ? "..." : "", under(shown.size(), ' ');
    for (size_t i = from; i < to;) {
        unsigned char c = (unsigned char)source[i];
        size_t n = c >= 0x80 ? utf8_length(source, i, end) : 1;
        std::string piece;
        if (c == '\t' || (c >= 0x20 && c < 0x7F) || n > 1) {
            piece = source.substr(i, n);
        } else {
            char b[8];
            snprintf(b, sizeof b, "\\x%02X", c);
            piece = b;
            n = 1;
        }
        if ((long long)i < offset)
            under += c == '\t' ? std::string("\t") : std::string(n > 1 ? 1 : piece.size(), ' ');
        shown += piece;
        i += n;
    }
    if (to < end)
        shown += "...";
    if (caret)
        *caret = under;
    return shown;
}
