// The machine's state: the registers, the flags and the memory in one
// record, the cursor over the token list, and the accessors every memory
// access goes through. Everything that runs the machine sits above this.
#pragma once
#include <cstdint>

#include "layout.h"

struct token_cell;

// Indexes of the flag bytes.
enum { FLAG_N, FLAG_V, FLAG_UNUSED, FLAG_B, FLAG_D, FLAG_I, FLAG_Z, FLAG_C };

struct registers {
    uint8_t X;
    uint8_t Y;
    int32_t A;
    uint8_t flags[8];
    uint8_t flag_extra;
    int32_t mode;
    uint8_t memory[MEMORY_SIZE];
};

extern registers _reg;
// The cursor: the cell of the token list where execution stands, null past
// the end.
extern token_cell* lst;

// Clears the registers, the flags and all of memory for a run.
void machine_clear();

#ifdef ZORVIK_FUZZ
// Fuzzing builds mark the 4 KiB pages that writes touched, so that a run
// clears and scans those pages rather than all 16 MiB.
constexpr int MEMORY_PAGE_BITS = 12;
extern uint8_t mem_touched[MEMORY_SIZE >> MEMORY_PAGE_BITS];
#endif

#ifdef ZORVIK_ENGINE
// Builds for a driving front end can watch every memory write: while
// `mem_watching` is set, the driver's mem_watch_write sees the cell and its
// old and new value before the write. It is a function the driver defines,
// not a pointer, so that the loop holds no call through a pointer: on the
// page every such call might wait for the browser, and the bookkeeping
// for that costs the loop a third of its speed.
extern bool mem_watching;
void mem_watch_write(int64_t cell, uint8_t old_value, uint8_t new_value);
#endif

// Every memory access goes through these: the machine has no cell outside
// 0 to 0xFFFFFF, so a read there gives 0 and a write there is dropped.
inline uint8_t mem_read(int64_t i)
{
    return (i >= 0 && i < MEMORY_SIZE) ? _reg.memory[i] : 0;
}

inline void mem_write(int64_t i, int v)
{
    if (i >= 0 && i < MEMORY_SIZE) {
#ifdef ZORVIK_ENGINE
        if (mem_watching)
            mem_watch_write(i, _reg.memory[i], (uint8_t)v);
#endif
        _reg.memory[i] = (uint8_t)v;
#ifdef ZORVIK_FUZZ
        mem_touched[i >> MEMORY_PAGE_BITS] = 1;
#endif
    }
}
