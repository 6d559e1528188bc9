// The manual's programs are real files that the suite runs: every zvs block
// in docs/ names its file in the comment above it and must match it exactly.
#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "support.h"

namespace fs = std::filesystem;

TEST(Manual, EveryProgramShownIsATestedFile)
{
    const std::regex block("(<!-- file: (\\S+) -->\\n)?```zvs\\n([\\s\\S]*?)```");
    int programs = 0;
    for (const auto& entry : fs::directory_iterator(DOCS_DIR)) {
        if (entry.path().extension() != ".md")
            continue;
        std::string text = read_file(entry.path().string());
        for (std::sregex_iterator m(text.begin(), text.end(), block), end; m != end; ++m) {
            programs++;
            std::string file = (*m)[2];
            ASSERT_FALSE(file.empty()) << entry.path() << ": a zvs block names no file";
            fs::path path = fs::path(ZORVIK_SOURCE_DIR) / file;
            EXPECT_EQ((*m)[3].str(), read_file(path.string())) << entry.path() << " shows " << file;
            // Programs under docs/examples/ are run by the end-to-end tests.
            fs::path expected = path;
            expected.replace_extension(".out");
            if (file.starts_with("docs/examples/")) {
                EXPECT_TRUE(fs::exists(expected)) << file << " has no expected output";
            }
        }
    }
    EXPECT_GT(programs, 0);
}
