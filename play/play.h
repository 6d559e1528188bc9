// zorvik-play: runs a program in a window made for playing. The window is
// the machine's 480 by 272 picture enlarged with sharp pixels; the program
// starts again when its source is saved; keys of the player's own pause,
// step, fast-forward, restart, go full screen and keep screenshots and GIFs.
// The machine itself is the core's, driven through its display hooks.
#pragma once
#include <csignal>
#include <cstdio>
#include <string>

#include "SDL.h"

// What a key of the player asks for. Each acts when its key goes down,
// except fast-forward, which lasts while its key is held.
enum play_action {
    PLAY_NONE,
    PLAY_HELP,
    PLAY_RESTART,
    PLAY_PAUSE,
    PLAY_STEP,
    PLAY_FAST,
    PLAY_RECORD,
    PLAY_FULLSCREEN,
    PLAY_SHOT,
};

// The player's state between the keys that change it and the frames that
// act on it. Keys arrive while SDL pumps its queue, on the machine's thread.
struct play_state {
    std::string program;     // the source path as given
    std::string stem;        // its file name without the extension, for pictures
    int scale = 0;           // the window's enlargement; 0 until it is chosen
    bool paused = false;
    bool step = false;       // while paused: let one more frame be shown
    bool fast = false;       // the fast-forward key is held
    bool shot = false;       // a screenshot is due at the next chance
    bool record = false;     // the GIF key was pressed
    bool fullscreen = false; // the full-screen key was pressed
    bool help = false;       // the help key was pressed
};
extern play_state play;

// run.cpp: the runs, one after each restart.
// Why the run is to start again: its key, or its source was saved. Written
// from the watch's signal handler too.
enum { PLAY_AGAIN_NONE, PLAY_AGAIN_KEY, PLAY_AGAIN_SAVED };
extern volatile sig_atomic_t play_again;
// Runs the program from `source` (open) until it ends for good, starting it
// again after each restart; the player's exit status, as the machine's.
struct mlex_file;
int play_run(mlex_file* source);
// Asks for the run to start again; a running machine stops at once
// (async-signal-safe).
void play_restart(int why);
// A signal of the user's (not the player's own stop) ends the run.
bool play_halted();

// window.cpp: the enlarged window.
// Makes the display open the player's window (display_window): `scale`
// times as large, or, with 0, as large as fits the screen.
void play_window_install(int scale);
void play_window_toggle_fullscreen();

// keys.cpp: the player's keys, taken out of SDL's queue before the program
// can read them (SDL_SetEventFilter).
int play_keys_filter(const SDL_Event* event);
// The keys and what they do, one a line, each line starting with `indent`.
void play_keys_list(FILE* out, const char* indent);

// frame.cpp: the display hook of each shown frame: the keys' actions, the
// pause, and the pace.
bool play_shown(SDL_Surface* surface);
// Sleeps up to `seconds`, keeping the window drawn and the keys read; false
// as soon as the run is to end: a signal, or the window was closed.
bool play_idle(double seconds);

// shots.cpp: screenshots and GIF recordings, written into the current
// folder as STEM-N.png and STEM-N.gif under the first N that is free.
void play_screenshot(SDL_Surface* surface);
void play_record_toggle();
void play_record_frame(SDL_Surface* surface);
// Writes a recording still going, as the player ends.
void play_record_finish();
bool play_recording();

// watch.cpp: starting again when the source is saved, also while the
// program loops without refreshing or waits at a console read.
// False, with a note on standard error, when the folder cannot be watched.
bool play_watch_start(const char* path);
