// The services of `int` and the callback table.
#include "services.h"

SDL_Event e;
callback_entry calls[] = {{fill, 0}, {nullptr, 0}};
callback_entry* callbacks = nullptr;

int do_interupt(int)
{
    return 0;
}

void set_callback(callback_entry* table)
{
    callbacks = table;
}

callback_entry* get_callback(int)
{
    return nullptr;
}

void fill()
{
}
