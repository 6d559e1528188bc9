// The history of a recorded run: for each statement the state it started
// from and every byte it overwrote, old and new, so that any statement can
// be undone and done again without running it. The memory and byte-stack
// writes come from the engine's hooks, and so do the return-stack slots
// that a jsr overwrites, kept aside since they hold cells, not bytes.
#include <cstring>
#include <deque>

#include "debugger.h"
#include "decode.h"
#include "machine.h"
#include "stack.h"
#include "symtab.h"

// 32 bytes a statement, and 8 a write.
struct history_entry {
    token_cell* at;          // where the statement starts
    int32_t A;
    uint32_t writes;         // how many writes it made
    uint8_t X, Y;
    uint8_t flags[8];
    uint8_t flag_extra;
    uint8_t depth;           // of the return stack
    uint8_t byte_depth;      // of the byte stack
};

enum { WRITE_MEMORY, WRITE_BYTE_STACK, WRITE_RETURN_SLOT };

// A return-stack slot's cell before and after the statement that wrote it.
struct history_slot {
    token_cell* old_cell;
    token_cell* new_cell;
};

struct history_write {
    uint32_t cell;  // a memory cell, or a stack slot
    uint8_t kind;
    uint8_t old_value;
    uint8_t new_value;
};

struct history_state {
    bool on = false;
    std::vector<history_entry> ring;   // `limit` entries, oldest at `first`
    size_t first = 0, count = 0;
    size_t back = 0;                   // entries undone, counted from the newest
    std::deque<history_write> writes;  // in statement order
    size_t write_at = 0;               // writes before the position in time
    std::deque<history_slot> slots;    // one for each WRITE_RETURN_SLOT write, in order
    size_t slot_at = 0;
    history_entry* open = nullptr;     // the newest entry, while it still collects writes
    history_entry present{};           // the state before the first undo
    token_cell* cursor = nullptr;
};

size_t history_limit = 1000000;
static history_state h;

static history_entry& entry(size_t k)  // k: 0 the oldest, below the ring's size
{
    size_t i = h.first + k;
    return h.ring[i >= h.ring.size() ? i - h.ring.size() : i];
}

static void snapshot(history_entry& e, token_cell* at)
{
    e.at = at;
    e.A = _reg.A;
    e.X = _reg.X;
    e.Y = _reg.Y;
    memcpy(e.flags, _reg.flags, sizeof e.flags);
    e.flag_extra = _reg.flag_extra;
    e.depth = (uint8_t)the_stack.count;
    e.byte_depth = (uint8_t)int_stack.count;
    e.writes = 0;
}

static void restore(const history_entry& e)
{
    _reg.A = e.A;
    _reg.X = e.X;
    _reg.Y = e.Y;
    memcpy(_reg.flags, e.flags, sizeof e.flags);
    _reg.flag_extra = e.flag_extra;
    the_stack.count = e.depth;
    int_stack.count = e.byte_depth;
}

static void on_memory_write(int64_t cell, uint8_t old_value, uint8_t new_value)
{
    if (!h.open)
        return;
    h.writes.push_back({(uint32_t)cell, WRITE_MEMORY, old_value, new_value});
    h.open->writes++;
}

static void on_stack_slot(int stack, int slot)
{
    if (!h.open)
        return;
    if (stack == 1) {
        h.writes.push_back({(uint32_t)slot, WRITE_BYTE_STACK, int_stack.items[slot], 0});
    } else {
        h.writes.push_back({(uint32_t)slot, WRITE_RETURN_SLOT, 0, 0});
        h.slots.push_back({the_stack.items[slot], nullptr});
    }
    h.open->writes++;
}

// The newest entry is complete: what it left in the stacks is kept.
static inline void seal_open()
{
    if (!h.open)
        return;
    history_entry& e = *h.open;
    h.open = nullptr;
    if (e.writes) {
        size_t slot = h.slots.size();
        for (size_t i = h.writes.size() - e.writes; i < h.writes.size(); i++)
            slot -= h.writes[i].kind == WRITE_RETURN_SLOT;
        for (size_t i = h.writes.size() - e.writes; i < h.writes.size(); i++) {
            history_write& w = h.writes[i];
            if (w.kind == WRITE_BYTE_STACK)
                w.new_value = int_stack.items[w.cell];
            else if (w.kind == WRITE_RETURN_SLOT)
                h.slots[slot++].new_cell = the_stack.items[w.cell];
        }
        h.write_at = h.writes.size();
        h.slot_at = h.slots.size();
    }
}

