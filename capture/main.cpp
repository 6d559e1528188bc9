// zorvik-capture [options] SOURCE OUT.png|OUT.gif: runs SOURCE as the
// machine would, on a 480 by 272 32-bit display in memory, and writes what
// its refreshes showed.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capture.h"
#include "display.h"
#include "halt.h"
#include "lex.h"
#include "main.h"
#include "parse.h"
#include "services.h"

struct capture_options {
    const char* source = nullptr;
    const char* out = nullptr;
    bool gif = false;
    long long frame = 0;       // --frame: the PNG's frame, 1-based; 0 for the last
    long long frames = 600;    // --frames: the run ends after this many
    int fps = 30;
    long long steps = -1;      // --steps: the run's budget, -1 for none
    int scale = 1;
    std::string keys;
};

static capture_film film;
static std::vector<capture_key> script;
static capture_options options;

static void usage(FILE* out)
{
    fprintf(out,
            "usage: zorvik-capture [options] SOURCE OUT.png|OUT.gif\n"
            "  --frame N     the PNG shows shown frame N (1 is the first) rather than the last\n"
            "  --frames N    end the run after N shown frames (default 600)\n"
            "  --fps F       GIF speed in frames a second, 1 to 100 (default 30)\n"
            "  --steps N     end the run after N steps (taken branches, jumps, calls, returns, int)\n"
            "  --keys SCRIPT key events by shown frame, e.g. 10:right:down,40:right:up,90:quit\n"
            "  --scale K     enlarge by K, 1 to 8\n"
            "  --debug, --debug=gfx   run in that debug mode\n");
}

[[noreturn]] static void fail(const std::string& message)
{
    fprintf(stderr, "zorvik-capture: %s\n", message.c_str());
    exit(2);
}

static long long number_option(const char* name, const char* text, long long low, long long high)
{
    char* end = nullptr;
    errno = 0;
    long long v = text ? strtoll(text, &end, 10) : 0;
    if (!text || !*text || *end || errno || v < low || v > high)
        fail(std::string("bad value '") + (text ? text : "") + "' for " + name + ": a whole number from " +
             std::to_string(low) + " to " + std::to_string(high) + " is needed");
    return v;
}

static bool ends_with(const std::string& s, const char* tail)
{
    size_t n = strlen(tail);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, tail) == 0;
}

static void read_options(int argc, char** argv)
{
    std::vector<const char*> plain;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help") {
            usage(stdout);
            exit(0);
        }
        if (a == "--debug" || a == "--debug=gfx") {
            debug_mode = a == "--debug" ? 1 : 2;
            continue;
        }
        if (a.size() < 2 || a[0] != '-' || a[1] != '-') {
            plain.push_back(argv[i]);
            continue;
        }
        // --name VALUE or --name=VALUE
        size_t eq = a.find('=');
        std::string name = a.substr(0, eq);
        const char* value = nullptr;
        if (eq != std::string::npos)
            value = argv[i] + eq + 1;
        else if (i + 1 < argc)
            value = argv[++i];
        if (name == "--frame")
            options.frame = number_option("--frame", value, 1, LLONG_MAX);
        else if (name == "--frames")
            options.frames = number_option("--frames", value, 1, LLONG_MAX);
        else if (name == "--fps")
            options.fps = (int)number_option("--fps", value, 1, 100);
        else if (name == "--steps")
            options.steps = number_option("--steps", value, 0, LLONG_MAX);
        else if (name == "--scale")
            options.scale = (int)number_option("--scale", value, 1, 8);
        else if (name == "--keys" && value)
            options.keys = value;
        else
            fail("unknown option '" + a + "' (--help lists them)");
    }
    if (plain.size() != 2) {
        usage(stderr);
        exit(2);
    }
    options.source = plain[0];
    options.out = plain[1];
    if (ends_with(options.out, ".gif"))
        options.gif = true;
    else if (!ends_with(options.out, ".png"))
        fail(std::string("'") + options.out + "' must end in .png or .gif");
    if (options.gif && options.frame)
        fail("--frame picks the frame of a PNG; a GIF holds every frame");
}

// Each shown frame: kept, then the key events scheduled after it go into
// the queue. The run ends once the frame limit, or the PNG's frame, is reached.
static bool capture_shown(SDL_Surface* surface)
{
    if (options.frame && film.shown >= options.frame)
        return true;
    capture_add(film, surface);
    capture_play_keys(script, film.shown);
    return film.shown >= options.frames || (options.frame && film.shown == options.frame);
}

int main(int argc, char** argv)
{
    read_options(argc, argv);
    film.keep_all = options.gif;

    // The display is always the dummy driver's memory surface, at 32 bits,
    // so that a picture does not depend on the host.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    srand(1);  // the same run every time
    set_callback(calls);
    halt_install();
    SDL_Init(SDL_INIT_VIDEO);
    halt_install();
    std::string error;
    if (!options.keys.empty() && !capture_parse_keys(options.keys, script, error))
        fail(error);
    display_depth = 32;
    front = display_open_window();
    SDL_ShowCursor(SDL_DISABLE);

    mlex_file source{};
    mlex_init_file(&source, options.source);
    if (!source.stream) {
        fprintf(stderr, "zorvik: cannot open source file '%s': %s\n", options.source, strerror(errno));
        do_quit();
        return 1;
    }
    FILE* out = fopen(options.out, "wb");
    if (!out) {
        int err = errno;
        mlex_close(&source);
        do_quit();
        errno = err;
        fail(std::string("cannot write '") + options.out + "': " + strerror(errno));
    }

    capture_play_keys(script, 0);
    display_shown_hook = capture_shown;
    run_budget = options.steps;
    mlex_anaylize(&source);
    display_shown_hook = nullptr;
    do_quit();

    int status = halt_signal ? halt_status() : 0;
    if (options.frame && film.shown < options.frame) {
        fprintf(stderr, "zorvik-capture: the run showed %lld frames, so there is no frame %lld\n", film.shown,
                options.frame);
        fclose(out);
        remove(options.out);
        return 1;
    }
    if (film.frames.empty()) {
        fprintf(stderr, "zorvik-capture: the program showed no frame; '%s' is one black frame\n", options.out);
        capture_add_black(film);
    }
    bool written = options.gif ? capture_write_gif(out, film, options.fps, options.scale)
                               : capture_write_png(out, film, film.frames.back(), options.scale);
    if (fclose(out) != 0)
        written = false;
    if (!written)
        fail(std::string("cannot write '") + options.out + "'");
    return status;
}
