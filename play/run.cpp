// The runs of the program: the first, and one after each restart key or
// save. A restart stops the running machine as a halting signal does
// (halt.h): halt_signal holds PLAY_STOP_SIGNAL, which the interpreter sees
// at its next loop-closing step, and standard input points at /dev/null so
// that a console read returns at once. The window, the display and the
// player's state stay; the program starts from its first statement.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "display.h"
#include "halt.h"
#include "lex.h"
#include "play.h"
#include "random.h"

play_state play;
volatile sig_atomic_t play_again = PLAY_AGAIN_NONE;
// 1 while the machine runs the program: a restart then stops it as a
// signal does, with PLAY_STOP_SIGNAL standing in for the signal.
static volatile sig_atomic_t play_running = 0;
constexpr int PLAY_STOP_SIGNAL = SIGIO;

// A save's events come in a burst (a new file, its bytes, a rename): the
// program starts again once the folder has been quiet for PLAY_QUIET, or
// after PLAY_SETTLE_MOST at the latest.
constexpr double PLAY_QUIET = 0.1;
constexpr double PLAY_SETTLE_MOST = 0.4;

// The program's standard input, kept aside while a stop points it elsewhere.
static int play_input_copy = -1;

void play_restart(int why)
{
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);  // a halting signal wins over the stop, never the other way
    if (why > play_again)
        play_again = why;
    if (play_running && !halt_signal) {
        halt_signal = PLAY_STOP_SIGNAL;
        int null_fd = play_input_copy >= 0 ? open("/dev/null", O_RDONLY) : -1;
        if (null_fd >= 0) {
            dup2(null_fd, 0);
            close(null_fd);
        }
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

bool play_halted()
{
    return halt_signal && halt_signal != PLAY_STOP_SIGNAL;
}

// Gives the program back its standard input after a stop.
static void play_input_restore()
{
    if (play_input_copy >= 0)
        dup2(play_input_copy, 0);
    clearerr(stdin);
}

// Waits until the folder has been quiet; false when the player is to end.
static bool play_settle()
{
    for (double waited = 0; waited < PLAY_SETTLE_MOST; waited += PLAY_QUIET) {
        play_again = PLAY_AGAIN_NONE;
        if (!play_idle(PLAY_QUIET))
            return false;
        if (play_again != PLAY_AGAIN_SAVED)
            break;
    }
    return true;
}

// The window of a new run, or of the wait after one: reopened when the
// program closed the display, titled `state` (null while the program runs).
static void play_window_back(const char* state)
{
    if (!front) {
        front = display_start();
        halt_install();
    }
    play_window_title(state);
}

// A run starts as in a new window: the display service not yet called and
// the picture black. A program that closed the display gets it back.
static void play_fresh_window()
{
    active = 0;
    play.paused = false;
    play.step = 0;
    bool open = front != nullptr;
    play_window_back(nullptr);
    if (open) {
        SDL_FillRect(front, nullptr, 0);
        display_show();
    }
}

// Waits with the window drawn and the keys read until a save or a key asks
// for a new run; false when the player is to end meanwhile.
static bool play_await()
{
    while (!play_again)
        if (!play_idle(PLAY_QUIET))
            return false;
    return true;
}

// Opens the source for the next run, waiting for a save while it cannot be
// read: an editor may have taken it away for a moment, or it was deleted
// or renamed away and is awaited back. False when the player is to end
// meanwhile.
static bool play_reopen(mlex_file* source)
{
    for (;;) {
        bool saved = play_again == PLAY_AGAIN_SAVED;
        if (saved && !play_settle())
            return false;
        // Saves from here on start the next run again.
        play_again = PLAY_AGAIN_NONE;
        std::string error;
        int opened = play_program_open(source, error);
        if (opened > 0) {
            if (saved)
                fprintf(stderr, "zorvik-play: %s changed; starting again\n", play.program.c_str());
            return true;
        }
        const char* name = play.program.c_str();
        if (opened < 0)
            fprintf(stderr, "zorvik-play: cannot play '%s': %s; %s\n", name, error.c_str(),
                    play.watching ? "waiting for it to be saved" : "F5 tries again");
        else if (errno == ENOENT)
            fprintf(stderr, "zorvik-play: %s is gone (deleted or renamed); %s\n", name,
                    play.watching ? "waiting for it to come back" : "F5 looks for it again");
        else
            fprintf(stderr, "zorvik-play: cannot open source file '%s': %s; %s\n", name, strerror(errno),
                    play.watching ? "waiting for it to be saved" : "F5 tries again");
        play_window_title(("waiting for " + play.program).c_str());
        if (!play_await())
            return false;
    }
}

// The status the player ends with, as zorvik's for the same run.
static int play_status()
{
    return halt_signal ? halt_status() : 0;
}

// The run ended by itself (its last statement, brk, a source with nothing
// to run): the window keeps the last frame and the title and standard
// error say so, until a save or F5 starts it again.
static void play_keep_ended()
{
    if (play_halted() || play_closed())
        return;
    play_window_back((play.program + " ended").c_str());
    fprintf(stderr, "zorvik-play: %s ended with status %d; %s starts it again\n", play.program.c_str(),
            play_status(), play.watching ? "saving the program or F5" : "F5");
    play_await();
}

int play_run(mlex_file* source)
{
    play_input_copy = fcntl(0, F_DUPFD_CLOEXEC, 3);
    for (;;) {
        // Each run is seeded afresh, so that its random numbers follow from
        // the seed it is kept with.
        if (!play.seed_given)
            play.seed = (unsigned)time(nullptr);
        random_seed(play.seed);
        play_keep_start();
        play_running = 1;
        if (play_again)
            play_restart(play_again);  // saved between the opening and now
        mlex_anaylize(source);
        play_running = 0;
        fflush(stdout);
        if (halt_signal == PLAY_STOP_SIGNAL)
            halt_signal = 0;
        play_input_restore();
        if (!play_again && !play.exit_on_end)
            play_keep_ended();
        if (!play_again || play_halted() || play_closed())
            break;
        if (!play_reopen(source))
            break;
        play_fresh_window();
    }
    return play_status();
}
