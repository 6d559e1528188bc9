// Times going back over a whole history: the counting loop runs recorded
// under the debugger's session, then reverse-continue undoes the last
// 1,000,000 statements.
//   zorvik_bench_reverse PROGRAM
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "SDL.h"
#include "debugger.h"
#include "display.h"
#include "services.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: zorvik_bench_reverse PROGRAM\n");
        return 2;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    set_callback(calls);
    SDL_Init(SDL_INIT_VIDEO);
    front = display_open_window();
    dbg_out = fopen("/dev/null", "w");
    if (!dbg_load(argv[1]))
        return 1;
    history_start(1000000);
    dbg_restart();
    dbg_move(MOTION_CONTINUE);
    size_t entries = history_info().entries;
    auto start = std::chrono::steady_clock::now();
    dbg_stop stop = dbg_reverse(MOTION_CONTINUE);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("reverse-continue over %zu recorded statements: %.3f s (%s)\n", entries, seconds, stop.reason.c_str());
    do_quit();
    return 0;
}
