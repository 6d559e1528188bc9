// Pacing in a window: a refresh shows at most framerate_fps frames a
// second, so that a game runs at the same speed on every host. A refresh
// that comes early waits out the rest of its frame before it shows; a late
// one shows at once and the schedule starts again from it, so a slow
// stretch is never made up for with a burst. Runs without a real window
// (the dummy driver, captures, tests) never wait.
#pragma once
#include "SDL.h"

extern int framerate_fps;           // frames a second, 60 unless a front end says otherwise
extern bool framerate_full_speed;   // refreshes do not wait

// When frames are due: the time the last one showed, in seconds.
struct framerate_schedule {
    double shown_at;
    bool started;
};

// Seconds that a refresh at `now` waits before it shows (0 for a late one,
// the first, or at full speed), and the schedule moved on to that frame.
double framerate_delay(framerate_schedule* schedule, double now);

// Waits until the next frame is due, when the display is a real window:
// sleeping, showing the window again when it is exposed and keeping key
// events queued meanwhile. A signal that ends the run ends the wait.
void framerate_wait();

// The display hook that paces a run (display_shown_hook); it never ends one.
bool framerate_shown(SDL_Surface* surface);
