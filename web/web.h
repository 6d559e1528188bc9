// The page's side of the machine: what the C++ entry and the pacing share,
// and the page's own functions that they call (library.js).
#pragma once
#include <cstdint>

// Set by the page for each run, and while it runs.
extern bool web_full_speed;    // refreshes do not wait for the display
extern int64_t web_frame_limit; // shown frames after which the run ends; 0 for none
extern int64_t web_frames_shown;
extern bool web_at_frame;      // the run waits after a shown frame, its keys played

// Pushes the run's scripted key events for shown frame `frame` into the
// queue (entry.cpp).
void web_play_keys(int64_t frame);

// Pacing (pace.cpp): the refresh's pause, and giving way at least every
// 16 ms of running.
void pace_start();
bool pace_shown(struct SDL_Surface* surface);

extern "C" {
// The page: shows a frame of RGBA pixels on its canvas.
void web_present(const uint8_t* rgba, int width, int height);
// The page: `count` frames have been shown and the run goes on; 0 before
// the first. The page's scripted key events go into the queue here.
void web_frame_shown(int64_t count);
// The page: returns at the display's next frame (or at once after a stop).
void web_wait_frame();
// The page: returns once the browser has had its turn.
void web_give_way();
}
