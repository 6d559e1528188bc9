// zorvik-check: reads a source the way the machine does and reports what
// will surprise its author. The rules live in rules.cpp, the command line
// and the output in main.cpp.
#pragma once
#include <string>
#include <vector>

#include "position.h"

// The warnings, in the order --list-warnings prints them.
enum check_warning_id {
    W_FIRST_SPELLING,
    W_OPERAND_SEARCH,
    W_BARE_NUMBER,
    W_UNDEFINED_LABEL,
    W_DUPLICATE_LABEL,
    W_LABEL_IS_MNEMONIC,
    W_INDEX_IGNORED,
    W_UNKNOWN_SERVICE,
    W_STRING,
    W_HEADER,
    W_WITHOUT_EFFECT,
    W_COMMENT_IN_TOKEN,
    W_SCREEN_CELL,
    W_STORE_CLAMP,
    W_COMPARE_BRANCH,
    W_COUNT
};

struct check_warning {
    const char* name;
    const char* summary;
};
extern const check_warning check_warnings[W_COUNT];
// The warning a name stands for, its name or one it had before (still
// accepted wherever names are); -1 for none.
int check_warning_named(const char* name);

// One finding: where it is (a byte offset into the source), what it says
// and, optionally, a second place that explains it.
struct check_finding {
    check_warning_id warning;
    long long offset;
    std::string message;
    long long note_offset;  // -1 when there is no note
    std::string note;
    std::string fix;        // the token spelled so that it means what was meant; empty for none
};

// Checks a whole source held in memory. The findings come in source order;
// `tokens`, when given, gets the number of tokens the machine read.
std::vector<check_finding> check_source(const std::string& source, size_t* tokens = nullptr);
