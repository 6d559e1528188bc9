// The parts that make a run the same every time it is played: the seed of
// its random numbers, its key events by shown frame (a key script, played
// as zorvik-capture plays one) and its console input. Every start of the
// run seeds the numbers again, takes the last run's key events out of the
// window's queue, plays the events before the first frame and reads the
// input from its beginning, so that `run` plays the same run again.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture.h"
#include "debugger.h"
#include "display.h"
#include "random.h"

unsigned dbg_seed = 1;
long long dbg_shown_frames = 0;
long long dbg_end_frame = 0;
std::string dbg_end_why;
std::string dbg_input_name;

static std::vector<capture_key> script;
static bool input_rewinds = false;  // the input is a file given for the run
static bool (*shown_next)(SDL_Surface* surface) = nullptr;

bool dbg_keys_read(const std::string& text, std::string& error)
{
    std::vector<capture_key> keys;
    int line = 0;
    if (!capture_parse_key_lines(text, keys, line, error)) {
        error = "line " + std::to_string(line) + ": " + error;
        return false;
    }
    script = keys;
    return true;
}

std::string dbg_keys_out_of_order()
{
    return capture_keys_out_of_order(script);
}

size_t dbg_key_count()
{
    return script.size();
}

size_t dbg_keys_played()
{
    size_t n = 0;
    for (const capture_key& k : script)
        n += k.frame <= dbg_shown_frames;
    return n;
}

void dbg_input_from_file(const std::string& name)
{
    dbg_input_name = name;
    input_rewinds = !name.empty();
}

bool dbg_input_text(const std::string& text, std::string& error)
{
    // A file of its own, so that the console reads take it as they take a
    // file, natively and in the page alike; gone once nothing reads it.
    char path[] = "/tmp/zorvik-debug-input.XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) {
        error = std::string("cannot keep the input: ") + strerror(errno);
        return false;
    }
    bool written = write(fd, text.data(), text.size()) == (ssize_t)text.size();
    close(fd);
    bool opened = written && freopen(path, "r", stdin) != nullptr;
    int why = errno;
    unlink(path);
    if (!opened) {
        error = std::string("cannot keep the input: ") + strerror(why);
        return false;
    }
    dbg_input_from_file("the launch's input text");
    return true;
}

void dbg_run_starts()
{
    random_seed(dbg_seed);
    dbg_shown_frames = 0;
    if (input_rewinds)
        rewind(stdin);
    if (!script.empty()) {
        // Keys of the last run that the program never took would be the
        // new run's first: they go, and the window's other events stay.
        std::vector<SDL_Event> kept;
        for (SDL_Event e; SDL_PollEvent(&e);)
            if (e.type != SDL_KEYDOWN && e.type != SDL_KEYUP && e.type != SDL_QUIT)
                kept.push_back(e);
        for (SDL_Event& e : kept)
            SDL_PushEvent(&e);
    }
    capture_play_keys(script, 0);
}

void dbg_frame_shown_live()
{
    dbg_shown_frames++;
    if (dbg_end_frame_reached())
        return;  // the run ends: the events of this frame would reach no one
    capture_play_keys(script, dbg_shown_frames);
}

bool dbg_end_frame_reached()
{
    return dbg_end_frame > 0 && dbg_shown_frames >= dbg_end_frame;
}

// The display's hook while replaying: the front end's own first, then the
// end of a test's run.
static bool shown_hook(SDL_Surface* surface)
{
    bool end = shown_next && shown_next(surface);
    return end || dbg_end_frame_reached();
}

void dbg_replay_install()
{
    if (display_shown_hook != shown_hook) {
        shown_next = display_shown_hook;
        display_shown_hook = shown_hook;
    }
}
