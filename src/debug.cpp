// What the debug modes show.
#include "debug.h"

void dump_reg() {}
void dump_memory() {}
void trace_instruction(token_cell*) {}
void step_pause() {}
void draw_debug(SDL_Surface*) {}
