// End-to-end: every NAME.zvs under tests/golden/ and docs/examples/ is run by
// the built program in a fresh directory holding the run-time files. Beside it,
// as zorvik-test reads them too:
//   NAME.out     expected standard output, byte for byte (required)
//   NAME.test    "debug = 1" or "debug = 2" runs it with --debug or
//                --debug=gfx; "status = N" is its expected exit status (0)
//   NAME.in      standard input
//   NAME.html    expected debug.html

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "support.h"

namespace fs = std::filesystem;

// Each case is named by its path without the ending.
static std::vector<std::string> golden_names()
{
    std::vector<std::string> names;
    for (const char* dir : {GOLDEN_DIR, DOCS_EXAMPLES_DIR}) {
        if (!fs::exists(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".zvs")
                names.push_back((entry.path().parent_path() / entry.path().stem()).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

static std::string golden(const std::string& name, const std::string& ext)
{
    return name + ext;
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, MatchesExpectedOutput)
{
    const std::string name = GetParam();
    const std::string base = fs::path(name).filename().string();
    std::string dir = make_temp_dir();
    for (const char* data : {"term.mxf", "icon.bmp"}) {
        fs::path from = fs::path(ZORVIK_RUN_DIR) / data;
        if (fs::exists(from))
            fs::copy_file(from, fs::path(dir) / data);
    }
    fs::copy_file(golden(name, ".zvs"), dir + "/" + base + ".zvs");

    std::vector<std::string> args{base + ".zvs"};
    int status = 0;
    if (fs::exists(golden(name, ".test"))) {
        std::istringstream lines(read_file(golden(name, ".test")));
        for (std::string key, eq, value; lines >> key >> eq >> value;) {
            if (key == "debug" && value != "0")
                args.push_back(value == "2" ? "--debug=gfx" : "--debug");
            else if (key == "status")
                status = std::atoi(value.c_str());
        }
    }
    std::string input = fs::exists(golden(name, ".in")) ? read_file(golden(name, ".in")) : "";

    RunResult r = run_zorvik(args, input, dir);
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_EQ(r.out, read_file(golden(name, ".out")));
    if (fs::exists(golden(name, ".html"))) {
        EXPECT_EQ(read_file(dir + "/debug.html"), read_file(golden(name, ".html")));
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, Golden, testing::ValuesIn(golden_names()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             fs::path p(info.param);
                             std::string n = p.parent_path().filename().string() + "_" +
                                             p.filename().string();
                             for (char& c : n) {
                                 if (!isalnum((unsigned char)c))
                                     c = '_';
                             }
                             return n;
                         });
