// The manual's programs are real files that the suite runs: every zvs block
// in docs/ names its file in the comment line above it and must match it,
// and an output shown in a text block under an "output:" comment must match
// the expected output file that the end-to-end tests check.
#include <cctype>
#include <filesystem>
#include <fstream>

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

namespace {

// Commands that build or run this suite, the benchmarks, the fuzzers or the
// page: CI runs them itself, and the suite cannot run them from inside.
bool runs_the_build(const std::string& line)
{
    for (const char* start : {"./test.sh", "bench/", "fuzz/run.sh", "cmake --build", "web/"})
        if (line.starts_with(start))
            return true;
    return false;
}

// The line with each placeholder, a capitalised name such as PROGRAM.zvs,
// GLYPHS.glyphs or OUT.png, replaced by a real file: an example program,
// the font's glyphs, or a new file in `out`.
std::string with_files(const std::string& line, const std::string& root, const std::string& out)
{
    auto upper = [](char c) { return isupper((unsigned char)c) || isdigit((unsigned char)c) || c == '_'; };
    std::string done;
    size_t i = 0;
    while (i < line.size()) {
        size_t dot = i, end;
        if (isupper((unsigned char)line[i]) && (i == 0 || !isalnum((unsigned char)line[i - 1])))
            while (dot < line.size() && upper(line[dot]))
                dot++;
        for (end = dot + 1; dot < line.size() && line[dot] == '.' && end < line.size() && islower((unsigned char)line[end]);)
            end++;
        std::string kind = dot > i && dot < line.size() && line[dot] == '.' ? line.substr(dot + 1, end - dot - 1) : "";
        bool known = kind == "zvs" || kind == "glyphs" || kind == "mxf" || kind == "png" || kind == "gif";
        if (!known || (end < line.size() && isalnum((unsigned char)line[end]))) {
            done += line[i++];
            continue;
        }
        if (line.compare(i, dot - i, "OUT") == 0)
            done += out + "/out." + kind;
        else
            done += root + (kind == "glyphs" ? "/data/term.glyphs" : "/examples/hello.zvs");
        i = end;
    }
    return done;
}

// Every shell command of the README and the manual, as a reader pastes it:
// each sh block in one shell from the project's folder, with the build under
// test standing in for build/release (and ./run.sh running it the way the
// script does, without the build), and the placeholders PROGRAM.zvs,
// GLYPHS.glyphs and OUT.* replaced by real files.
TEST(Manual, EveryShellCommandWorksWhenPasted)
{
    fs::path root = ZORVIK_SOURCE_DIR;
    std::string build = fs::path(ZORVIK_BIN).parent_path().lexically_relative(root).string();
    if (!build.starts_with("build/") || build.find("..") != std::string::npos)
        GTEST_SKIP() << "the build under test is not a folder of build/";
    std::string out = make_temp_dir();
    const std::string prelude =
        "set -eo pipefail\n"
        "run_sh() { if [ $# -gt 0 ] && [ \"${1#/}\" = \"$1\" ]; then set -- \"$PWD/$1\" \"${@:2}\"; fi;"
        " (cd " + build + "/run && ../zorvik \"$@\"); }\n";
    int commands = 0;
    std::vector<fs::path> pages = {root / "README.md"};
    for (const auto& entry : fs::directory_iterator(DOCS_DIR))
        if (entry.path().extension() == ".md")
            pages.push_back(entry.path());
    for (const fs::path& page : pages) {
        for (const Shown& block : blocks_of(read_file(page.string()), "```sh\n", "")) {
            std::string script;
            size_t at = 0;
            while (at < block.program.size()) {
                size_t end = block.program.find('\n', at);
                std::string line = block.program.substr(at, end - at);
                at = end == std::string::npos ? block.program.size() : end + 1;
                if (line.empty() || line[0] == '#' || runs_the_build(line))
                    continue;
                // From past each replacement: the build under test may be
                // build/release itself.
                for (size_t p = 0; (p = line.find("build/release", p)) != std::string::npos; p += build.size())
                    line.replace(p, 13, build);
                if (line.starts_with("./run.sh"))
                    line = "run_sh" + line.substr(8);
                std::string replaced = with_files(line, root.string(), out);
                script += replaced + "\n";
                commands++;
            }
            if (script.empty())
                continue;
            std::ofstream(out + "/block.sh") << prelude << script;
            // A program that waits for a key would wait for ever here.
            RunResult r = run_binary("timeout", {"120", "bash", out + "/block.sh"}, "", root.string());
            EXPECT_EQ(r.status, 0) << page << " block:\n" << block.program << "\nerror: " << r.err;
        }
    }
    EXPECT_GE(commands, 12);
}

}  // namespace
