// The services a program reaches with `int`, and the callback table.
#pragma once
#include "SDL.h"
#include "layout.h"

struct callback_entry {
    void (*function)();
    int key;
};

extern SDL_Event e;
extern callback_entry calls[];
extern callback_entry* callbacks;

// The one service that writes a flag: it tests a cell and sets Z.
constexpr int SERVICE_TEST_INDEXED = 258;

int do_interupt(int service);
// Whether do_interupt serves the number (the others do nothing).
bool service_known(int service);
void set_callback(callback_entry* table);
callback_entry* get_callback(int key);
void fill();
