// The history of a recorded run: for each statement the state it started
// from, and every byte it overwrote, old and new, so that any statement can
// be undone and done again without running it. The engine writes the
// states into a ring as it runs (run_log); the memory and stack writes come
// from its hooks into a log of their own, and each state's mark says where
// its statement's writes begin in that log. The return-stack slots that a
// jsr overwrites hold cells, not bytes, and are kept aside. A change made
// between statements (set var, a client's write) belongs to the statement
// before it, so going back over that statement undoes the change too; a
// change made after going back first drops the recorded future (a fork).
#include <cstring>
#include <deque>

#include "debugger.h"
#include "machine.h"
#include "parse.h"
#include "stack.h"

// A memory byte a statement wrote; a byte-stack slot; a return-stack slot;
// a memory byte changed between statements, which no statement wrote; and
// a frame the statement drew, which has nothing to undo.
enum { WRITE_MEMORY, WRITE_BYTE_STACK, WRITE_RETURN_SLOT, WRITE_EDIT, WRITE_FRAME };

// 8 bytes a write.
struct history_write {
    uint32_t cell;  // a memory cell, or a stack slot
    uint8_t kind;
    uint8_t old_value;
    uint8_t new_value;
};

// A return-stack slot's cell before and after the jsr that wrote it.
struct history_slot {
    token_cell* old_cell;
    token_cell* new_cell;
};

struct history_state {
    bool on = false;
    bool live = false;                 // a run is under way: its writes are recorded
    std::vector<run_snapshot> ring;    // a power of two, at least the limit
    uint64_t first = 0;                // the oldest entry kept, counted as run_log_count counts
    uint64_t back = 0;                 // entries undone, counted from the newest
    std::deque<history_write> writes;  // in statement order
    uint64_t writes_base = 0;          // the number of writes.front() among all writes
    std::deque<history_slot> slots;    // one for each WRITE_RETURN_SLOT write, in order
    uint64_t slots_base = 0;
    uint64_t slot_at = 0;              // slots before the position in time
    run_snapshot present{};            // the state before the first undo
    token_cell* cursor = nullptr;
};

size_t history_limit = 1000000;
static history_state h;

// All writes so far; the engine copies its low 32 bits into each state.
static uint64_t writes_end()
{
    return h.writes_base + h.writes.size();
}

static run_snapshot& entry(uint64_t n)
{
    return h.ring[n & run_log_mask];
}

// Where the writes of entry n begin, among all writes: its mark is the low
// 32 bits, and no statement writes 2^32 bytes.
static uint64_t writes_from(uint64_t n)
{
    uint64_t end = writes_end();
    return end - (uint32_t)((uint32_t)end - entry(n).mark);
}

static uint64_t writes_to(uint64_t n)
{
    return n + 1 < run_log_count ? writes_from(n + 1) : writes_end();
}

static void restore(const run_snapshot& e)
{
    _reg.A = e.A;
    _reg.X = e.X;
    _reg.Y = e.Y;
    memcpy(_reg.flags, e.flags, sizeof e.flags);
    _reg.flag_extra = e.flag_extra;
    the_stack.count = e.depth;
    int_stack.count = e.byte_depth;
}

static void trim();

static void add_write(const history_write& w)
{
    h.writes.push_back(w);
    if ((++run_log_mark & 0xFFFF) == 0)
        trim();  // a long run keeps only the writes of what the ring holds
}

// The engine's watch on memory and the stacks, set while recording. A
// change outside a run is made where the run stands, never in the past:
// the future is dropped first, if its caller has not done so.
void mem_watch_write(int64_t cell, uint8_t old_value, uint8_t new_value)
{
    if (!h.live && h.back)
        history_fork();
    add_write({(uint32_t)cell, h.live ? (uint8_t)WRITE_MEMORY : (uint8_t)WRITE_EDIT, old_value, new_value});
}

void stack_watch_slot(int stack, int slot, uintptr_t pushed)
{
    if (!h.live && h.back)
        history_fork();
    if (stack == 1) {
        add_write({(uint32_t)slot, WRITE_BYTE_STACK, int_stack.items[slot], (uint8_t)pushed});
    } else {
        add_write({(uint32_t)slot, WRITE_RETURN_SLOT, 0, 0});
        h.slots.push_back({the_stack.items[slot], (token_cell*)pushed});
        h.slot_at = h.slots_base + h.slots.size();
    }
}

// The engine's watch on the frames, set for every session: a motion can
// stop at the next one, and the history notes which statement drew each.
void screen_watch_refresh()
{
    dbg_frames_passed++;
    if (h.live)
        add_write({0, WRITE_FRAME, 0, 0});
    dbg_frame_shown_live();
}

