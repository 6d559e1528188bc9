// A flame graph of folded stacks as a plain SVG picture: each frame a box
// as wide as the statements run in it and in what it called, its callees
// stacked above it, and its name and counts in the box's tooltip. Any
// browser shows it; nothing in it runs.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "profile.h"

constexpr double FLAME_WIDTH = 1200;   // the picture's width, in pixels
constexpr double FLAME_MARGIN = 10;
constexpr double FLAME_ROW = 16;       // one frame's height
constexpr double FLAME_HEAD = 34;      // the title's room above the frames
constexpr double FLAME_CHAR = 7.2;     // the width of a 12-pixel monospace letter
constexpr double FLAME_NARROWEST = 0.1;  // narrower boxes are left out

struct flame_node {
    std::string name;
    uint64_t total = 0;                    // statements here and above
    std::map<std::string, size_t> above;   // callees by name, to their node
};

// The tree of every stack under one root; returns the deepest depth.
static size_t flame_tree(const profile_folded& folded, std::vector<flame_node>& nodes)
{
    nodes.assign(1, flame_node{"all", 0, {}});
    size_t deepest = 0;
    for (const auto& [stack, count] : folded) {
        size_t n = 0;
        nodes[0].total += count;
        std::vector<std::string> frames = profile_frames(stack);
        for (const std::string& frame : frames) {
            auto at = nodes[n].above.find(frame);
            if (at == nodes[n].above.end()) {
                nodes.push_back(flame_node{frame, 0, {}});
                at = nodes[n].above.emplace(frame, nodes.size() - 1).first;
            }
            n = at->second;
            nodes[n].total += count;
        }
        deepest = std::max(deepest, frames.size());
    }
    return deepest;
}

// Text as XML holds it: markup escaped; control bytes and bytes past ASCII,
// which might be no UTF-8, shown as '?'.
static std::string flame_xml(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        unsigned char u = (unsigned char)ch;
        if (ch == '&')
            out += "&amp;";
        else if (ch == '<')
            out += "&lt;";
        else if (ch == '>')
            out += "&gt;";
        else if (ch == '"')
            out += "&quot;";
        else
            out += u < 0x20 || u >= 0x7F ? '?' : ch;
    }
    return out;
}

// A warm colour of its own for each name, the same in every picture.
static std::string flame_colour(const std::string& name)
{
    uint32_t h = 2166136261u;  // FNV-1a
    for (char ch : name)
        h = (h ^ (unsigned char)ch) * 16777619u;
    char colour[32];
    snprintf(colour, sizeof colour, "rgb(%u,%u,%u)", 205 + h % 51, 80 + (h >> 8) % 151, (h >> 16) % 56);
    return colour;
}

// The node's box at depth `depth` (0 at the bottom) from x, then its callees'.
static void flame_box(const std::vector<flame_node>& nodes, size_t n, size_t depth, double x, double bottom,
                      double scale, std::string& svg)
{
    const flame_node& node = nodes[n];
    double width = (double)node.total * scale;
    if (width < FLAME_NARROWEST)
        return;
    double y = bottom - (double)(depth + 1) * FLAME_ROW;
    char box[256];
    snprintf(box, sizeof box, "<g><title>%s (%" PRIu64 " statements, %.2f%%)</title>", flame_xml(node.name).c_str(),
             node.total, 100.0 * (double)node.total / (double)nodes[0].total);
    svg += box;
    // A pixel between neighbours, when the box is wide enough to spare it.
    snprintf(box, sizeof box, "<rect x=\"%.2f\" y=\"%.1f\" width=\"%.2f\" height=\"%.1f\" rx=\"2\" fill=\"%s\"/>", x,
             y, width > 3 ? width - 1 : width, FLAME_ROW - 1, flame_colour(node.name).c_str());
    svg += box;
    size_t room = (size_t)((width - 6) / FLAME_CHAR);
    if (room >= 3) {
        std::string shown = node.name.size() <= room ? node.name : node.name.substr(0, room - 2) + "..";
        snprintf(box, sizeof box, "<text x=\"%.2f\" y=\"%.1f\">", x + 3, y + FLAME_ROW - 4.5);
        svg += box + flame_xml(shown) + "</text>";
    }
    svg += "</g>\n";
    for (const auto& [name, child] : node.above) {
        flame_box(nodes, child, depth + 1, x, bottom, scale, svg);
        x += (double)nodes[child].total * scale;
    }
}

std::string profile_flame_svg(const profile_folded& folded, const std::string& title)
{
    std::vector<flame_node> nodes;
    size_t deepest = flame_tree(folded, nodes);
    double height = FLAME_HEAD + (double)(deepest + 1) * FLAME_ROW + FLAME_MARGIN;
    char head[512];
    snprintf(head, sizeof head,
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
             "font-family=\"monospace\" font-size=\"12\">\n"
             "<rect width=\"100%%\" height=\"100%%\" fill=\"#FFFFF4\"/>\n"
             "<text x=\"%.0f\" y=\"22\" text-anchor=\"middle\" font-size=\"16\">",
             FLAME_WIDTH, height, FLAME_WIDTH, height, FLAME_WIDTH / 2);
    std::string svg = head;
    svg += flame_xml(title) + " (" + std::to_string(nodes[0].total) + " statements)</text>\n";
    if (nodes[0].total)
        flame_box(nodes, 0, 0, FLAME_MARGIN, height - FLAME_MARGIN, (FLAME_WIDTH - 2 * FLAME_MARGIN) / (double)nodes[0].total,
                  svg);
    return svg + "</svg>\n";
}
