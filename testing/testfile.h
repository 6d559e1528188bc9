// A test's files and the settings of its NAME.test, read without running
// anything, so that the test runner and the debugger open a test's run
// alike.
#pragma once
#include <string>

// A test: the program (NAME.zvs, or the one NAME.test names) and the
// expectation files NAME.in, NAME.keys, NAME.out and NAME.png beside it.
struct ztest_case {
    std::string name;    // NAME: the test's path without ".zvs" or ".test"
    std::string program; // the program's path: NAME.zvs, or NAME.test's `program`, found from NAME.test's folder
    std::string label;   // its path below the folder it was found in, told apart from every other test's
    std::string error;   // why the test cannot run (FILE:LINE: WHY for a bad NAME.test), or empty
    bool has_in = false, has_keys = false, has_out = false, has_png = false, has_test = false;
    // From NAME.test, or the defaults of a capture.
    int debug = 0;
    long long frames, steps;
    double seconds;
    int status = 0;
    unsigned seed;
    bool seed_set = false;          // NAME.test sets `seed`
    long long stop_after_frame = 0; // the run ends on purpose after this shown frame; 0: it does not
};

// The test NAME with what lies beside it and the settings of its NAME.test;
// a file that cannot be used says why in `error`.
ztest_case ztest_load(const std::string& name);
// Reads NAME.test into the case, when there is one; false with the reason
// (FILE:LINE: WHY) in `error`.
bool ztest_read_settings(ztest_case& c, std::string& error);
// Whether the file at `path` has a `program = FILE` line: such a NAME.test
// is a test by itself, with no NAME.zvs beside it.
bool ztest_names_program(const std::string& path);
