// The machine's state and its clearing before a run.
#include "machine.h"

#include <cstddef>
#include <cstring>

registers _reg;
token_cell* lst = nullptr;
#ifdef ZORVIK_FUZZ
uint8_t mem_touched[MEMORY_SIZE >> MEMORY_PAGE_BITS];  // memory starts all zero
#endif
#ifdef ZORVIK_ENGINE
bool mem_watching = false;
#endif

// Memory is cleared whole; fuzzing builds clear only what writes touched
// since the last clear.
void machine_clear()
{
#ifdef ZORVIK_FUZZ
    memset(&_reg, 0, offsetof(registers, memory));
    constexpr int64_t page = 1 << MEMORY_PAGE_BITS;
    for (int64_t p = 0; p < (int64_t)sizeof mem_touched; p++) {
        if (mem_touched[p])
            memset(&_reg.memory[p * page], 0, page);
        mem_touched[p] = 0;
    }
#else
    memset(&_reg, 0, sizeof _reg);
#endif
}
