// zorvik-capture [options] SOURCE OUT.png|OUT.gif: runs SOURCE as the
// machine would, on a 480 by 272 32-bit display in memory, and writes what
// its refreshes showed.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "capture.h"
#include "display.h"
#include "halt.h"
#include "lex.h"
#include "main.h"
#include "parse.h"
#include "random.h"
#include "services.h"

struct capture_options {
    const char* source = nullptr;
    const char* out = nullptr;
    bool gif = false;
    long long frame = 0;       // --frame: the PNG's frame, 1-based; 0 for the last
    long long frames = CAPTURE_FRAMES;  // --frames: the run ends after this many
    int fps = 30;
    long long steps = CAPTURE_STEPS;    // --steps: the run's budget of loop-closing steps
    double seconds = CAPTURE_SECONDS;   // --seconds: the run's wall-clock limit
    int scale = 1;
    std::string keys;
    unsigned seed = CAPTURE_SEED;       // --seed: the random numbers' seed
    const char* input = nullptr;        // --input: the console input's file, else standard input
    bool run_given = false;             // --keys, --seed or --input: the PNG carries the run
};

static capture_film film;
static std::vector<capture_key> script;
static capture_options options;
static long long keys_played = 0;   // the last frame whose key events went into the queue
static bool frame_limit = false;    // the run ended at --frames

