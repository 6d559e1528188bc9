// The debugger's profile: while it is on, every pass of a run counts, by
// the subroutines the run stands in (for `info profile`'s table) and by
// statement. The session tells it of each pass that runs.
#include <map>

#include "debugger.h"
#include "decode.h"
#include "profile.h"
#include "stack.h"
#include "symtab.h"

static bool profile_running = false;
static profile call_tree;
static std::vector<uint64_t> statements_at;  // by cell number
static uint64_t statements = 0;

static void profile_pass(token_cell* c)
{
    if (c->number >= statements_at.size())
        return;
    profile_step(call_tree, c->number, the_stack.count, statements);
    if (dbg_is_statement(c)) {
        statements++;
        statements_at[c->number]++;
    }
}

// The subroutine that return-stack slot i waits in: the label its jsr went
// to, as a live pass after that jsr names it.
static uint32_t called_label(int i)
{
    token_cell* back = the_stack.items[i];  // the jsr's operand
    auto at = dbg.program.index.find(back);
    token_cell* jsr = at != dbg.program.index.end() && at->second > 0 ? dbg.program.cells[at->second - 1] : nullptr;
    return jsr && jsr->code.to ? jsr->code.to->number : back->number;
}

// Started mid-run, the profile stands in the subroutines the return stack
// holds, outermost first.
void dbg_profile_start()
{
    profile_start(call_tree);
    if (dbg.started && !dbg.ended)
        for (int i = 0; i < the_stack.count; i++)
            profile_step(call_tree, called_label(i), i + 1, 0);
    statements_at.assign(dbg.program.cells.size(), 0);
    statements = 0;
    profile_running = true;
    dbg_pass_seen = profile_pass;
}

void dbg_profile_stop()
{
    profile_running = false;
    dbg_pass_seen = nullptr;
}

std::string dbg_profile_table()
{
    if (call_tree.nodes.empty())
        return "no profile: 'profile on' starts one\n";
    profile current = call_tree;
    profile_step(current, 0, (int)current.path.size() - 1, statements);
    std::vector<std::string> names;
    for (token_cell* c : dbg.program.cells)
        names.push_back(dbg_shown(c->tok->lexeme));
    profile_folded folded;
    profile_fold(current, names, folded);
    std::vector<profile_line> lines;
    std::map<long long, uint64_t> by_line;
    for (size_t i = 0; i < statements_at.size() && i < dbg.program.cells.size(); i++)
        if (statements_at[i])
            by_line[dbg_line_of(dbg.program.cells[i])] += statements_at[i];
    for (const auto& [line, count] : by_line)
        lines.push_back({dbg.program.path + ":" + std::to_string(line), count});
    return std::to_string(statements) + " statements profiled" + (profile_running ? "" : " (profile off)") + "\n" +
           profile_table(folded, lines);
}
