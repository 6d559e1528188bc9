// What the paths of a run bring to each statement about the flags, worked
// out over the decoded token list without running it: which kind of
// statement wrote a flag last, and which statement last wrote C, N and V.
#pragma once
#include <cstdint>
#include <vector>

struct token_cell;

// In place of a cell number: no statement at all, or not the same one on
// every path.
constexpr int32_t PATHS_NONE = -1;
constexpr int32_t PATHS_MIXED = -2;

// Kinds of the nearest statement before a cell that writes a flag.
enum : uint8_t {
    PATHS_COMPARE = 1,  // cmp, cpx or cpy
    PATHS_OTHER = 2,    // any other, or none since the run's start
};

// What reaches a cell, before a pass from it runs: each cell number is the
// same on every path that gets there, or PATHS_NONE or PATHS_MIXED.
struct paths_flags {
    uint8_t nearest_kinds;   // PATHS_COMPARE and PATHS_OTHER, as the paths have them; 0: no path gets here
    uint8_t no_call_open;    // on some path the return stack is empty here
    int32_t nearest;         // the nearest statement before it that writes a flag
    int32_t last_c, last_n, last_v;  // the last statement before it that may write C, N, V
};

// The flags on the way to each cell of `cells` (the list in order, so that
// cells[i]->number is i), for runs that start at `start`. A jsr is followed
// into its label; an rts goes back to the return point of every jsr that
// can have called it, and on past itself where no call may be open.
std::vector<paths_flags> paths_follow(const std::vector<token_cell*>& cells, const token_cell* start);
