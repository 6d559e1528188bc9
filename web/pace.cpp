// Pacing on a page, where the program and the browser share one thread.
// A refresh shows its frame and waits for the display's next one, unless
// the page runs at full speed; and the loop gives way at least every 16 ms,
// so that the page answers and key events arrive however the program runs.
#include <emscripten.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "SDL.h"
#include "web.h"
#include "yield.h"

constexpr double SLICE_MS = 16;

int32_t yield_countdown = 1024;
static int32_t pace_every = 1024;  // loop-closing steps between looks at the clock
static double pace_last_look = 0;
static double pace_last_turn = 0;
static std::vector<uint8_t> pace_frame;

void pace_start()
{
    pace_every = 1024;
    yield_countdown = pace_every;
    pace_last_look = pace_last_turn = emscripten_get_now();
}

static void pace_give_way()
{
    fflush(stdout);
    web_give_way();
    pace_last_turn = emscripten_get_now();
}

// Looks at the clock; the steps between looks adapt so that a look comes
// about once a millisecond, whether the program's steps are cheap jumps or
// slow service calls.
void yield_slice()
{
    double now = emscripten_get_now();
    double since = now - pace_last_look;
    if (since < 0.5 && pace_every < (1 << 22))
        pace_every *= 2;
    else if (since > 2 && pace_every > 16)
        pace_every /= 2;
    pace_last_look = now;
    yield_countdown = pace_every;
    if (now - pace_last_turn >= SLICE_MS)
        pace_give_way();
}

// The display hook: the frame as the refresh drew it goes to the page, and
// only then, as a window shows it only then. The surface holds RGBA pixels
// (library.js); a cleared or never drawn pixel is 0, black with no alpha,
// which the canvas must show opaque.
bool pace_shown(SDL_Surface* surface)
{
    SDL_LockSurface(surface);
    size_t bytes = (size_t)surface->w * (size_t)surface->h * 4;
    if (surface->pixels && surface->format->BytesPerPixel == 4 && surface->pitch == surface->w * 4) {
        pace_frame.resize(bytes);
        memcpy(pace_frame.data(), surface->pixels, bytes);
        for (size_t i = 3; i < bytes; i += 4)
            pace_frame[i] = 255;
    }
    SDL_UnlockSurface(surface);
    if (!pace_frame.empty())
        web_present(pace_frame.data(), surface->w, surface->h);
    web_frames_shown++;
    if (web_frame_limit && web_frames_shown >= web_frame_limit)
        return true;
    web_play_keys(web_frames_shown);
    web_frame_shown(web_frames_shown);
    web_at_frame = true;
    if (web_full_speed) {
        if (emscripten_get_now() - pace_last_turn >= SLICE_MS)
            pace_give_way();
    } else {
        fflush(stdout);
        web_wait_frame();
        pace_last_turn = emscripten_get_now();
    }
    web_at_frame = false;
    return false;
}
