// zorvik-play: runs a program in a window made for playing. The window is
// the machine's 480 by 272 picture enlarged with sharp pixels; the program
// starts again when its source is saved; keys of the player's own pause,
// step, fast-forward, restart, go full screen, keep screenshots and GIFs,
// and keep the run so far as a test.
// The machine itself is the core's, driven through its display hooks.
#pragma once
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "pngtext.h"

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
    PLAY_KEEP,
};

// The player's state between the keys that change it and the frames that
// act on it. Keys arrive while SDL pumps its queue, on the machine's thread.
// A key's presses are counted, not only noted, so that several in one frame
// (taps shorter than a frame) each act.
struct play_state {
    std::string program;     // the source path as given: a .zvs file, or a PNG that carries one
    bool from_png = false;   // the program is a PNG's (program.cpp)
    std::string source;      // the current run's source, its bytes as read
    std::string name;        // its file name: the .zvs file's, or the one the PNG carries
    std::string stem;        // the name without the extension, for pictures
    int scale = 0;           // the window's enlargement; 0 until it is chosen
    bool exit_on_end = false; // a program that ends ends the player too
    bool watching = false;   // saving the program starts it again
    bool closed = false;     // the window was closed: the player ends
    bool paused = false;
    int step = 0;            // while paused: frames still to be shown
    bool fast = false;       // the fast-forward key is held
    int shot = 0;            // screenshots due at the next chance
    int record = 0;          // presses of the GIF key not acted on yet
    int fullscreen = 0;      // presses of the full-screen key not acted on yet
    int help = 0;            // presses of the help key not acted on yet
    int keep = 0;            // presses of the keep key not acted on yet
    bool exposed = false;    // the window was uncovered and is to be drawn again
    bool seed_given = false; // --seed: every run takes `seed`; else each takes the clock's
    unsigned seed = 0;       // the random numbers' seed of the current run
};
extern play_state play;

// run.cpp: the runs, one after each restart.
// Why the run is to start again: its key, or its source was saved. Written
// from the watch's signal handler too.
enum { PLAY_AGAIN_NONE, PLAY_AGAIN_KEY, PLAY_AGAIN_SAVED };
extern volatile sig_atomic_t play_again;
// Runs the program from `source` (open) until the player ends, starting it
// again after each restart. A run that ends by itself keeps the window
// until a save or F5 starts it again, unless exit_on_end is set. The
// player's exit status, as the machine's.
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
// Titles the window with the machine's name, and after it `state` (the
// program ended, or is awaited) when that is not null.
void play_window_title(const char* state);

// keys.cpp: the player's keys, taken out of SDL's queue before the program
// can read them (SDL_SetEventFilter); the window's closing is noted there.
int play_keys_filter(const SDL_Event* event);
// The keys and what they do, one a line, each line starting with `indent`.
void play_keys_list(FILE* out, const char* indent);

// frame.cpp: the display hook of each shown frame: the keys' actions, the
// pause, and the pace.
bool play_shown(SDL_Surface* surface);
// Sleeps up to `seconds`, keeping the window drawn and the keys read; false
// as soon as the run is to end: a signal, or the window was closed.
bool play_idle(double seconds);
// The window was closed, or its closing waits in the queue.
bool play_closed();

// shots.cpp: screenshots and GIF recordings, written into the current
// folder as STEM-N.png and STEM-N.gif under the first N that is free.
void play_screenshot(SDL_Surface* surface);
void play_record_toggle();
void play_record_frame(SDL_Surface* surface);
// Writes a recording still going, as the player ends.
void play_record_finish();
bool play_recording();

// console.cpp: the program's standard output and input pass through
// copies, of the current run's output and of the input it read.
void play_console_install();
// A run starts: nothing written or read yet.
void play_console_clear();
const std::string& play_console_output();
const std::string& play_console_input();

// keep.cpp: the run so far, kept as a test beside the program (F10).
// A run starts: no frame shown, no key event, no console yet.
void play_keep_start();
// A frame was shown: counted, and what the run has written and read so
// far noted, as is the frame. Before the frame's keys are read.
void play_keep_shown(SDL_Surface* surface);
// A key event of the program's window (SDL_KEYDOWN or SDL_KEYUP), noted
// with the frames shown before it.
void play_keep_event(const SDL_Event* event);
// Writes PROGRAM-N.test, .keys, .in, .out and .png beside the program and
// names them on standard error; for a PNG's program PROGRAM-N.zvs too, the
// source the test runs, PROGRAM being the name the PNG carries.
void play_keep_write();
// The texts a picture of the current run carries (pngtext.h): the program,
// its name and the run as far as the last shown frame, as F10 keeps it
// with `name` for the program's file name.
std::vector<pngtext_item> play_keep_texts(const std::string& name);

// program.cpp: the program's source for each run.
// True for a path that names a PNG (by its extension).
bool play_program_is_png(const std::string& path);
// Reads the program whole into play.source, names it (play.name, .stem)
// and opens it for the lexer. 1 when it opened; 0 when the file cannot be
// read, errno saying why; -1 for a PNG that carries no readable program,
// what is wrong in `error`.
int play_program_open(mlex_file* source, std::string& error);

// watch.cpp: starting again when the source is saved, also while the
// program loops without refreshing or waits at a console read.
// False, with a note on standard error, when the folder cannot be watched.
bool play_watch_start(const char* path);
