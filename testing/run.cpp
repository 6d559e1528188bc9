// One test's run, in its own process: the program on a display in memory
// as zorvik-capture runs it (the same limits, key scripts and seed), its
// standard input from NAME.in and its standard output kept, then checked
// against NAME.out and NAME.png.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture.h"
#include "datadir.h"
#include "display.h"
#include "halt.h"
#include "lex.h"
#include "main.h"
#include "parse.h"
#include "profile.h"
#include "random.h"
#include "services.h"
#include "symtab.h"
#include "ztest.h"

namespace fs = std::filesystem;

static capture_film film;
static std::vector<capture_key> script;
static long long frame_limit;
static bool frame_limit_reached = false;
static long long stop_frame;  // the shown frame the run ends after on purpose, or 0
static long long keys_played = 0;  // the last frame whose key events went into the queue
static profile call_tree;  // the subroutines a counting run entered

static bool read_text(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

static bool write_text(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return (bool)out.flush();
}

// NAME.keys: a key file as capture reads one.
static bool read_keys(const ztest_case& c, ztest_result& r)
{
    if (!c.has_keys)
        return true;
    std::string path = c.name + ".keys", text, error;
    if (!read_text(path, text)) {
        r.summary = path + ": cannot be read: " + strerror(errno);
        return false;
    }
    int line = 0;
    if (!capture_parse_key_lines(text, script, line, error)) {
        r.summary = path + ":" + std::to_string(line) + ": " + error;
        return false;
    }
    std::string order = capture_keys_out_of_order(script);
    if (!order.empty())
        r.details += path + ": " + order + "; each event plays at its own frame\n";
    return true;
}

// Each shown frame is kept; the run ends after the frame it is to stop at,
// or at the frame limit, else the script's key events for the frame go in.
static bool test_shown(SDL_Surface* surface)
{
    capture_add(film, surface);
    if (film.shown == stop_frame)
        return true;
    if (film.shown >= frame_limit) {
        frame_limit_reached = true;
        return true;
    }
    capture_play_keys(script, film.shown);
    keys_played = film.shown;
    return false;
}

static void profile_call(token_cell* at, int depth)
{
    profile_step(call_tree, at->number, depth, run_statements);
}

// The run's standard input comes from NAME.in, or is empty; its standard
// output goes to a file that is read back. Returns the saved descriptor of
// standard output, or -1.
static int redirect(const ztest_case& c, FILE*& kept)
{
    int in = open(c.has_in ? (c.name + ".in").c_str() : "/dev/null", O_RDONLY);
    if (in < 0 || dup2(in, 0) < 0)
        return -1;
    close(in);
    kept = tmpfile();
    fflush(stdout);
    int saved = dup(1);
    if (!kept || saved < 0 || dup2(fileno(kept), 1) < 0)
        return -1;
    return saved;
}

static std::string take_output(FILE* kept, int saved)
{
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string out;
    rewind(kept);
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, kept)) > 0;)
        out.append(buffer, n);
    fclose(kept);
    return out;
}

// A run in debug mode writes its listing into the folder it runs in: each
// test runs in a scratch folder of its own, and finds the font and the icon
// as if it ran in the folder zorvik-test was started from.
static std::string enter_scratch()
{
    char pattern[] = "/tmp/zorvik-test.XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir)
        return "";
    std::error_code error;
    datadir_set_home(fs::current_path(error).string());
    if (chdir(dir) != 0)
        return "";
    return dir;
}

static std::string absolute(const std::string& path)
{
    std::error_code error;
    fs::path p = fs::absolute(path, error);
    return error ? path : p.lexically_normal().string();
}

// Which limit ended the run, if one did.
static std::string limit_reached(const ztest_case& c)
{
    std::string shown = std::to_string(film.shown) + (film.shown == 1 ? " shown frame" : " shown frames");
    if (frame_limit_reached)
        return "the run reached the frame limit (frames = " + std::to_string(c.frames) + ")";
    if (halt_signal == SIGALRM) {
        char s[64];
        snprintf(s, sizeof s, "%g", c.seconds);
        return "the run reached the time limit (seconds = " + std::string(s) + ") after " + shown;
    }
    if (run_budget_spent)
        return "the run reached the step limit (steps = " + std::to_string(c.steps) + ") after " + shown;
    return "";
}

static void fail(ztest_result& r, const std::string& why)
{
    r.verdict = VERDICT_FAIL;
    if (!r.summary.empty())
        r.summary += "; ";
    r.summary += why;
}

// The last shown frame as RGB; a black one when the run showed none.
static std::vector<uint32_t> last_frame()
{
    if (film.frames.empty())
        capture_add_black(film);
    std::vector<uint32_t> rgb(film.frames.back().pixels.size());
    for (size_t i = 0; i < rgb.size(); i++)
        rgb[i] = film.colors[film.frames.back().pixels[i]];
    return rgb;
}