// Entries the ring has written over are gone: so are their writes. One
// place is always spare, since the engine takes back an entry that a trap
// stopped after writing it there, over what was the oldest.
static void trim()
{
    uint64_t keep_entries = run_log_mask;  // the ring's size less one
    if (run_log_count - h.first > keep_entries)
        h.first = run_log_count - keep_entries;
    uint64_t keep = h.first < run_log_count ? writes_from(h.first) : writes_end();
    while (h.writes_base < keep) {
        if (h.writes.front().kind == WRITE_RETURN_SLOT) {
            h.slots.pop_front();
            h.slots_base++;
        }
        h.writes.pop_front();
        h.writes_base++;
    }
}

void history_start(size_t limit)
{
    history_stop();
    size_t size = 2;
    while (size < limit + 1)
        size <<= 1;
    h.ring.assign(size, run_snapshot{});
    run_log = h.ring.data();
    run_log_mask = size - 1;
    h.on = true;
    history_clear();
    mem_watching = stack_watching = true;
}

void history_clear()
{
    run_log_count = h.first = h.back = 0;
    h.writes.clear();
    h.slots.clear();
    h.writes_base = h.slots_base = h.slot_at = 0;
    run_log_mark = 0;
    h.live = false;
}

void history_stop()
{
    history_clear();
    h.on = false;
    h.ring.clear();
    h.ring.shrink_to_fit();
    run_log = nullptr;
    mem_watching = stack_watching = false;
}

bool history_on()
{
    return h.on;
}

dbg_history_info history_info()
{
    return {h.on, (size_t)(run_log_count - h.first), (size_t)h.back};
}

void history_run_begins()
{
    h.live = h.on;
}

void history_seal()
{
    h.live = false;
    if (h.on)
        trim();
}

void history_before(token_cell* c)
{
    run_log_pass(c);
    if ((run_log_count & 0xFFFF) == 0)
        trim();  // a long run keeps only the writes of what the ring holds
}

// The byte a write wrote, or the one it overwrote, in its place again; a
// return-stack slot takes its cell from the slot log.
static void put_back(const history_write& w, bool undo)
{
    if (w.kind == WRITE_FRAME) {
        dbg_frames_passed += !undo;  // done again, the statement draws its frame again
        dbg_shown_frames += undo ? -1 : 1;
    }
    else if (w.kind == WRITE_MEMORY || w.kind == WRITE_EDIT)
        _reg.memory[w.cell] = undo ? w.old_value : w.new_value;
    else if (w.kind == WRITE_BYTE_STACK)
        int_stack.items[w.cell] = undo ? w.old_value : w.new_value;
    else if (undo)
        the_stack.items[w.cell] = h.slots[--h.slot_at - h.slots_base].old_cell;
    else
        the_stack.items[w.cell] = h.slots[h.slot_at++ - h.slots_base].new_cell;
}

bool history_undo()
{
    history_seal();
    if (h.back >= run_log_count - h.first)
        return false;
    if (h.back == 0) {
        run_snapshot_now(h.present, dbg.at);
        h.slot_at = h.slots_base + h.slots.size();
    }
    uint64_t n = run_log_count - 1 - h.back;
    for (uint64_t i = writes_to(n); i-- > writes_from(n);)
        put_back(h.writes[i - h.writes_base], true);
    restore(entry(n));
    h.cursor = entry(n).at;
    h.back++;
    return true;
}

bool history_redo()
{
    if (h.back == 0)
        return false;
    uint64_t n = run_log_count - h.back;
    for (uint64_t i = writes_from(n), end = writes_to(n); i < end; i++)
        put_back(h.writes[i - h.writes_base], false);
    h.back--;
    const run_snapshot& next = h.back ? entry(n + 1) : h.present;
    restore(next);
    h.cursor = next.at;
    return true;
}

bool history_fork()
{
    if (h.back == 0)
        return false;
    uint64_t n = run_log_count - h.back;  // the statement the run stands before
    uint64_t keep = writes_from(n);
    while (writes_end() > keep) {
        if (h.writes.back().kind == WRITE_RETURN_SLOT)
            h.slots.pop_back();
        h.writes.pop_back();
    }
    h.slot_at = h.slots_base + h.slots.size();
    run_log_count = n;
    run_log_mark = (uint32_t)writes_end();
    h.back = 0;
    return true;
}

token_cell* history_cursor()
{
    return h.cursor;
}

uint64_t history_writer_back(int64_t cell)
{
    for (uint64_t n = run_log_count - h.back; n-- > h.first;)
        for (uint64_t i = writes_to(n); i-- > writes_from(n);) {
            const history_write& w = h.writes[i - h.writes_base];
            if (w.kind == WRITE_MEMORY && w.cell == cell)
                return run_log_count - h.back - n;
        }
    return 0;
}

token_cell* history_writer(int64_t cell)
{
    uint64_t back = history_writer_back(cell);
    return back ? entry(run_log_count - h.back - back).at : nullptr;
}
