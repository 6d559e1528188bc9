// zorvik-debug [options] SOURCE: the command line, the machine's set-up as
// the shell does it, and the reading of commands from a script, a terminal
// (with line editing) or standard input.
#include <editline/readline.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "capture.h"
#include "dap.h"
#include "debugger.h"
#include "display.h"
#include "framerate.h"
#include "halt.h"
#include "main.h"
#include "random.h"
#include "services.h"
#include "symtab.h"
#include "testfile.h"

namespace {

struct debug_options {
    const char* source = nullptr;
    std::vector<std::string> scripts;
    bool batch = false;
    bool record = false;
    std::string input;  // empty: none
    std::string keys;
    bool seeded = false;
    unsigned seed = 0;
    long long frames = 0;  // the run ends after this shown frame; 0: no such end
    bool dap = false;
};

void usage(FILE* out)
{
    fprintf(out,
            "usage: zorvik-debug [options] SOURCE | NAME.test\n"
            "  -x FILE        run the commands of FILE first\n"
            "  --batch        leave after the last command of the scripts\n"
            "  --input FILE   the program's console reads (services 2 to 4) read FILE\n"
            "  --keys FILE    key events by shown frame, as a key file holds them (10:right:down)\n"
            "  --seed N       the seed of the random numbers (service 23); the clock's by default\n"
            "  --frames N     the run ends after shown frame N, as a test's frame limit ends it\n"
            "  --record       keep a history from the start, for the reverse commands\n"
            "  --history N    how many statements the history keeps at least (default 1000000)\n"
            "  --dap          speak the Debug Adapter Protocol on standard input and output\n"
            "                 (the program comes with the launch request)\n"
            "NAME.test opens that test's run (its program, seed, NAME.keys and NAME.in),\n"
            "recorded, ending where the test's run ends.\n"
            "Commands are read from the terminal, or from standard input when it is none;\n"
            "'help' inside lists them.\n");
}

[[noreturn]] void fail(const std::string& message)
{
    fprintf(stderr, "zorvik-debug: %s\n", message.c_str());
    exit(2);
}

debug_options read_options(int argc, char** argv)
{
    debug_options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](const char* name) {
            if (i + 1 >= argc)
                fail(std::string("the value of ") + name + " is missing (--help lists the options)");
            return argv[++i];
        };
        if (a == "--help") {
            usage(stdout);
            exit(0);
        } else if (a == "-x") {
            o.scripts.push_back(value("-x"));
        } else if (a == "--dap") {
            o.dap = true;
        } else if (a == "--batch") {
            o.batch = true;
        } else if (a == "--record") {
            o.record = true;
        } else if (a == "--input") {
            o.input = value("--input");
        } else if (a == "--keys") {
            o.keys = value("--keys");
        } else if (a == "--seed") {
            const char* v = value("--seed");
            char* end = nullptr;
            errno = 0;
            unsigned long long n = strtoull(v, &end, 10);
            if (!*v || *v == '-' || *end || errno || n > 4294967295ull)
                fail(std::string("bad value '") + v + "' for --seed: a whole number from 0 to 4294967295 is needed");
            o.seeded = true;
            o.seed = (unsigned)n;
        } else if (a == "--frames") {
            const char* v = value("--frames");
            char* end = nullptr;
            errno = 0;
            long long n = strtoll(v, &end, 10);
            if (!*v || *end || errno || n < 1 || n > 1000000000)
                fail(std::string("bad value '") + v + "' for --frames: a whole number from 1 to 1000000000 is needed");
            o.frames = n;
        } else if (a == "--history") {
            const char* v = value("--history");
            char* end = nullptr;
            errno = 0;
            long long n = strtoll(v, &end, 10);
            if (!*v || *end || errno || n < 1 || n > 100000000)
                fail(std::string("bad value '") + v + "' for --history: a whole number from 1 to 100000000 is needed");
            history_limit = (size_t)n;
        } else if (a.size() > 1 && a[0] == '-') {
            fail("unknown option '" + a + "' (--help lists them)");
        } else if (!o.source) {
            o.source = argv[i];
        } else {
            fail("one SOURCE only (--help lists the options)");
        }
    }
    if (!o.source && !o.dap) {
        usage(stderr);
        exit(2);
    }
    return o;
}

// The machine's set-up, as the shell does it: the random numbers' seed
// (each start of the run seeds them with it), the callbacks, the signals
// and the window.
void start_machine(const debug_options& o)
{
    dbg_seed = o.seeded ? o.seed : (unsigned)time(nullptr);
    random_seed(dbg_seed);
    set_callback(calls);
    halt_keeps_input = true;
    halt_install();
    front = display_start();
    halt_install();
    display_shown_hook = framerate_shown;
    dbg_replay_install();
}

// The key file, as a test's NAME.keys is read. A file that cannot be read
// is a mistake of the command line; one with a bad item is a broken run,
// and the program opens without its key events, so that it can be looked
// at and the file mended.
void read_keys(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail("cannot read the keys '" + path + "': " + strerror(errno));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), error;
    if (!dbg_keys_read(text, error)) {
        fprintf(stderr, "zorvik-debug: %s: %s; the program opens without its key events\n", path.c_str(), error.c_str());
        return;
    }
    std::string order = dbg_keys_out_of_order();
    if (!order.empty())
        fprintf(stderr, "zorvik-debug: %s: %s; each event plays at its own frame\n", path.c_str(), order.c_str());
}

// Commands come from their own copy of standard input, so that the
// program's console reads can be given a file, or nothing, instead.
FILE* commands_in = nullptr;
bool commands_from_terminal = false;

