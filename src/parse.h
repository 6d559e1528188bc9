// The machine: its state, the cursor over the token list, and the run.
#pragma once
#include <cstdint>

#include "layout.h"

struct token_cell;

// Indexes of the flag bytes.
enum { FLAG_N, FLAG_V, FLAG_UNUSED, FLAG_B, FLAG_D, FLAG_I, FLAG_Z, FLAG_C };

// Operand kinds reported by term: 17 address, 15 immediate, 18 register.
enum { KIND_IMMEDIATE = 15, KIND_ADDRESS = 17, KIND_REGISTER = 18 };

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
extern token_cell* lst;

// How many loop-closing steps (taken branches, jumps, calls, returns and
// service calls) a run may take before it ends as if its list had; negative
// for no limit, the default. A hook for tests and fuzzing, which run
// programs that loop on purpose; the command line cannot set it.
extern int64_t run_budget;
// True when the last run ended because its budget was spent.
extern bool run_budget_spent;

// Every memory access goes through these: the machine has no cell outside
// 0 to 0xFFFFFF, so a read there gives 0 and a write there is dropped.
inline uint8_t mem_read(int64_t i)
{
    return (i >= 0 && i < MEMORY_SIZE) ? _reg.memory[i] : 0;
}
#ifdef ZORVIK_FUZZ
// Fuzzing builds mark the 4 KiB pages that writes touched, so that a run
// clears and scans those pages rather than all 16 MiB.
constexpr int MEMORY_PAGE_BITS = 12;
extern uint8_t mem_touched[MEMORY_SIZE >> MEMORY_PAGE_BITS];
#endif
inline void mem_write(int64_t i, int v)
{
    if (i >= 0 && i < MEMORY_SIZE) {
        _reg.memory[i] = (uint8_t)v;
#ifdef ZORVIK_FUZZ
        mem_touched[i >> MEMORY_PAGE_BITS] = 1;
#endif
    }
}

// Number texts of operands and the header: leading digits, kept modulo 2^32.
int32_t read_hex(const char* text);
int32_t read_dec(const char* text);

void getnext();
int parse();
void statement(token_cell* start);
int32_t term(int& kind);
