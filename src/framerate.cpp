// Pacing in a window; see framerate.h.
#include "framerate.h"

#include <chrono>
#include <cstring>
#include <ctime>

#include "display.h"
#include "halt.h"

int framerate_fps = 60;
bool framerate_full_speed = false;

static framerate_schedule framerate_now{};

double framerate_delay(framerate_schedule* schedule, double now)
{
    if (framerate_full_speed || framerate_fps <= 0) {
        schedule->started = false;
        return 0;
    }
    double due = schedule->shown_at + 1.0 / framerate_fps;
    if (!schedule->started || now >= due) {
        schedule->started = true;
        schedule->shown_at = now;
        return 0;
    }
    schedule->shown_at = due;
    return due - now;
}

static double framerate_clock()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A real window: the display is open on a driver that shows something.
static bool framerate_in_window()
{
    char name[32] = "";
    return front && SDL_VideoDriverName(name, sizeof name) && strcmp(name, "dummy") != 0;
}

void framerate_wait()
{
    if (!framerate_in_window())
        return;
    double start = framerate_clock();
    double until = start + framerate_delay(&framerate_now, start);
    // Short sleeps, so that an exposed window is drawn again and a signal
    // ends the wait within a few milliseconds.
    for (double left = until - start; left > 0 && !halt_signal; left = until - framerate_clock()) {
        double slice = left < 0.004 ? left : 0.004;
        timespec pause{0, (long)(slice * 1e9)};
        nanosleep(&pause, nullptr);
        display_redraw_exposed();
    }
}

bool framerate_shown(SDL_Surface*)
{
    framerate_wait();
    return false;
}