void history_seal()
{
    seal_open();
}

void history_start(size_t limit)
{
    history_stop();
    h.ring.assign(limit ? limit : 1, history_entry{});
    h.on = true;
    mem_write_hook = on_memory_write;
    stack_slot_hook = on_stack_slot;
}

void history_clear()
{
    h.first = h.count = h.back = h.write_at = h.slot_at = 0;
    h.writes.clear();
    h.slots.clear();
    h.open = nullptr;
}

void history_stop()
{
    history_clear();
    h.on = false;
    h.ring.clear();
    h.ring.shrink_to_fit();
    mem_write_hook = nullptr;
    stack_slot_hook = nullptr;
}

bool history_on()
{
    return h.on;
}

dbg_history_info history_info()
{
    return {h.on, h.count, h.back};
}

// A run goes on from a point in the past: what came after it is gone.
static void forget_future()
{
    history_seal();
    while (h.back > 0) {
        h.count--;
        h.back--;
    }
    h.writes.resize(h.write_at);
    h.slots.resize(h.slot_at);
}

// The oldest entry goes to make room: its writes leave the front of the log.
[[gnu::noinline]] static void drop_oldest_writes(uint32_t count)
{
    for (uint32_t i = count; i > 0; i--) {
        if (h.writes.front().kind == WRITE_RETURN_SLOT)
            h.slots.pop_front();
        h.writes.pop_front();
    }
    h.write_at = h.writes.size();
    h.slot_at = h.slots.size();
}

// Runs before every recorded pass, so the common case touches only the new
// entry: a full ring reuses the oldest one's place.
void history_before(token_cell* c)
{
    if (h.back)
        forget_future();
    seal_open();
    size_t size = h.ring.size(), place = h.first + h.count;
    history_entry& e = h.ring[place >= size ? place - size : place];
    if (h.count == size) {
        if (e.writes)
            drop_oldest_writes(e.writes);
        h.first = h.first + 1 == size ? 0 : h.first + 1;
    } else {
        h.count++;
    }
    h.open = &e;
    snapshot(e, c);
}

bool (*history_breakpoint)(token_cell* c) = nullptr;

bool history_record_pass(token_cell* c)
{
    if (c->code.op == OP_TRAP && history_breakpoint(c))
        return true;
    history_before(c);
    return false;
}

// The byte a write wrote, or the one it overwrote, in its place again; a
// return-stack slot takes its cell from the slot log.
static void put_back(const history_write& w, uint8_t value, bool undo)
{
    if (w.kind == WRITE_MEMORY)
        _reg.memory[w.cell] = value;
    else if (w.kind == WRITE_BYTE_STACK)
        int_stack.items[w.cell] = value;
    else if (undo)
        the_stack.items[w.cell] = h.slots[--h.slot_at].old_cell;
    else
        the_stack.items[w.cell] = h.slots[h.slot_at++].new_cell;
}

bool history_undo()
{
    history_seal();
    if (h.back >= h.count)
        return false;
    if (h.back == 0)
        snapshot(h.present, dbg.at);
    history_entry& e = entry(h.count - 1 - h.back);
    for (uint32_t i = 0; i < e.writes; i++) {
        const history_write& w = h.writes[--h.write_at];
        put_back(w, w.old_value, true);
    }
    restore(e);
    h.cursor = e.at;
    h.back++;
    return true;
}

bool history_redo()
{
    if (h.back == 0)
        return false;
    history_entry& e = entry(h.count - h.back);
    for (uint32_t i = 0; i < e.writes; i++) {
        const history_write& w = h.writes[h.write_at++];
        put_back(w, w.new_value, false);
    }
    h.back--;
    const history_entry& next = h.back ? entry(h.count - h.back) : h.present;
    restore(next);
    h.cursor = next.at;
    return true;
}

token_cell* history_cursor()
{
    return h.cursor;
}

token_cell* history_writer(int64_t cell)
{
    size_t w = h.write_at;
    for (size_t k = h.count - h.back; k-- > 0;) {
        const history_entry& e = entry(k);
        for (uint32_t i = 0; i < e.writes; i++)
            if (h.writes[--w].kind == WRITE_MEMORY && h.writes[w].cell == cell)
                return e.at;
    }
    return nullptr;
}
