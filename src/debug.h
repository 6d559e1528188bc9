// What the debug modes show: the trace, the register dump, the memory map,
// the step pause and the register overlay.
#pragma once
#include "SDL.h"

struct token_cell;

void dump_reg();
void dump_memory();
void trace_instruction(token_cell* cell);
void step_pause();
void draw_debug(SDL_Surface* surface);
