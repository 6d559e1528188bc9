// The manual's programs are real files that the suite runs: every zvs block
// in docs/ names its file in the comment line above it and must match it,
// and an output shown in a text block under an "output:" comment must match
// the expected output file that the end-to-end tests check.
#include <filesystem>

#include <gtest/gtest.h>

#include "support.h"

namespace fs = std::filesystem;

namespace {

struct Shown {
    std::string file;  // from the comment line above the block; empty if none
    std::string program;
};

std::vector<Shown> blocks_of(const std::string& text, const std::string& open,
                             const std::string& marker)
{
    std::vector<Shown> blocks;
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        size_t body = at + open.size();
        size_t end = text.find("```", body);
        if (end == std::string::npos)
            end = text.size();
        Shown s{"", text.substr(body, end - body)};
        // The line above the block's opening line.
        size_t line = at >= 2 ? text.rfind('\n', at - 2) : std::string::npos;
        line = line == std::string::npos ? 0 : line + 1;
        if (at > 0 && text.compare(line, marker.size(), marker) == 0)
            s.file = text.substr(line + marker.size(), text.find(" -->", line) - line - marker.size());
        blocks.push_back(s);
    }
    return blocks;
}

TEST(Manual, EveryProgramShownIsATestedFile)
{
    int programs = 0;
    for (const auto& entry : fs::directory_iterator(DOCS_DIR)) {
        if (entry.path().extension() != ".md")
            continue;
        std::string text = read_file(entry.path().string());
        for (const Shown& s : blocks_of(text, "```text\n", "<!-- output: ")) {
            if (!s.file.empty()) {
                std::string path = (fs::path(ZORVIK_SOURCE_DIR) / s.file).string();
                EXPECT_EQ(s.program, read_file(path)) << entry.path() << " shows " << s.file;
            }
        }
        for (const Shown& s : blocks_of(text, "```zvs\n", "<!-- file: ")) {
            programs++;
            ASSERT_FALSE(s.file.empty()) << entry.path() << ": a zvs block names no file";
            fs::path path = fs::path(ZORVIK_SOURCE_DIR) / s.file;
            EXPECT_EQ(s.program, read_file(path.string())) << entry.path() << " shows " << s.file;
            // Programs under docs/examples/ are run by the end-to-end tests.
            if (s.file.starts_with("docs/examples/")) {
                EXPECT_TRUE(fs::exists(path.replace_extension(".out"))) << s.file;
            }
        }
    }
    EXPECT_GT(programs, 0);
}

}  // namespace

namespace {

// The palette picture is redrawn by its tool and must not have drifted from
// the palette or the font.
TEST(Manual, PalettePictureIsCurrent)
{
    std::string out = make_temp_dir() + "/palette.png";
    std::string cmd = std::string(ZORVIK_MKPALETTE) + " " + ZORVIK_RUN_DIR + "/term.mxf " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_TRUE(read_file(out) == read_file(std::string(DOCS_DIR) + "/palette.png"))
        << "docs/palette.png is out of date: cmake --build BUILD --target palette_image";
}

}  // namespace
