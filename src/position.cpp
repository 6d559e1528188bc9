// Lines and columns of byte offsets.
#include "position.h"

#include <algorithm>

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
