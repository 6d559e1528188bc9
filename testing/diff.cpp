// A unified diff of an expected and an actual output, by lines, as a
// reader or a CI log shows it.
#include <algorithm>
#include <cstdint>

#include "position.h"
#include "ztest.h"

constexpr size_t DIFF_CONTEXT = 3;
// Above this many cells of the comparison table, the lines between the
// common start and end count as all changed rather than matched.
constexpr size_t DIFF_TABLE_LIMIT = 16 * 1024 * 1024;

// The lines of a text, each with its newline if it had one.
static std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// A line as a terminal may show it: control bytes and bytes that are no
// UTF-8 escaped, a missing newline said as diff says it.
static std::string shown(char mark, const std::string& line)
{
    bool newline = !line.empty() && line.back() == '\n';
    std::string body = line.substr(0, line.size() - newline);
    std::string s;
    s += mark;
    s += position_shown_line(body, 0, 0, (long long)body.size() + 1);
    s += '\n';
    if (!newline)
        s += "\\ No newline at end of file\n";
    return s;
}

// One edit script entry: ' ' kept, '-' only expected, '+' only actual.
struct diff_step {
    char mark;
    size_t a, b;  // the line's index in expected and actual
};

// The longest common subsequence of the middle, walked into steps.
static void diff_middle(const std::vector<std::string>& a, const std::vector<std::string>& b, size_t a0, size_t a1,
                        size_t b0, size_t b1, std::vector<diff_step>& steps)
{
    size_t n = a1 - a0, m = b1 - b0;
    if (n == 0 || m == 0 || (n + 1) * (m + 1) > DIFF_TABLE_LIMIT) {
        for (size_t i = a0; i < a1; i++)
            steps.push_back({'-', i, b0});
        for (size_t j = b0; j < b1; j++)
            steps.push_back({'+', a1, j});
        return;
    }
    std::vector<uint32_t> len((n + 1) * (m + 1), 0);
    auto at = [&](size_t i, size_t j) -> uint32_t& { return len[i * (m + 1) + j]; };
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            at(i, j) = a[a0 + i] == b[b0 + j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[a0 + i] == b[b0 + j]) {
            steps.push_back({' ', a0 + i, b0 + j});
            i++, j++;
        } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
            steps.push_back({'-', a0 + i, b0 + j});  // what went first, as diff shows it
            i++;
        } else {
            steps.push_back({'+', a0 + i, b0 + j});
            j++;
        }
    }
}

static std::string hunk_range(size_t start, size_t count)
{
    // An empty range names the line before it, as diff does.
    return std::to_string(count ? start + 1 : start) + "," + std::to_string(count);
}

std::string ztest_diff(const std::string& expected, const std::string& actual, const std::string& label)
{
    if (expected == actual)
        return "";
    std::vector<std::string> a = split_lines(expected), b = split_lines(actual);
    size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        head++;
    size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        tail++;
    std::vector<diff_step> steps;
    for (size_t i = 0; i < head; i++)
        steps.push_back({' ', i, i});
    diff_middle(a, b, head, a.size() - tail, head, b.size() - tail, steps);
    for (size_t k = tail; k > 0; k--)
        steps.push_back({' ', a.size() - k, b.size() - k});

    std::string out = "--- " + label + " (expected)\n+++ " + label + " (actual)\n";
    size_t k = 0;
    while (k < steps.size()) {
        while (k < steps.size() && steps[k].mark == ' ')
            k++;
        if (k == steps.size())
            break;
        // A hunk: changes with up to three kept lines around them, joined
        // with the next change when fewer than seven kept lines part them.
        size_t first = k >= DIFF_CONTEXT ? k - DIFF_CONTEXT : 0;
        size_t last = k;
        for (size_t j = k; j < steps.size(); j++) {
            if (steps[j].mark != ' ')
                last = j;
            else if (j - last > 2 * DIFF_CONTEXT)
                break;
        }
        size_t end = std::min(steps.size(), last + 1 + DIFF_CONTEXT);
        size_t a_count = 0, b_count = 0;
        for (size_t j = first; j < end; j++) {
            a_count += steps[j].mark != '+';
            b_count += steps[j].mark != '-';
        }
        out += "@@ -" + hunk_range(steps[first].a, a_count) + " +" + hunk_range(steps[first].b, b_count) + " @@\n";
        for (size_t j = first; j < end; j++)
            out += shown(steps[j].mark, steps[j].mark == '+' ? b[steps[j].b] : a[steps[j].a]);
        k = end;
    }
    return out;
}
