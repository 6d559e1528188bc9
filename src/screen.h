// The memory-mapped screen area and its 64-colour palette.
#pragma once
#include <cstdint>

#include "layout.h"

uint32_t trans_color(int byte);
// Shows the screen area in the window; 1 when the display's frame hook asks
// for the run to end, else 0.
int screen_refresh();