static void usage(FILE* out)
{
    fprintf(out,
            "usage: zorvik-capture [options] SOURCE OUT.png|OUT.gif\n"
            "  --frame N     the PNG shows shown frame N (1 is the first) rather than the last\n"
            "  --frames N    end the run after N shown frames (default 600)\n"
            "  --fps F       GIF speed in frames a second, 1 to 100 (default 30)\n"
            "  --steps N     end the run after N steps (taken branches, jumps, calls, returns, int;\n"
            "                default 5000000000)\n"
            "  --seconds S   end the run after S seconds of running (default 30)\n"
            "  --keys SCRIPT key events by shown frame, e.g. 10:right:down,40:right:up,90:quit\n"
            "  --seed N      seed the random numbers with N, 0 to 4294967295 (default 1)\n"
            "  --input FILE  the console input comes from FILE rather than standard input\n"
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
    long long v = strtoll(text, &end, 10);
    if (!*text || *end || errno || v < low || v > high)
        fail(std::string("bad value '") + text + "' for " + name + ": a whole number from " +
             std::to_string(low) + " to " + std::to_string(high) + " is needed");
    return v;
}

static double seconds_option(const char* text)
{
    char* end = nullptr;
    errno = 0;
    double v = strtod(text, &end);
    if (!*text || *end || errno || !(v > 0) || v > 1e6)
        fail(std::string("bad value '") + text + "' for --seconds: a number of seconds above 0, up to 1000000, is needed");
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
        static const char* const valued[] = {"--frame", "--frames", "--fps", "--steps", "--seconds", "--scale", "--keys",
                                             "--seed", "--input"};
        if (std::find_if(std::begin(valued), std::end(valued), [&](const char* v) { return name == v; }) ==
            std::end(valued))
            fail("unknown option '" + a + "' (--help lists them)");
        if (!value)
            fail("the value of " + name + " is missing (--help lists the options)");
        if (name == "--frame")
            options.frame = number_option("--frame", value, 1, LLONG_MAX);
        else if (name == "--frames")
            options.frames = number_option("--frames", value, 1, LLONG_MAX);
        else if (name == "--fps")
            options.fps = (int)number_option("--fps", value, 1, 100);
        else if (name == "--steps")
            options.steps = number_option("--steps", value, 1, LLONG_MAX);
        else if (name == "--seconds")
            options.seconds = seconds_option(value);
        else if (name == "--scale")
            options.scale = (int)number_option("--scale", value, 1, 8);
        else if (name == "--seed")
            options.seed = (unsigned)number_option("--seed", value, 0, UINT32_MAX);
        else if (name == "--input")
            options.input = value;
        else
            options.keys = value;
        options.run_given = options.run_given || name == "--keys" || name == "--seed" || name == "--input";
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
// the queue. The run ends once the frame limit, or the PNG's frame, is
// reached; the events of that last frame would reach no one.
static bool capture_shown(SDL_Surface* surface)
{
    if (options.frame && film.shown >= options.frame)
        return true;
    capture_add(film, surface);
    if (options.frame && film.shown == options.frame)
        return true;
    if (film.shown >= options.frames) {
        frame_limit = true;
        return true;
    }
    capture_play_keys(script, film.shown);
    keys_played = film.shown;
    return false;
}

// Says on standard error which limit ended the run, if one did, and which
// key events of the script never went in.
static void report_end()
{
    std::string shown = std::to_string(film.shown) + (film.shown == 1 ? " shown frame" : " shown frames");
    if (frame_limit)
        fprintf(stderr, "zorvik-capture: the run reached the frame limit (--frames %lld)\n", options.frames);
    else if (halt_signal == SIGALRM)
        fprintf(stderr, "zorvik-capture: the run reached the time limit (--seconds %g) after %s\n", options.seconds,
                shown.c_str());
    else if (run_budget_spent)
        fprintf(stderr, "zorvik-capture: the run reached the step limit (--steps %lld) after %s\n", options.steps,
                shown.c_str());
    std::string unplayed = capture_unplayed_keys(script, keys_played, film.shown);
    if (!unplayed.empty())
        fprintf(stderr, "zorvik-capture: %s\n", unplayed.c_str());
}

int main(int argc, char** argv)
{
    read_options(argc, argv);
    film.keep_all = options.gif;

    // The display is always the dummy driver's memory surface, at 32 bits,
    // so that a picture does not depend on the host.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    random_seed(options.seed);  // the same run every time
    set_callback(calls);
    // SDL names the keys only once its video is started.
    display_depth = 32;
    halt_install();
    front = display_start();
    halt_install();
    std::string error;
    if (!options.keys.empty() && !capture_parse_keys(options.keys, script, error))
        fail(error);
    std::string order = capture_keys_out_of_order(script);
    if (!order.empty())
        fprintf(stderr, "zorvik-capture: %s; each event plays at its own frame\n", order.c_str());
    SDL_ShowCursor(SDL_DISABLE);

    mlex_file source{};
    mlex_init_file(&source, options.source);
    if (!source.stream) {
        fprintf(stderr, "zorvik: cannot open source file '%s': %s\n", options.source, strerror(errno));
        do_quit();
        return 1;
    }
    // What the PNG carries: the source's bytes as they are, and the run's
    // console input as the file gives it.
    pngtext_program carried;
    bool carry = !options.gif && pngtext_read_file(options.source, carried.source);
    carried.name = std::filesystem::path(options.source).filename().string();
    if (options.input) {
        if (!pngtext_read_file(options.input, carried.input) || !freopen(options.input, "rb", stdin)) {
            int err = errno;
            mlex_close(&source);
            do_quit();
            fail(std::string("cannot read input file '") + options.input + "': " + strerror(err));
        }
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
    halt_after(options.seconds);
    mlex_anaylize(&source);
    halt_after(0);
    display_shown_hook = nullptr;
    do_quit();
    report_end();

    // A limit's end is the picture that was asked for; a signal's is not.
    int status = halt_signal && halt_signal != SIGALRM ? halt_status() : 0;
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
    std::vector<pngtext_item> texts;
    if (carry) {
        carried.has_run = options.run_given;
        carried.seed = options.seed;
        carried.frame = film.shown;
        for (const capture_key& key : script)
            carried.keys += (carried.keys.empty() ? "" : ",") + key.item;
        std::string note;
        texts = pngtext_items(carried, note);
        if (!note.empty())
            fprintf(stderr, "zorvik-capture: %s\n", note.c_str());
    }
    bool written = options.gif ? capture_write_gif(out, film, options.fps, options.scale)
                               : capture_write_png(out, film, film.frames.back(), options.scale, texts);
    if (fclose(out) != 0)
        written = false;
    if (!written)
        fail(std::string("cannot write '") + options.out + "'");
    return status;
}
