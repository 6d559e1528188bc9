// A number's values and its place in memory, worded for hovers. The places
// are the core's answer (layout_place_of) and the keys' names SDL 1.2's
// (key_name), so the server repeats none of the layout.
#include "numbers.h"

#include <vector>

#include "keynames.h"
#include "layout.h"

namespace {

// Text as Markdown code, even when it holds a backquote (the key '`').
std::string code(const std::string& text)
{
    return text.find('`') == std::string::npos ? "`" + text + "`" : "`` " + text + " ``";
}

std::string hex(int32_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    uint32_t v = (uint32_t)value;
    do {
        out.insert(out.begin(), digits[v & 15]);
        v >>= 4;
    } while (v);
    return "$" + out;
}

// What the machine keeps at a cell, each use of it, those it shows first.
std::vector<std::string> uses_of(const layout_place& p)
{
    std::vector<std::string> uses;
    if (p.fixed)
        uses.push_back(std::string(p.holds) + " (" + code(p.fixed) + ")");
    if (p.key >= 0) {
        std::string name = key_name(p.key);
        uses.push_back(name.empty() ? "the state cell of SDL key number " + std::to_string(p.key) + ", which is no key"
                                    : "the state of the key " + code(name) + " (SDL key number " +
                                          std::to_string(p.key) + "), 1 while it is down");
    }
    if (p.shown)
        uses.push_back("the screen pixel (" + std::to_string(p.screen_x) + ", " + std::to_string(p.screen_y) + ")");
    return uses;
}

std::string joined(const std::vector<std::string>& uses)
{
    std::string out;
    for (const std::string& u : uses)
        out += (out.empty() ? "" : "; also ") + u;
    return out;
}

}  // namespace

std::string numbers_words(int32_t value, bool address)
{
    std::string values = std::to_string(value) + "** (" + code(hex(value)) + ")";
    layout_place p = layout_place_of(value);
    std::vector<std::string> uses = uses_of(p);
    if (!address)
        return "**" + values + (uses.empty() ? "" : "; as a cell, " + joined(uses)) + ".";
    if (!p.in_memory)
        return "**" + values + " is no cell: memory is 0 to " + code(hex((int32_t)MEMORY_SIZE - 1)) +
               ", so a read gives 0 and a write is dropped.";
    if (uses.empty())
        uses.push_back(p.screen_y >= 0 ? "ordinary memory in row " + std::to_string(p.screen_y) +
                                             " of the screen area, past the columns it shows"
                                       : "ordinary memory: the machine keeps nothing of its own there");
    return "**Cell " + values + ": " + joined(uses) + ".";
}
