// The machine: state, cursor and the run.
#include "parse.h"

#include <cstring>

#include "stack.h"
#include "symtab.h"

registers _reg;
token_cell* lst = nullptr;

int32_t read_hex(const char*)
{
    return 0;
}

int32_t read_dec(const char*)
{
    return 0;
}

void getnext()
{
    if (lst)
        lst = lst->next_cell;
}

int parse()
{
    lst = symbols.head;
    memset(&_reg, 0, sizeof _reg);
    stack_init(&the_stack);
    int_stack_init(&int_stack);
    return 0;
}

void statement(token_cell*)
{
}

int32_t term(int&)
{
    return 0;
}
