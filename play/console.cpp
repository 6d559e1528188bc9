// The program's console through the player: standard output and standard
// input become streams that pass every byte on and keep a copy of it, so
// that a kept run holds exactly what the program wrote and what it read.
// Input is read a byte at a time, so that what was read is what the
// program took, never more that a buffer read ahead.
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "play.h"

static std::string play_output, play_input;

static ssize_t play_console_write(void*, const char* bytes, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(1, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += (size_t)n;
    }
    play_output.append(bytes, done);
    return done || !size ? (ssize_t)done : -1;
}

// A signal or a restart that interrupts the read ends it, as it ends a read
// of the plain standard input: the program's read then gives up.
static ssize_t play_console_read(void*, char* bytes, size_t size)
{
    ssize_t n = read(0, bytes, size);
    if (n > 0)
        play_input.append(bytes, (size_t)n);
    return n;
}

void play_console_install()
{
    cookie_io_functions_t out{nullptr, play_console_write, nullptr, nullptr};
    cookie_io_functions_t in{play_console_read, nullptr, nullptr, nullptr};
    FILE* output = fopencookie(nullptr, "w", out);
    FILE* input = fopencookie(nullptr, "r", in);
    if (output) {
        fflush(stdout);
        stdout = output;
    }
    // The console shows each line as it comes, also through a pipe: a
    // player's output belongs to the moment it is played.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (input) {
        setvbuf(input, nullptr, _IONBF, 0);
        stdin = input;
    }
}

void play_console_clear()
{
    fflush(stdout);
    play_output.clear();
    play_input.clear();
}

const std::string& play_console_output()
{
    return play_output;
}

const std::string& play_console_input()
{
    return play_input;
}
