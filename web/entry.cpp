// The machine in a web page: the entry points that the page calls. A run is
// the machine's own shell (SDL_main) on a source that the page has written
// to /program.zvs, with the page's display hook and pacing around it.
#include <emscripten.h>
#include <stdio_ext.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "SDL.h"
#include "display.h"
#include "halt.h"
#include "main.h"
#include "parse.h"
#include "web.h"

bool web_full_speed = false;
int64_t web_frame_limit = 0;
int64_t web_frames_shown = 0;

extern "C" {

// Runs /program.zvs in the mode `debug` (0, 1 "--debug", 2 "--debug=gfx")
// and returns the machine's exit status. Asynchronous: the page awaits it.
EMSCRIPTEN_KEEPALIVE int web_run(int debug, int full_speed, int frame_limit)
{
    static char name[] = "zorvik", path[] = "/program.zvs", trace[] = "--debug",
                gfx[] = "--debug=gfx";
    char* argv[] = {name, path, debug == 2 ? gfx : trace, nullptr};
    int argc = debug == 1 || debug == 2 ? 3 : 2;

    halt_signal = 0;
    web_full_speed = full_speed != 0;
    web_frame_limit = frame_limit > 0 ? frame_limit : 0;
    web_frames_shown = 0;
    run_statements = 0;
    // A run starts with nothing left of the last one's console input and
    // key events, as a new process would; then the page's keys for the
    // start go in.
    __fpurge(stdin);
    clearerr(stdin);
    SDL_Event old;
    while (SDL_PollEvent(&old)) {
    }
    web_frame_shown(0);
    display_shown_hook = pace_shown;
    pace_start();
    int status = SDL_main(argc, argv);
    fflush(stdout);
    fflush(stderr);
    return status;
}

// The run's progress so far, for the page's status: statements run, and
// frames shown.
EMSCRIPTEN_KEEPALIVE double web_statements()
{
    return (double)run_statements;
}

EMSCRIPTEN_KEEPALIVE double web_frames()
{
    return (double)web_frames_shown;
}

// Stop: ends the run as an interrupt does, at the machine's next check.
EMSCRIPTEN_KEEPALIVE void web_stop()
{
    halt_signal = SIGINT;
}

EMSCRIPTEN_KEEPALIVE void web_set_full_speed(int on)
{
    web_full_speed = on != 0;
}

// A key going down or up, by its SDL key number, into the window's queue.
EMSCRIPTEN_KEEPALIVE void web_key(int sym, int down)
{
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = (SDLKey)sym;
    SDL_PushEvent(&event);
}

}
