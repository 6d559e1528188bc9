// The interpreter's two stacks: fixed arrays of static storage, so a call or
// a push never allocates.
#include "stack.h"

#include <cstdio>

addr_stack the_stack;
byte_stack int_stack;
#ifdef ZORVIK_ENGINE
bool stack_watching = false;
#endif

void stack_init(addr_stack* s)
{
    s->count = 0;
}

// A full return stack loses the return point; the call itself still happens.
void stack_push(addr_stack* s, token_cell* cell)
{
    if (s->count >= STACK_LIMIT) {
        printf("*- stack overflow");
        return;
    }
#ifdef ZORVIK_ENGINE
    if (stack_watching)
        stack_watch_slot(0, s->count, (uintptr_t)cell);
#endif
    s->items[s->count++] = cell;
}

token_cell* stack_pop(addr_stack* s)
{
    if (s->count <= 0)
        return nullptr;
    return s->items[--s->count];
}

void int_stack_init(byte_stack* s)
{
    s->count = 0;
}

// A full byte stack drops the byte silently; the last item is never used.
void int_stack_push(byte_stack* s, uint8_t byte)
{
    if (s->count >= STACK_LIMIT)
        return;
#ifdef ZORVIK_ENGINE
    if (stack_watching)
        stack_watch_slot(1, s->count, byte);
#endif
    s->items[s->count++] = byte;
}

uint8_t int_stack_pop(byte_stack* s)
{
    if (s->count <= 0)
        return 0;
    return s->items[--s->count];
}
