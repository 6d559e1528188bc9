// zorvik-play [options] PROGRAM.zvs: the command line, then the machine's
// set-up as the shell does it, with the player's window, keys and watch.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "display.h"
#include "framerate.h"
#include "halt.h"
#include "lex.h"
#include "play.h"
#include "services.h"

struct play_options {
    const char* program = nullptr;
    int scale = 0;  // 0: as large as fits the screen
    int fps = 60;
    bool full_speed = false;
    bool reload = true;
    bool exit_on_end = false;
    bool seed_given = false;
    unsigned seed = 0;
};

static void play_usage(FILE* out)
{
    fprintf(out,
            "usage: zorvik-play [options] PROGRAM.zvs|SHOT.png\n"
            "  (a PNG that zorvik-capture, zorvik-play or the page wrote plays the program it carries)\n"
            "  --scale N      enlarge the window N times, 1 to 8 (default: as large as fits the screen)\n"
            "  --fps N        frames a second, 1 to 1000 (default 60)\n"
            "  --full-speed   frames do not wait: the program runs as fast as it can\n"
            "  --no-reload    saving the program does not start it again\n"
            "  --exit-on-end  the player ends when the program ends, as zorvik does\n"
            "  --seed N       seed the random numbers of every run with N, 0 to 4294967295\n"
            "                 (default: the clock's time at each start)\n"
            "The player's keys, which the program never sees:\n");
    play_keys_list(out, "  ");
}

[[noreturn]] static void play_fail(const std::string& message)
{
    fprintf(stderr, "zorvik-play: %s\n", message.c_str());
    exit(2);
}

static int play_number(const std::string& name, const char* text, int low, int high)
{
    char* end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (!*text || *end || errno || v < low || v > high)
        play_fail(std::string("bad value '") + text + "' for " + name + ": a whole number from " +
                  std::to_string(low) + " to " + std::to_string(high) + " is needed");
    return (int)v;
}

static unsigned play_seed(const char* text)
{
    char* end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(text, &end, 10);
    if (!*text || *text == '-' || *end || errno || v > UINT32_MAX)
        play_fail(std::string("bad value '") + text + "' for --seed: a whole number from 0 to 4294967295 is needed");
    return (unsigned)v;
}

// Options may stand anywhere; a value follows its option or is written
// --name=VALUE.
static play_options play_read_options(int argc, char** argv)
{
    play_options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help") {
            play_usage(stdout);
            exit(0);
        }
        if (a == "--full-speed") {
            o.full_speed = true;
            continue;
        }
        if (a == "--no-reload") {
            o.reload = false;
            continue;
        }
        if (a == "--exit-on-end") {
            o.exit_on_end = true;
            continue;
        }
        if (a.size() < 2 || a[0] != '-') {
            if (o.program)
                play_fail("one PROGRAM only (--help lists the options)");
            o.program = argv[i];
            continue;
        }
        size_t eq = a.find('=');
        std::string name = a.substr(0, eq);
        if (name != "--scale" && name != "--fps" && name != "--seed")
            play_fail("unknown option '" + a + "' (--help lists them)");
        const char* value = eq != std::string::npos ? argv[i] + eq + 1 : (i + 1 < argc ? argv[++i] : nullptr);
        if (!value)
            play_fail("the value of " + name + " is missing (--help lists the options)");
        if (name == "--scale")
            o.scale = play_number(name, value, 1, 8);
        else if (name == "--seed")
            o.seed = play_seed(value), o.seed_given = true;
        else
            o.fps = play_number(name, value, 1, 1000);
    }
    if (!o.program)
        play_fail("no PROGRAM.zvs to play (--help lists the options)");
    return o;
}

int main(int argc, char** argv)
{
    play_options o = play_read_options(argc, argv);
    mlex_file source{};
    play.program = o.program;
    play.from_png = play_program_is_png(o.program);
    std::string error;
    int opened = play_program_open(&source, error);
    if (opened == 0)
        play_fail(std::string("cannot open source file '") + o.program + "': " + strerror(errno));
    if (opened < 0)
        play_fail(std::string("cannot play '") + o.program + "': " + error);
    // Played unseen, a program could be neither watched nor ended from its
    // window; SDL_VIDEODRIVER=dummy asks for that on purpose.
    if (display_none_found()) {
        fprintf(stderr, "zorvik-play: no display (DISPLAY is not set), and the player needs a window\n");
        return 1;
    }
    play.exit_on_end = o.exit_on_end;
    framerate_fps = o.fps;
    framerate_full_speed = o.full_speed;
    play_console_install();

    play.seed_given = o.seed_given;
    play.seed = o.seed;
    set_callback(calls);
    play_window_install(o.scale);
    halt_install();
    front = display_start();
    halt_install();  // SDL's own handlers would only queue a quit event
    display_shown_hook = play_shown;
    play.watching = o.reload && play_watch_start(o.program);

    int status = play_run(&source);
    play_record_finish();
    do_quit();
    return status;
}