// Output and frame against the expectation files, or written to them.
static void check(const ztest_case& c, const ztest_options& options, const std::string& out, ztest_result& r)
{
    bool write_out = options.update == UPDATE_ALL || (options.update == UPDATE_EXISTING && c.has_out);
    bool write_png = options.update == UPDATE_ALL || (options.update == UPDATE_EXISTING && c.has_png);
    std::string updated;
    if (write_out) {
        std::string old;
        if (!(read_text(c.name + ".out", old) && old == out)) {
            if (!write_text(c.name + ".out", out))
                fail(r, "cannot write " + c.name + ".out");
            updated += " " + c.name + ".out";
        }
    } else if (c.has_out) {
        std::string expected;
        if (!read_text(c.name + ".out", expected)) {
            fail(r, c.name + ".out cannot be read");
        } else if (expected != out) {
            fail(r, "the output differs from " + c.name + ".out");
            r.details += ztest_diff(expected, out, c.name + ".out");
        }
    }
    std::vector<uint32_t> rgb = last_frame();
    if (write_png) {
        ztest_result probe;
        if (!c.has_png || !ztest_compare_frame(c, rgb, "", probe)) {
            FILE* f = fopen((c.name + ".png").c_str(), "wb");
            bool written = f && capture_write_png(f, film, film.frames.back(), 1);
            if (f && fclose(f) != 0)
                written = false;
            if (!written)
                fail(r, "cannot write " + c.name + ".png");
            updated += " " + c.name + ".png";
        }
    } else if (c.has_png && !ztest_compare_frame(c, rgb, options.artifacts, r)) {
        r.verdict = VERDICT_FAIL;
    }
    if (!updated.empty() && r.verdict == VERDICT_PASS)
        r.summary = "updated" + updated;
}

ztest_result ztest_run(const ztest_case& c, const ztest_options& options)
{
    auto began = std::chrono::steady_clock::now();
    ztest_result r;
    std::string source = absolute(c.program), text;
    if (!c.error.empty()) {
        r.verdict = VERDICT_BAD;
        r.summary = c.error;
        return r;
    }
    if (!read_text(source, text)) {
        r.verdict = VERDICT_BAD;
        r.summary = c.program + ": cannot be read: " + strerror(errno);
        return r;
    }
    std::string origin = absolute(".");
    bool profiling = !options.profile.empty() || !options.flame_graph.empty() || options.profile_table;
    bool counting = !options.coverage.empty() || profiling;

    // The display is the dummy driver's memory surface at 32 bits, as a
    // capture's, so that a frame does not depend on the host.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    random_seed(c.seed);
    set_callback(calls);
    debug_mode = c.debug;
    display_depth = 32;
    halt_install();
    front = display_start();
    halt_install();
    SDL_ShowCursor(SDL_DISABLE);
    if (!read_keys(c, r)) {
        r.verdict = VERDICT_BAD;
        do_quit();
        return r;
    }
    FILE* kept = nullptr;
    int saved = redirect(c, kept);
    std::string scratch = enter_scratch();
    if (saved < 0) {
        r.summary = std::string("cannot set up the run's input and output: ") + strerror(errno);
        do_quit();
        return r;
    }

    film.keep_all = false;
    frame_limit = c.frames;
    stop_frame = c.stop_after_frame;
    capture_play_keys(script, 0);
    display_shown_hook = test_shown;
    run_budget = c.steps;
    run_counting = counting;
    profile_start(call_tree);
    if (profiling)
        run_call_hook = profile_call;  // coverage alone follows no calls
    halt_after(c.seconds);
    std::vector<lex_note> notes = mlex_source(text);
    mlex_run_lexed();
    halt_after(0);
    run_call_hook = nullptr;
    display_shown_hook = nullptr;
    std::string out = take_output(kept, saved);
    do_quit();
    std::error_code ignored;
    if (chdir(origin.c_str()) == 0 && !scratch.empty())
        fs::remove_all(scratch, ignored);

    r.verdict = VERDICT_PASS;
    std::string limit = limit_reached(c);
    int status = halt_signal && halt_signal != SIGALRM ? halt_status() : 0;
    if (!limit.empty())
        fail(r, limit);
    else if (c.stop_after_frame && film.shown < c.stop_after_frame)
        fail(r, "the run ended after " + std::to_string(film.shown) + (film.shown == 1 ? " shown frame" : " shown frames") +
                    ", before the frame it was to stop after (stop-after-frame = " +
                    std::to_string(c.stop_after_frame) + ")");
    else if (status != c.status)
        fail(r, "the run ended with status " + std::to_string(status) + ", not " + std::to_string(c.status));
    check(c, options, out, r);
    std::string unplayed = capture_unplayed_keys(script, keys_played, film.shown);
    if (!unplayed.empty())
        r.details += unplayed + "\n";
    if (counting) {
        profile_step(call_tree, 0, (int)call_tree.path.size() - 1, run_statements);
        std::vector<std::string> names;
        for (token_cell* cell = symbols.head; cell; cell = cell->next_cell)
            names.push_back(cell->tok->lexeme);
        profile_folded folded;
        profile_fold(call_tree, names, folded);
        r.folded = profile_folded_text(folded);
        ztest_cover(source, text, notes, r, !options.coverage.empty(), options.profile_table);
    }
    sym_free(&symbols);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return r;
}
