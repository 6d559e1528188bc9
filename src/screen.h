// The memory-mapped screen area and its 64-colour palette.
#pragma once
#include <cstdint>

#include "layout.h"

// The palette's colour of a byte as 0xRRGGBB, whatever the display shows
// it with; bits 1 to 6 choose it.
uint32_t palette_rgb(int byte);
// The same colour as a pixel value of the window's surface (0 without one).
uint32_t trans_color(int byte);
// Shows the screen area in the window; 1 when the display's frame hook asks
// for the run to end, else 0.
int screen_refresh();

#ifdef ZORVIK_ENGINE
// Builds for a driving front end can watch the frames: while
// `screen_watching` is set, the driver's screen_watch_refresh is told of
// each refresh that draws one, as it draws it. A function, as
// mem_watch_write is.
extern bool screen_watching;
void screen_watch_refresh();
#endif
