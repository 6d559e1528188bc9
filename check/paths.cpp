// Follows the flags along every path of a run: a walk forward over the
// decoded cells that joins what each path brings to a cell until nothing
// changes. Each field of a cell's record only ever moves up (unreached,
// then one cell, then PATHS_MIXED; the kinds and the open-call bit only
// gain bits), so every cell is walked a few times at most and the walk
// stays linear in the list, whatever the source.
#include "paths.h"

#include <utility>

#include "decode.h"
#include "machine.h"
#include "symtab.h"

static int32_t paths_join_cell(int32_t a, int32_t b)
{
    return a == b ? a : PATHS_MIXED;
}

static paths_flags paths_join(const paths_flags& a, const paths_flags& b)
{
    if (!a.nearest_kinds)
        return b;
    if (!b.nearest_kinds)
        return a;
    return {(uint8_t)(a.nearest_kinds | b.nearest_kinds), (uint8_t)(a.no_call_open | b.no_call_open),
            paths_join_cell(a.nearest, b.nearest), paths_join_cell(a.last_c, b.last_c),
            paths_join_cell(a.last_n, b.last_n), paths_join_cell(a.last_v, b.last_v)};
}

static bool paths_same(const paths_flags& a, const paths_flags& b)
{
    return a.nearest_kinds == b.nearest_kinds && a.no_call_open == b.no_call_open && a.nearest == b.nearest &&
           a.last_c == b.last_c && a.last_n == b.last_n && a.last_v == b.last_v;
}

// What a pass from c leaves to the next one, as the core says which flags
// the cell may write.
static paths_flags paths_after(paths_flags s, const token_cell* c)
{
    unsigned written = decode_flags_written(c);
    if (!written)
        return s;
    int op = decode_own_op(c);
    int32_t at = (int32_t)c->number;
    s.nearest_kinds = op == OP_CMP || op == OP_CPX || op == OP_CPY ? PATHS_COMPARE : PATHS_OTHER;
    s.nearest = at;
    if (written & 1u << FLAG_C)
        s.last_c = at;
    if (written & 1u << FLAG_N)
        s.last_n = at;
    if (written & 1u << FLAG_V)
        s.last_v = at;
    return s;
}

struct paths_walk {
    const std::vector<token_cell*>* cells;
    std::vector<paths_flags> at;
    std::vector<uint32_t> todo;
    std::vector<uint8_t> queued;
    std::vector<uint8_t> is_return;                   // the cell is the return point of a jsr reached
    std::vector<std::pair<uint32_t, uint32_t>> returns;  // each such return point and its jsr
    paths_flags returned{};                           // what the rts reached bring back, joined
};

static void paths_reach(paths_walk& w, const token_cell* c, const paths_flags& s)
{
    if (!c || c->number >= w.at.size())
        return;
    paths_flags& here = w.at[c->number];
    paths_flags joined = paths_join(here, s);
    if (paths_same(joined, here))
        return;
    here = joined;
    if (!w.queued[c->number]) {
        w.queued[c->number] = 1;
        w.todo.push_back(c->number);
    }
}

// What the returns bring to the return point of the jsr at j. The return
// stack is then as deep as it was at the jsr, whichever rts popped it, so
// whether a call is open comes from the jsr.
static paths_flags paths_back(const paths_walk& w, uint32_t j)
{
    paths_flags s = w.returned;
    s.no_call_open = w.at[j].no_call_open;
    return s;
}

static void paths_step(paths_walk& w, uint32_t i)
{
    const token_cell* c = (*w.cells)[i];
    paths_flags s = paths_after(w.at[i], c);
    token_cell* next[2];
    int n = decode_next_passes(c, next);
    int op = decode_own_op(c);
    if (op == OP_JSR) {
        s.no_call_open = 0;  // a return point is pushed, or a full stack keeps its own
        const token_cell* back = c->next_cell;
        if (back && back->number < w.at.size() && !w.is_return[back->number]) {
            w.is_return[back->number] = 1;
            w.returns.emplace_back(back->number, i);
        }
        if (back && w.returned.nearest_kinds)
            paths_reach(w, back, paths_back(w, i));
    } else if (op == OP_RTS) {
        paths_flags back = s;
        back.no_call_open = 0;
        paths_flags joined = paths_join(w.returned, back);
        if (!paths_same(joined, w.returned)) {
            w.returned = joined;
            for (const auto& [r, j] : w.returns)
                paths_reach(w, (*w.cells)[r], paths_back(w, j));
        }
        if (!s.no_call_open)
            n = 0;  // with a call open on every path, rts never goes on past itself
    }
    for (int k = 0; k < n; k++)
        paths_reach(w, next[k], s);
}

std::vector<paths_flags> paths_follow(const std::vector<token_cell*>& cells, const token_cell* start)
{
    paths_walk w;
    w.cells = &cells;
    w.at.assign(cells.size(), paths_flags{});
    w.queued.assign(cells.size(), 0);
    w.is_return.assign(cells.size(), 0);
    paths_reach(w, start, {PATHS_OTHER, 1, PATHS_NONE, PATHS_NONE, PATHS_NONE, PATHS_NONE});
    while (!w.todo.empty()) {
        uint32_t i = w.todo.back();
        w.todo.pop_back();
        w.queued[i] = 0;
        paths_step(w, i);
    }
    return std::move(w.at);
}
