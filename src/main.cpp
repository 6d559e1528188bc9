// The program shell: reads the command line, opens the window, hands the
// source to the run driver and releases the display at the end.
#include "main.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "datadir.h"
#include "display.h"
#include "halt.h"
#include "lex.h"
#include "parse.h"
#include "random.h"
#include "services.h"

int debug_mode = 0;

// The option is recognised only right after the source path, spelled exactly.
static int read_debug_option(int argc, char** argv)
{
    if (argc != 3)
        return 0;
    if (strcmp(argv[2], "--debug") == 0)
        return 1;
    if (strcmp(argv[2], "--debug=gfx") == 0)
        return 2;
    return 0;
}

int SDL_main(int argc, char** argv)
{
    debug_mode = read_debug_option(argc, argv);
    random_seed_from_clock();
    set_callback(calls);

    halt_install();
    front = display_start();
    halt_install();  // SDL's own handlers would only queue a quit event

    // Without a program named, the one in the current folder runs, or else
    // an installed machine's own.
    std::string default_path;
    const char* path;
    if (argc == 2 || argc == 3) {
        path = argv[1];
    } else {
        debug_mode = 0;
        default_path = datadir_find("default.zvs");
        path = default_path.c_str();
    }

    int status = 0;
    mlex_file source{};
    mlex_init_file(&source, path);
    if (source.stream) {
        mlex_anaylize(&source);
    } else {
        fprintf(stderr, "zorvik: cannot open source file '%s': %s\n", path, strerror(errno));
        status = 1;
    }
    do_quit();
    // A run that a signal ended says so: the shell sees an interrupted command.
    return halt_signal ? halt_status() : status;
}
