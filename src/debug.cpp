// What the debug modes show: the trace line of every pass, the register
// dump, the memory map, the step pause at nop and the register overlay.
#include "debug.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "halt.h"
#include "display.h"
#include "main.h"
#include "mxfont.h"
#include "machine.h"
#include "symtab.h"

static const char DEBUG_RULE[] = "*********************************************************";
static const char DEBUG_PROMPT[] = "Press any key to continue . . . ";

// The overlay shows at most this many bytes of the token text: token texts
// may be up to 1023 bytes, far more than the overlay's corner can hold.
constexpr int DEBUG_OVERLAY_TEXT = 32;
// Where the overlay sits and the box it clears first.
constexpr int DEBUG_BOX_X = 260;
constexpr int DEBUG_BOX_Y = 100;
constexpr int DEBUG_BOX_SIDE = 50;

void dump_reg()
{
    printf("%s\n", DEBUG_RULE);
    printf("REGISTERS:\n");
    printf("Address Mode = %x Accumulator (Dec/Hex) = %d/%x\n", (unsigned)_reg.mode, _reg.A,
           (unsigned)_reg.A & 0xffu);
    printf("X = %x, Y = %x\n", _reg.X, _reg.Y);
    printf("flags={");
    for (int i = 0; i < 8; i++)
        printf("%x%s ", _reg.flags[i], i < 7 ? "," : "");
    printf("}");
    printf("\n%s\n", DEBUG_RULE);
}

// Lists the non-zero bytes of one 8-byte word, lowest address first.
static void debug_memory_word(int64_t base)
{
    for (int64_t i = base; i < base + 8; i++)
        if (_reg.memory[i])
            printf("\nmemory @ %x = %x\n", (unsigned)i, _reg.memory[i]);
}

// Every address from 0 up to and including the last byte of memory. Most of
// the 16 MiB is zero after a run, so a word that is all zero is passed over
// in one test; the listing is the same as a byte-by-byte scan's.
void dump_memory()
{
    printf("MEMORY MAP:\n");
    static_assert(MEMORY_SIZE % 8 == 0, "memory is scanned in whole words");
    for (int64_t base = 0; base < MEMORY_SIZE; base += 8) {
#ifdef ZORVIK_FUZZ
        // A page that no write touched is zero.
        if (!mem_touched[base >> MEMORY_PAGE_BITS]) {
            base += (1 << MEMORY_PAGE_BITS) - 8;
            continue;
        }
#endif
        uint64_t word;
        memcpy(&word, &_reg.memory[base], sizeof word);
        if (word)
            debug_memory_word(base);
    }
}

void trace_instruction(token_cell* cell)
{
    if (cell)
        printf("Instruction [%s] \n", cell->tok->lexeme);
}

static void debug_write(int fd, const char* text)
{
    size_t left = strlen(text);
    while (left > 0) {
        ssize_t n = write(fd, text, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text += n;
        left -= (size_t)n;
    }
}

// Reads one byte from the terminal; end of input or an error counts as the
// key, so a hung-up terminal never stalls the run, and so does a signal
// that ends the run.
static int debug_read_key(int fd)
{
    unsigned char c = 0;
    if (!halt_wait_readable(fd))
        return -1;
    ssize_t n;
    do {
        n = read(fd, &c, 1);
    } while (n < 0 && errno == EINTR && !halt_signal);
    return n == 1 ? c : -1;
}

// Waits for one key on the terminal. Raw mode makes the key count without
// Enter and without echo; the interrupt key is read like any other and
// raised only after the terminal has been restored, so an interrupt at the
// pause never leaves the terminal raw.
static void debug_wait_key(int fd)
{
    termios saved;
    bool is_term = tcgetattr(fd, &saved) == 0;
    if (is_term) {
        termios raw = saved;
        cfmakeraw(&raw);
        raw.c_oflag = saved.c_oflag;  // keep output processing for the prompt
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &raw);
    }
    debug_write(fd, DEBUG_PROMPT);
    int key = debug_read_key(fd);
    if (!is_term)
        return;
    tcsetattr(fd, TCSANOW, &saved);
    debug_write(fd, "\n");
    if ((saved.c_lflag & ISIG) && saved.c_cc[VINTR] != _POSIX_VDISABLE && key == saved.c_cc[VINTR])
        raise(SIGINT);
}

// The pause talks to the controlling terminal only: standard input belongs
// to the program's own console input and standard output to its results.
// Without a terminal there is nobody to press a key, so the run goes on.
void step_pause()
{
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    fflush(stdout);  // the register dump comes before the prompt on a shared screen
    debug_wait_key(fd);
    close(fd);
}

void draw_debug(SDL_Surface* surface)
{
    if (active != 1 || debug_mode != 2 || !surface)
        return;
    SDL_Rect box = {DEBUG_BOX_X, DEBUG_BOX_Y, DEBUG_BOX_SIDE, DEBUG_BOX_SIDE};
    SDL_FillRect(surface, &box, 0);
    // Past the end of the list there is no instruction to show.
    const char* text = lst ? lst->tok->lexeme : "";
    char line[128];
    snprintf(line, sizeof line, "X = %x , Y = %x , A = %x\n Instruction: %.*s ", _reg.X, _reg.Y,
             (unsigned)_reg.A, DEBUG_OVERLAY_TEXT, text);
    SDL_PrintText(surface, the_font, DEBUG_BOX_X, DEBUG_BOX_Y,
                  SDL_MapRGB(surface->format, 255, 255, 255), line);
}
