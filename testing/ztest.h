// zorvik-test: runs programs against the expectation files beside them and
// reports as terminals and CI systems read it. Each test runs in a child
// process of its own, as the machine's state is the process's.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "testfile.h"

enum ztest_update { UPDATE_NONE, UPDATE_EXISTING, UPDATE_ALL };

struct ztest_options {
    std::vector<std::string> paths;
    ztest_update update = UPDATE_NONE;
    bool tap = false;
    std::string junit;       // the JUnit file, or empty
    int jobs = 1;
    std::string artifacts;   // where a failed frame's pictures go, each below it by its test's label
    std::string coverage;    // the lcov file, or empty
    std::string profile;     // the folded stacks' file, or empty
    std::string flame_graph; // the flame graph's SVG file, or empty
    bool profile_table = false;
    bool seed_given = false; // --seed: the seed of the tests whose NAME.test sets none
    unsigned seed = 0;
};

// VERDICT_BAD: the test could not run, as one of its files cannot be used.
enum ztest_verdict { VERDICT_PASS, VERDICT_FAIL, VERDICT_BAD };

// What a test's child hands back.
struct ztest_result {
    ztest_verdict verdict = VERDICT_FAIL;
    std::string summary;     // one line: why it failed, or what --update wrote
    std::string details;     // the diff and such, lines for a reader
    double seconds = 0;
    std::string lcov;        // this run's coverage record, when asked for
    std::string folded;      // this run's folded stacks, when asked for
    std::string lines;       // "FILE:LINE COUNT" lines: statements by line, for the table
};

// suite.cpp: the tests under the paths (each NAME.zvs with a file beside
// it, each NAME.test that names its program), sorted by name, each with the
// settings of its NAME.test; a test with a file that cannot be used says
// why in its `error`. False with a message in `error` for a bad path.
bool ztest_discover(const ztest_options& options, std::vector<ztest_case>& cases, std::string& error);

// run.cpp: runs one test in this process, which it leaves changed.
ztest_result ztest_run(const ztest_case& c, const ztest_options& options);

// diff.cpp: a unified diff of two texts by lines, with three lines of
// context; empty when they are equal. Control bytes are shown escaped.
std::string ztest_diff(const std::string& expected, const std::string& actual, const std::string& label);

// frame.cpp: compares the last shown frame (RGB, 480 by 272) with NAME.png;
// on a difference, says how many pixels and the first, and writes
// LABEL.actual.png and LABEL.diff.png below the artifacts folder.
bool ztest_compare_frame(const ztest_case& c, const std::vector<uint32_t>& rgb, const std::string& artifacts,
                         ztest_result& r);

// coverage.cpp: this run's lcov record from the table the run left, and
// the records of all runs merged.
struct lex_note;
void ztest_cover(const std::string& path, const std::string& text, const std::vector<lex_note>& notes,
                 ztest_result& r, bool want_lcov, bool want_lines);
std::string ztest_merge_lcov(const std::vector<std::string>& records);

// parallel.cpp: runs every case in children, `jobs` at a time; results in
// the cases' order. `done` is told of each as it ends, in order.
std::vector<ztest_result> ztest_run_all(const std::vector<ztest_case>& cases, const ztest_options& options,
                                        void (*done)(size_t index, const ztest_case& c, const ztest_result& r));

// report.cpp: the terminal's lines, TAP and JUnit.
void ztest_report_line(size_t index, const ztest_case& c, const ztest_result& r, bool tap, size_t total);
void ztest_report_summary(const std::vector<ztest_result>& results, bool tap);
bool ztest_write_junit(const std::string& path, const std::vector<ztest_case>& cases,
                       const std::vector<ztest_result>& results);
