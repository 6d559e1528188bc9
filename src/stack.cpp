// The interpreter's two stacks.
#include "stack.h"

addr_stack the_stack;
byte_stack int_stack;

void stack_init(addr_stack* s) { s->count = 0; }
void stack_push(addr_stack*, token_cell*) {}
token_cell* stack_pop(addr_stack*) { return nullptr; }
void int_stack_init(byte_stack* s) { s->count = 0; }
void int_stack_push(byte_stack*, uint8_t) {}
uint8_t int_stack_pop(byte_stack*) { return 0; }
