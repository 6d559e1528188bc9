// The interpreter's two fixed stacks: return points for jsr/rts and bytes
// for pha/pla/php/plp.
#pragma once
#include <cstdint>

struct token_cell;

constexpr int STACK_LIMIT = 255;

struct addr_stack {
    token_cell* items[STACK_LIMIT];
    int count;
};

struct byte_stack {
    uint8_t items[256];
    int count;
};

extern addr_stack the_stack;
extern byte_stack int_stack;

#ifdef ZORVIK_ENGINE
// Builds for a driving front end can watch the stacks: while
// `stack_watching` is set, the driver's stack_watch_slot is told the slot a
// push is about to overwrite (0: the return stack, 1: the byte stack) and
// what goes there (a cell, or a byte). A function, as mem_watch_write is.
extern bool stack_watching;
void stack_watch_slot(int stack, int slot, uintptr_t pushed);
#endif

void stack_init(addr_stack* s);
void stack_push(addr_stack* s, token_cell* cell);
token_cell* stack_pop(addr_stack* s);
void int_stack_init(byte_stack* s);
void int_stack_push(byte_stack* s, uint8_t byte);
uint8_t int_stack_pop(byte_stack* s);
