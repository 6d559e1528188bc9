// The machine in a web page: the entry points that the page calls. A run is
// the machine's own shell (SDL_main) on a source that the page has written
// to /program.zvs, with the page's display hook and pacing around it.
#include <emscripten.h>
#include <stdio_ext.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "SDL.h"
#include "capture.h"
#include "display.h"
#include "halt.h"
#include "keynames.h"
#include "main.h"
#include "parse.h"
#include "random.h"
#include "web.h"

bool web_full_speed = false;
int64_t web_frame_limit = 0;
int64_t web_frames_shown = 0;

// The run's key script, played into the queue by shown frame as
// zorvik-capture plays it, and the key events the run's window received so
// far, the script's and the user's, as items of that syntax: what a replay
// of the run needs.
static std::vector<capture_key> web_script;
static std::string web_received;
static std::string web_script_error;

// The page's key events that came while the program ran between two
// frames, as SDL key numbers with down or up: they go into the queue after
// the next shown frame, where a replay puts them, so that the run is the
// one its record replays. Before the first frame, while the run waits at a
// frame and outside a run they go in at once.
bool web_at_frame = false;
static bool web_running = false;
static std::vector<std::pair<int, bool>> web_held;

static void web_push_key(int sym, bool down)
{
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = (SDLKey)sym;
    SDL_PushEvent(&event);
}

// A key event the window received after `frame` shown frames.
static void web_receive(int64_t frame, int type, int sym)
{
    std::string item = std::to_string(frame) + ":";
    if (type == SDL_QUIT)
        item += "quit";
    else
        item += key_name(sym) + (type == SDL_KEYDOWN ? ":down" : ":up");
    web_received += (web_received.empty() ? "" : ", ") + item;
}

void web_play_keys(int64_t frame)
{
    capture_play_keys(web_script, frame);
    for (const capture_key& k : web_script)
        if (k.frame == frame)
            web_receive(frame, k.type, k.key);
    for (const auto& [sym, down] : web_held) {
        web_push_key(sym, down);
        web_receive(frame, down ? SDL_KEYDOWN : SDL_KEYUP, sym);
    }
    web_held.clear();
}

extern "C" {

// The key script of the next run: items separated by commas or lines, as
// zorvik-capture's --keys and key files take them, in the order of their
// frames, none past `last_frame` unless that is negative. Empty when it
// reads; else the message that names the bad item, and the next run has no
// script.
EMSCRIPTEN_KEEPALIVE const char* web_set_keys(const char* script, int last_frame)
{
    web_script.clear();
    web_script_error.clear();
    int line = 0;
    if (!capture_parse_key_lines(script, web_script, line, web_script_error)) {
        web_script.clear();
        return web_script_error.c_str();
    }
    web_script_error = capture_keys_out_of_order(web_script);
    if (!web_script_error.empty()) {
        web_script.clear();
        return web_script_error.c_str();
    }
    for (const capture_key& k : web_script)
        if (last_frame >= 0 && k.frame > last_frame) {
            web_script_error = "key script item '" + k.item + "' is past the run's end, after " +
                               std::to_string(last_frame) + " shown frames";
            web_script.clear();
            break;
        }
    return web_script_error.c_str();
}

// The key events the latest run's window received, as key script items.
EMSCRIPTEN_KEEPALIVE const char* web_received_keys()
{
    return web_received.c_str();
}

// Runs /program.zvs in the mode `debug` (0, 1 "--debug", 2 "--debug=gfx")
// with its random numbers from `seed`, and returns the machine's exit
// status. Asynchronous: the page awaits it.
EMSCRIPTEN_KEEPALIVE int web_run(int debug, int full_speed, int frame_limit, unsigned seed)
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
    web_received.clear();
    web_held.clear();
    web_at_frame = false;
    random_fix_seed(true, seed);
    web_play_keys(0);
    web_frame_shown(0);
    display_shown_hook = pace_shown;
    pace_start();
    web_running = true;
    int status = SDL_main(argc, argv);
    web_running = false;
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

// A key going down or up, by its SDL key number, into the window's queue:
// at once, or after the next shown frame when the run is between two.
EMSCRIPTEN_KEEPALIVE void web_key(int sym, int down)
{
    if (web_running && web_frames_shown > 0 && !web_at_frame) {
        web_held.emplace_back(sym, down != 0);
        return;
    }
    web_push_key(sym, down != 0);
    web_receive(web_frames_shown, down ? SDL_KEYDOWN : SDL_KEYUP, sym);
}

}