// Waits for the next command byte, keeping the window drawn meanwhile.
void wait_for_input(int fd)
{
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) != 0 || halt_signal)
            return;
        display_redraw_exposed();
    }
}

// SIGTERM or SIGHUP: the debugger is to leave.
bool leaving()
{
    return halt_signal && halt_signal != SIGINT;
}

int command_getc(FILE* in)
{
    wait_for_input(fileno(in));
    return leaving() ? EOF : fgetc(in);
}

bool read_line(std::string& line)
{
    line.clear();
    if (commands_from_terminal) {
        char* text = readline("(zdb) ");
        if (!text)
            return false;
        line = text;
        if (*text)
            add_history(text);
        free(text);
        return true;
    }
    char buffer[4096];
    wait_for_input(fileno(commands_in));
    while (!leaving() && fgets(buffer, sizeof buffer, commands_in)) {
        line += buffer;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            return true;
        }
    }
    return !line.empty();
}

// Each command's own output follows it; a signal that ends the debugger
// ends it here.
bool run_command(const std::string& line)
{
    if (halt_signal == SIGINT)
        halt_signal = 0;
    bool more = dbg_command(line);
    fflush(stdout);
    if (leaving())
        exit(halt_status());
    return more;
}

bool ends_with(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// NAME.test: the test's run, as zorvik-test plays it, from its parts: its
// program, its seed (unless --seed names another), NAME.keys and NAME.in
// (or no input), recorded from the start, and ending after the shown frame
// where the test's run ends.
void open_test(debug_options& o, std::string& program)
{
    std::string path = o.source;
    ztest_case c = ztest_load(path.substr(0, path.size() - 5));
    if (!c.error.empty()) {
        // A broken test still opens its program, when there is one, with
        // none of the test's parts.
        std::error_code missing;
        if (!std::filesystem::is_regular_file(c.program, missing))
            fail(c.error);
        fprintf(stderr, "zorvik-debug: %s; %s opens without the test's settings, keys and input\n", c.error.c_str(),
                c.program.c_str());
        program = c.program;
        o.record = true;
        return;
    }
    // Limits of time and statements guard a run that nobody watches; here
    // the user stops a run with Ctrl-C, and the debugger's own views stand
    // for the debug outputs.
    std::vector<std::string> unused;
    if (c.debug)
        unused.push_back("debug");
    if (c.steps != CAPTURE_STEPS)
        unused.push_back("steps");
    if (c.seconds != CAPTURE_SECONDS)
        unused.push_back("seconds");
    std::string named;
    for (size_t i = 0; i < unused.size(); i++)
        named += (i == 0 ? "" : i + 1 == unused.size() ? " and " : ", ") + unused[i];
    if (!unused.empty())
        fprintf(stderr, "zorvik-debug: %s: the test's %s %s to zorvik-test's runs only; Ctrl-C stops a run here\n",
                path.c_str(), named.c_str(), unused.size() == 1 ? "applies" : "apply");
    program = c.program;
    if (c.has_keys && o.keys.empty())
        o.keys = c.name + ".keys";
    if (o.input.empty())
        o.input = c.has_in ? c.name + ".in" : "/dev/null";
    if (!o.seeded) {
        o.seeded = true;
        o.seed = c.seed;
    }
    o.record = true;
    if (c.stop_after_frame > 0 && c.stop_after_frame <= c.frames) {
        dbg_end_frame = c.stop_after_frame;
        dbg_end_why = "as the test's stop-after-frame asks";
    } else {
        dbg_end_frame = c.frames;
        dbg_end_why = "the test's frame limit (frames = " + std::to_string(c.frames) + ")";
    }
}

}  // namespace

int main(int argc, char** argv)
{
    debug_options o = read_options(argc, argv);
    std::string program = o.source ? o.source : "";
    if (o.source && ends_with(program, ".test"))
        open_test(o, program);
    if (o.frames > 0) {
        dbg_end_frame = o.frames;
        dbg_end_why = "as --frames asks";
    }
    if (o.dap) {
        start_machine(o);
        int status = dap_serve();
        do_quit();
        _exit(status);  // the reader thread may still wait on its input
    }
    int commands_fd = dup(0);
    commands_from_terminal = isatty(0);
    if (!o.input.empty() || !commands_from_terminal) {
        const char* path = o.input.empty() ? "/dev/null" : o.input.c_str();
        int fd = open(path, O_RDONLY);
        if (fd < 0)
            fail(std::string("cannot read '") + path + "': " + strerror(errno));
        dup2(fd, 0);
        close(fd);
    }
    commands_in = fdopen(commands_fd, "r");
    setvbuf(commands_in, nullptr, _IONBF, 0);  // a wait on the descriptor then sees every byte not read
    if (commands_from_terminal) {
        rl_instream = commands_in;
        rl_getc_function = command_getc;
    }

    dbg_input_from_file(o.input);
    if (!o.keys.empty())
        read_keys(o.keys);
    start_machine(o);
    if (!dbg_load(program)) {
        do_quit();
        return 1;
    }
    dbg.batch = o.batch;
    if (o.record)
        history_start(history_limit);
    dbg_restart();
    dbg_report({"start", false, false});

    bool going = true;
    for (const std::string& script : o.scripts) {
        std::ifstream in(script);
        if (!in) {
            fprintf(stderr, "zorvik-debug: cannot read the script '%s': %s\n", script.c_str(), strerror(errno));
            continue;
        }
        for (std::string line; going && std::getline(in, line);)
            going = run_command(line);
    }
    if (!o.batch)
        for (std::string line; going && read_line(line);)
            going = run_command(line);
    sym_free(&symbols);
    do_quit();
    return leaving() ? halt_status() : 0;
}
