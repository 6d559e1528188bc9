// The benchmark: prints one line per figure of the machine's speed.
//   zorvik_bench ZORVIK COUNTING_ZORVIK BENCH_DIR
// ZORVIK is the release binary to time; COUNTING_ZORVIK a build of the same
// sources that counts the interpreter's passes (and reports them on standard
// error); BENCH_DIR holds the benchmark programs. The figures that need the
// machine in-process use the library this tool is linked with.
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "lex.h"
#include "display.h"
#include "parse.h"
#include "screen.h"
#include "symtab.h"

namespace {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string temp_path(const char* name)
{
    const char* dir = getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/zorvik-bench-" + std::to_string(getpid()) +
           "-" + name;
}

void write_file(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// About `tokens` tokens of subroutine library, 40 tokens to a block, each
// block with a label of its own: what stands before a program's main loop.
std::string library(int tokens)
{
    std::string out;
    char line[512];
    for (int i = 0, n = 0; n < tokens; i++, n += 40) {
        int cell = 4096 + i % 64;
        snprintf(line, sizeof line,
                 "sub%06d lda #%d\n        sta $%x\n        ldx #0\n        ldy #%d\n"
                 "        lda $%x\n        adc #1\n        sta $%x\n        cmp #10\n"
                 "        bne skip\n        inx\n        iny\n        lda #$%x\n"
                 "        and #15\n        ora #$80\n        eor #3\n"
                 "        ldm \"text %d\"   ; a comment\n        tax\n        tay\n"
                 "        clc\n        rts\n",
                 i, i % 200, cell, i % 7, cell, cell, i % 256, i % 100);
        out += line;
    }
    return out;
}

struct child_run {
    double seconds;
    double peak_mib;
    std::string err;
};

// Runs the machine on a program in a child process, standard output
// discarded; gives the elapsed time, the peak resident size and stderr.
child_run run_child(const std::string& zorvik, const std::string& program)
{
    std::string err_path = temp_path("stderr");
    // Spawned rather than forked, so the child's peak size is its own alone.
    posix_spawn_file_actions_t io;
    posix_spawn_file_actions_init(&io);
    posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&io, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    char* args[] = {(char*)zorvik.c_str(), (char*)program.c_str(), nullptr};
    double start = now();
    pid_t pid = 0;
    posix_spawn(&pid, zorvik.c_str(), &io, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&io);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    child_run r{now() - start, usage.ru_maxrss / 1024.0, ""};
    std::ifstream in(err_path);
    std::getline(in, r.err, '\0');
    unlink(err_path.c_str());
    return r;
}

double best_of(int n, const std::function<double()>& f)
{
    double best = 1e9;
    for (int i = 0; i < n; i++)
        best = std::min(best, f());
    return best;
}

// Lexes a program in-process and times its run alone.
double timed_run(const std::string& source)
{
    std::string path = temp_path("prog.zvs");
    write_file(path, source);
    mlex_file f{};
    mlex_init_file(&f, path.c_str());
    sym_init(&symbols);
    do
        mlex_gettoken(&f);
    while (cur_token.tok_type != TOK_END);
    mlex_close(&f);
    unlink(path.c_str());
    double start = now();
    parse();
    double seconds = now() - start;
    sym_free(&symbols);
    return seconds;
}

// The seconds per unit of work that make(n) does n of: n doubles until a
// run takes long enough to time, and the cost is the difference between
// that run and one of twice the work.
double cost_per_unit(const std::function<std::string(long)>& make, double enough)
{
    long n = 1;
    double t = timed_run(make(n));
    while (t < enough) {
        n *= 2;
        t = timed_run(make(n));
    }
    double t2 = timed_run(make(2 * n));
    return (t2 - t) / (double)n;
}

// The loops keep their counters at $e0 to $e3: texts that no decimal count
// can spell, since the first spelling of a number text fixes its kind.

// Counts (each 1 to 250) of four nested loops that together run about n times.
struct loop_counts {
    long inner, middle, outer, outmost;
};

loop_counts split(long n)
{
    loop_counts c{};
    c.inner = std::clamp(n, 1L, 250L);
    c.middle = std::clamp((n + c.inner - 1) / c.inner, 1L, 250L);
    c.outer = std::clamp((n + c.inner * c.middle - 1) / (c.inner * c.middle), 1L, 250L);
    long three = c.inner * c.middle * c.outer;
    c.outmost = std::clamp((n + three - 1) / three, 1L, 250L);
    return c;
}

// n passes of a tight loop whose branches go to labels after `before` tokens.
std::string branch_program(int before, long n)
{
    loop_counts c = split(n);
    std::string src = "        jmp start\n" + library(before) + "start   lda #0\n        sta $e1\n";
    char loop[768];
    snprintf(loop, sizeof loop,
             "outmost lda #0\n        sta $e0\n"
             "outer   ldx #0\nmiddle  ldy #0\ninner   iny\n        cpy #%ld\n        bne inner\n"
             "        inx\n        cpx #%ld\n        bne middle\n        lda $e0\n"
             "        adc #1\n        sta $e0\n        cmp #%ld\n        bne outer\n"
             "        lda $e1\n        adc #1\n        sta $e1\n        cmp #%ld\n"
             "        bne outmost\n        brk\n",
             c.inner, c.middle, c.outer, c.outmost);
    return src + loop;
}

// n frames: 255 x 255 pixels plotted with service 22, then a refresh.
std::string frame_program(long n)
{
    std::string src = "        jmp start\n" + library(10000) + "start   int #19\n";
    long k = std::min(n, 250L), j = std::max(1L, (n + k - 1) / k);
    char loop[640];
    snprintf(loop, sizeof loop,
             "        lda #0\n        sta $e2\nagain   lda #0\n        sta $e3\n"
             "frame   lda $e3\n        ldy #0\nrow     ldx #0\ncol     int #22\n"
             "        inx\n        cpx #255\n        bne col\n        iny\n        cpy #255\n"
             "        bne row\n        int #21\n        lda $e3\n        adc #1\n        sta $e3\n"
             "        cmp #%ld\n        bne frame\n        lda $e2\n        adc #1\n"
             "        sta $e2\n        cmp #%ld\n        bne again\n        brk\n",
             k, j);
    return src + loop;
}

// Refreshes per second of the screen area on a surface of `depth` bits.
double refreshes_per_second(int depth)
{
    SDL_Init(SDL_INIT_VIDEO);
    front = SDL_SetVideoMode(480, 272, depth, SDL_SWSURFACE);
    if (!front)
        return 0;
    for (int y = 0; y < SCREEN_SIDE; y++)
        for (int x = 0; x < SCREEN_SIDE; x++)
            _reg.memory[memory_offset + x + SCREEN_ROW * y] = (uint8_t)(x * 7 + y);
    int n = 0;
    double start = now(), t = 0;
    while ((t = now() - start) < 0.5) {
        screen_refresh();
        n++;
    }
    front = nullptr;
    SDL_Quit();
    return n / t;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: zorvik_bench ZORVIK COUNTING_ZORVIK BENCH_DIR\n");
        return 2;
    }
    std::string zorvik = argv[1], counting = argv[2], dir = argv[3];
    setenv("SDL_VIDEODRIVER", "dummy", 1);

    std::string big = temp_path("big.zvs");
    write_file(big, "        jmp main\n" + library(1000000) + "main    brk\n");
    // First, while this process is small: a child's peak size counts the
    // parent's peak too, as the parent was when the child started.
    child_run best{1e9, 0, ""};
    for (int i = 0; i < 3; i++) {
        child_run r = run_child(zorvik, big);
        if (r.seconds < best.seconds)
            best = r;
    }
    printf("lex, run and free 1,000,000 tokens: %.3f s, peak resident size %.1f MiB\n",
           best.seconds, best.peak_mib);
    unlink(big.c_str());

    // Instructions per second: passes counted by the counting build, time
    // taken by the release build less the time of an empty program.
    std::string empty = temp_path("empty.zvs");
    write_file(empty, "brk\n");
    std::string count = dir + "/count.zvs";
    // The count stands on a line of its own, wherever notes put it.
    std::string counted = "\n" + run_child(counting, count).err;
    size_t at = counted.find("\npasses: ");
    double passes = at == std::string::npos ? 0 : strtod(counted.c_str() + at + strlen("\npasses: "), nullptr);
    if (passes <= 0) {
        fprintf(stderr, "zorvik_bench: the counting build reported no passes; it said:\n%s", counted.c_str() + 1);
        return 1;
    }
    double base = best_of(3, [&] { return run_child(zorvik, empty).seconds; });
    double busy = best_of(3, [&] { return run_child(zorvik, count).seconds; });
    printf("counting loop (inx, cpx, bne): %.0f million instructions per second\n",
           passes / (busy - base) / 1e6);
    fflush(stdout);

    double near = cost_per_unit([](long n) { return branch_program(0, n); }, 0.1);
    double far = cost_per_unit([](long n) { return branch_program(1000000, n); }, 0.1);
    printf("taken branch to a label after 1,000,000 tokens: %.2f times the cost of one at the "
           "start (%.1f ns and %.1f ns a loop pass)\n",
           far / near, far * 1e9, near * 1e9);
    fflush(stdout);

    double frame = cost_per_unit(frame_program, 0.2);
    printf("plot-and-refresh loop after 10,000 tokens: %.1f frames per second\n", 1 / frame);
    fflush(stdout);

    printf("screen refresh: %.0f per second on a 32-bit surface, %.0f on an 8-bit one\n",
           refreshes_per_second(32), refreshes_per_second(8));
    fflush(stdout);

    unlink(empty.c_str());
    return 0;
}
