// Each shown frame (display_shown_hook): the player's keys act on it, a
// recording keeps it, a pause holds the machine on it, and otherwise it
// waits its turn at the frame rate (framerate.h) unless fast-forward is held.
#include <ctime>

#include "display.h"
#include "framerate.h"
#include "play.h"

// How often a waiting player looks at its keys, the window and the signals.
constexpr double PLAY_SLICE = 0.01;

bool play_closed()
{
    SDL_Event event;
    return play.closed || (front && SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_QUITMASK) > 0);
}

// The actions that the keys asked for and that need no running machine,
// one for each press.
static void play_act(SDL_Surface* surface)
{
    for (; play.help > 0; play.help--) {
        fprintf(stderr, "zorvik-play: the player's keys:\n");
        play_keys_list(stderr, "  ");
    }
    for (; play.fullscreen > 0; play.fullscreen--)
        play_window_toggle_fullscreen();
    for (; play.record > 0; play.record--)
        play_record_toggle();
    for (; play.shot > 0 && surface; play.shot--)
        play_screenshot(surface);
    for (; play.keep > 0; play.keep--)
        play_keep_write();
}

bool play_idle(double seconds)
{
    for (double left = seconds; left > 0; left -= PLAY_SLICE) {
        if (play_halted() || play_closed())
            return false;
        timespec pause{0, (long)(PLAY_SLICE * 1e9)};
        nanosleep(&pause, nullptr);
        display_redraw_exposed();  // SDL reads the window's events here, the keys among them
        if (play.exposed && front) {
            play.exposed = false;
            display_show();
        }
        play_act(front);
    }
    return !play_halted() && !play_closed();
}

// While paused the machine does not run: the player only waits here, in
// the hook of the frame it stopped at, until the pause ends, one frame is
// to be shown, a restart or a signal stops the run, or the window closes.
// Closing the window ends the run here, as the program's own poll would,
// also for a program that never reads its events.
bool play_shown(SDL_Surface* surface)
{
    play_keep_shown(surface);  // counted before its keys are read
    SDL_PumpEvents();  // the keys act even for a program that never reads them
    if (play_recording())
        play_record_frame(surface);
    play_act(surface);
    while (play.paused && !play.step && !play_again)
        if (!play_idle(PLAY_SLICE))
            break;
    // A frame stepped to uses one step; going on forgets the rest.
    play.step = play.paused && play.step > 0 ? play.step - 1 : 0;
    if (play_closed())
        return true;
    if (!play.fast)
        framerate_wait();
    return false;
}
