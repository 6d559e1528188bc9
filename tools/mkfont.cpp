// mkfont: turns the readable glyph source (data/term.glyphs) into the
// machine's font file.
//
//   mkfont SOURCE OUTPUT
//
// The source holds a "size W H" line and then one block per character: the
// character between brackets on a line of its own ("[A]"), followed by H
// rows of W cells, '#' lit and '.' unlit. Lines starting with ';' and empty
// lines between blocks are comments. Every printable character (32 to 126)
// must have exactly one block.
//
// The output is the font file the machine loads: little-endian 32-bit
// values, the magic -100, the width, the height and the fill value 0, then
// the cells of glyphs 0 to 127, column by column, each column top to bottom;
// a lit cell is 1, an unlit one 0.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

constexpr int GLYPHS = 128;
constexpr int FIRST_PRINTABLE = 32;
constexpr int LAST_PRINTABLE = 126;
constexpr int MAX_SIDE = 250;

struct mkfont_state {
    int width = 0;
    int height = 0;
    // cells[code][row * width + column]; empty until the glyph is defined.
    std::vector<std::vector<int32_t>> cells = std::vector<std::vector<int32_t>>(GLYPHS);
    std::string source;
    int line_no = 0;
};

static bool mkfont_fail(const mkfont_state& s, const std::string& why)
{
    fprintf(stderr, "mkfont: %s:%d: %s\n", s.source.c_str(), s.line_no, why.c_str());
    return false;
}

static bool mkfont_next_line(std::ifstream& in, mkfont_state& s, std::string& line)
{
    if (!std::getline(in, line))
        return false;
    s.line_no++;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

static bool mkfont_read_size(mkfont_state& s, const std::string& line)
{
    if (s.width || s.height)
        return mkfont_fail(s, "the size is given twice");
    if (sscanf(line.c_str(), "size %d %d", &s.width, &s.height) != 2 || s.width < 1 ||
        s.height < 1 || s.width > MAX_SIDE || s.height > MAX_SIDE)
        return mkfont_fail(s, "expected \"size W H\" with sides from 1 to 250");
    return true;
}

// Reads the rows of the glyph for code after its "[c]" line.
static bool mkfont_read_glyph(std::ifstream& in, mkfont_state& s, int code)
{
    if (!s.width)
        return mkfont_fail(s, "a glyph before the size line");
    if (!s.cells[code].empty())
        return mkfont_fail(s, "a second block for the same character");
    std::vector<int32_t> cells(s.width * s.height, 0);
    std::string row;
    for (int r = 0; r < s.height; r++) {
        if (!mkfont_next_line(in, s, row))
            return mkfont_fail(s, "the glyph ends early");
        if ((int)row.size() != s.width)
            return mkfont_fail(s, "a row of the wrong width");
        for (int c = 0; c < s.width; c++) {
            if (row[c] != '#' && row[c] != '.')
                return mkfont_fail(s, "a cell that is neither '#' nor '.'");
            cells[r * s.width + c] = row[c] == '#';
        }
    }
    s.cells[code] = cells;
    return true;
}

static bool mkfont_parse(const char* path, mkfont_state& s)
{
    s.source = path;
    std::ifstream in(path);
    if (!in)
        return mkfont_fail(s, "cannot open the source");
    std::string line;
    while (mkfont_next_line(in, s, line)) {
        if (line.empty() || line[0] == ';')
            continue;
        if (line.compare(0, 5, "size ") == 0) {
            if (!mkfont_read_size(s, line))
                return false;
        } else if (line.size() == 3 && line[0] == '[' && line[2] == ']' &&
                   line[1] >= FIRST_PRINTABLE && line[1] <= LAST_PRINTABLE) {
            if (!mkfont_read_glyph(in, s, line[1]))
                return false;
        } else {
            return mkfont_fail(s, "expected a comment, the size or a \"[c]\" line");
        }
    }
    for (int code = FIRST_PRINTABLE; code <= LAST_PRINTABLE; code++) {
        if (s.cells[code].empty())
            return mkfont_fail(s, std::string("no glyph for '") + (char)code + "'");
    }
    return true;
}

static void mkfont_put(std::vector<unsigned char>& out, int32_t v)
{
    uint32_t u = (uint32_t)v;
    for (int i = 0; i < 4; i++)
        out.push_back((unsigned char)(u >> (8 * i)));
}

static bool mkfont_write(const char* path, const mkfont_state& s)
{
    std::vector<unsigned char> out;
    mkfont_put(out, -100);
    mkfont_put(out, s.width);
    mkfont_put(out, s.height);
    mkfont_put(out, 0);
    for (int code = 0; code < GLYPHS; code++) {
        for (int c = 0; c < s.width; c++) {
            for (int r = 0; r < s.height; r++)
                mkfont_put(out, s.cells[code].empty() ? 0 : s.cells[code][r * s.width + c]);
        }
    }
    FILE* f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "mkfont: cannot write %s\n", path);
        return false;
    }
    bool ok = fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = fclose(f) == 0 && ok;
    if (!ok)
        fprintf(stderr, "mkfont: cannot write %s\n", path);
    return ok;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: mkfont SOURCE OUTPUT\n");
        return 2;
    }
    mkfont_state s;
    if (!mkfont_parse(argv[1], s) || !mkfont_write(argv[2], s))
        return 1;
    return 0;
}
