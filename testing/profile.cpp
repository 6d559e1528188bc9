// Building a profile's call tree as the run goes, and writing it as folded
// stacks and as a table.
#include "profile.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <set>

// Room for this many frames: a call tree larger than this is a run that
// recursed in many ways, and its deeper frames count with their callers.
constexpr size_t PROFILE_NODES = 1 << 16;

void profile_start(profile& p)
{
    p.nodes.clear();
    p.nodes.reserve(PROFILE_NODES);
    p.nodes.push_back({0, -1, -1, -1, 0});
    p.path.assign(1, 0);
    p.path.reserve(512);
    p.counted = 0;
}

// The child of `parent` entered at `label`, made when new and room is left.
static int32_t profile_child(profile& p, int32_t parent, uint32_t label)
{
    for (int32_t n = p.nodes[parent].first_child; n >= 0; n = p.nodes[n].next_sibling)
        if (p.nodes[n].label == label)
            return n;
    if (p.nodes.size() >= PROFILE_NODES)
        return parent;
    int32_t n = (int32_t)p.nodes.size();
    p.nodes.push_back({label, parent, -1, p.nodes[parent].first_child, 0});
    p.nodes[parent].first_child = n;
    return n;
}

void profile_step(profile& p, uint32_t at, int depth, uint64_t statements)
{
    p.nodes[p.path.back()].self += statements - p.counted;
    p.counted = statements;
    if (depth < 0)
        depth = 0;
    size_t want = (size_t)depth + 1;
    if (want < p.path.size())
        p.path.resize(want);
    // One jsr adds one level; a deeper jump (a driver that looked late)
    // enters the same frame at each level it missed.
    while (p.path.size() < want && p.path.size() < p.path.capacity())
        p.path.push_back(profile_child(p, p.path.back(), at));
}

static std::string profile_stack(const profile& p, int32_t n, const std::vector<std::string>& name_of)
{
    std::vector<int32_t> chain;
    for (; n > 0; n = p.nodes[n].parent)
        chain.push_back(n);
    std::string s = "main";
    for (auto i = chain.rbegin(); i != chain.rend(); ++i) {
        uint32_t label = p.nodes[*i].label;
        s += ";";
        s += label < name_of.size() ? name_of[label] : "?";
    }
    return s;
}

void profile_fold(const profile& p, const std::vector<std::string>& name_of, profile_folded& folded)
{
    for (size_t n = 0; n < p.nodes.size(); n++)
        if (p.nodes[n].self)
            folded[profile_stack(p, (int32_t)n, name_of)] += p.nodes[n].self;
}

std::string profile_folded_text(const profile_folded& folded)
{
    std::string out;
    for (const auto& [stack, count] : folded)
        out += stack + " " + std::to_string(count) + "\n";
    return out;
}

std::vector<std::string> profile_frames(const std::string& stack)
{
    std::vector<std::string> frames;
    size_t start = 0;
    for (;;) {
        size_t semi = stack.find(';', start);
        frames.push_back(stack.substr(start, semi - start));
        if (semi == std::string::npos)
            return frames;
        start = semi + 1;
    }
}

std::string profile_table(const profile_folded& folded, std::vector<profile_line> lines)
{
    struct totals {
        uint64_t inclusive = 0, exclusive = 0;
    };
    std::map<std::string, totals> by_name;
    for (const auto& [stack, count] : folded) {
        std::vector<std::string> frames = profile_frames(stack);
        // A recursive subroutine counts once per stack in its inclusive total.
        std::set<std::string> seen(frames.begin(), frames.end());
        for (const std::string& f : seen)
            by_name[f].inclusive += count;
        by_name[frames.back()].exclusive += count;
    }
    std::vector<std::pair<std::string, totals>> rows(by_name.begin(), by_name.end());
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return a.second.inclusive != b.second.inclusive ? a.second.inclusive > b.second.inclusive
                                                        : a.second.exclusive > b.second.exclusive;
    });
    std::string out;
    char line[512];
    snprintf(line, sizeof line, "%-24s %14s %14s\n", "subroutine", "inclusive", "exclusive");
    out += line;
    for (const auto& [name, t] : rows) {
        snprintf(line, sizeof line, "%-24s %14" PRIu64 " %14" PRIu64 "\n", name.c_str(), t.inclusive, t.exclusive);
        out += line;
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const profile_line& a, const profile_line& b) { return a.statements > b.statements; });
    out += "\nbusiest lines                                 statements\n";
    for (size_t i = 0; i < lines.size() && i < 10 && lines[i].statements; i++) {
        snprintf(line, sizeof line, "%-40s %16" PRIu64 "\n", lines[i].place.c_str(), lines[i].statements);
        out += line;
    }
    return out;
}
