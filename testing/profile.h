// Profiles: the statements a run executed, by the chain of subroutines it
// stood in, for flame graphs and the tables of zorvik-test and zorvik-debug.
// Frames are cell numbers (the cell a jsr went to, that is its label); the
// bottom frame is the program itself, "main". The module knows nothing of
// the machine: its driver tells it where the run stands.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct profile_node {
    uint32_t label;     // the cell number the frame was entered at
    int32_t parent;     // -1 for main
    int32_t first_child;
    int32_t next_sibling;
    uint64_t self;      // statements executed in this frame itself
};

struct profile {
    std::vector<profile_node> nodes;  // reserved once: entering a frame allocates nothing
    std::vector<int32_t> path;        // the node of each depth of the return stack, main first
    uint64_t counted = 0;             // the statement count already given to a frame
};

// Starts an empty profile with main as its only frame.
void profile_start(profile& p);
// The run stands at cell `at` with `depth` return points waiting, having
// executed `statements` statements in all: the statements since the last
// call go to the frame it stood in, then a deeper stack enters a frame
// named by `at` and a shallower one leaves frames. Past the profile's room
// for frames, a new one's statements go to its caller.
void profile_step(profile& p, uint32_t at, int depth, uint64_t statements);

// Folded stacks, "main;outer;inner" to the statements executed there,
// merged with those already in `folded`; frames are named by `name_of`.
using profile_folded = std::map<std::string, uint64_t>;
void profile_fold(const profile& p, const std::vector<std::string>& name_of, profile_folded& folded);
// The frames of a folded stack, bottom first.
std::vector<std::string> profile_frames(const std::string& stack);
// Writes folded stacks as flame graph tools read them: one "stack count"
// line each.
std::string profile_folded_text(const profile_folded& folded);

// An SVG flame graph of folded stacks under one root frame, "all": each
// frame a box as wide as the statements run in it and in what it called,
// with its callees above it and its counts in its tooltip; `title` heads it.
std::string profile_flame_svg(const profile_folded& folded, const std::string& title);

// A line's statement count, for the table of busiest lines.
struct profile_line {
    std::string place;  // FILE:LINE
    uint64_t statements;
};
// The table: each subroutine with its inclusive and exclusive statements,
// busiest first, then the ten busiest lines.
std::string profile_table(const profile_folded& folded, std::vector<profile_line> lines);
