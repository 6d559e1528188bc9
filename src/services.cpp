// The services a program reaches with `int`: the console, random numbers,
// the display and keyboard, text drawing, memory helpers and callbacks.
// Every memory index a service forms goes through mem_read and mem_write, so
// no register or memory value can reach outside the machine's memory.
#include "services.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "halt.h"
#include "display.h"
#include "mxfont.h"
#include "machine.h"
#include "random.h"
#include "screen.h"

SDL_Event e;
callback_entry calls[] = {{fill, 0}, {nullptr, 0}};
callback_entry* callbacks = nullptr;

constexpr int WORD_LIMIT = 255;            // longest word service 2 takes at once

static uint8_t low_byte(int32_t v)
{
    return (uint8_t)v;
}

// A pen coordinate formed from a byte and A, kept inside int: such far-off
// positions are off the surface anyway.
static int pen_coordinate(long long v)
{
    return v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : (int)v);
}

// Service 1: memory[X] up to and including memory[Y].
static void service_print()
{
    for (int i = _reg.X; i <= _reg.Y; i++)
        printf("%c", mem_read(i));
}

// Service 2: one word into memory from X on, without a terminating zero; Y
// ends up just past it. A longer word leaves its rest for the next read.
static void service_read_word()
{
    char word[WORD_LIMIT + 1];
    if (scanf("%255s", word) != 1) {
        _reg.Y = _reg.X;
        return;
    }
    int length = (int)strlen(word);
    for (int i = 0; i < length; i++)
        mem_write(_reg.X + i, (unsigned char)word[i]);
    _reg.Y = (uint8_t)(_reg.X + length);
}

// Services 3 and 4: a number's low 8 bits into memory[X], 0 when none.
static void service_read_decimal()
{
    int v = 0;
    if (scanf("%d", &v) != 1)
        v = 0;
    mem_write(_reg.X, low_byte(v));
}

static void service_read_hex()
{
    unsigned v = 0;
    if (scanf("%x", &v) != 1)
        v = 0;
    mem_write(_reg.X, (uint8_t)v);
}

// Opens the window when the shell could not. Yields false when the display
// cannot be had; X tells the program.
static bool open_display()
{
    bool started = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK) >= 0;
    halt_install();
    if (!started) {
        _reg.X = 1;
        return false;
    }
    _reg.X = 0;
    front = display_open_window();
    if (!front) {
        _reg.X = 1;
        return false;
    }
    return true;
}

// Service 19: the display, then the font, which is loaded anew every time;
// the one loaded before is released first.
static void service_open_display()
{
    display_note_unseen();
    if (!front && !open_display())
        return;
    if (the_font)
        SDL_FreeFont(the_font);
    the_font = display_open_font();
    active = 1;
}

// Service 20: one event from the queue into the key-state area. Only a quit
// event ends the run, after the display has been shut down.
static int service_poll()
{
    if (active == 0)
        do_quit();
    if (!SDL_PollEvent(&e))
        return 0;
    switch (e.type) {
    case SDL_KEYDOWN:
        mem_write(key_offset + (int)e.key.keysym.sym, 1);
        return 0;
    case SDL_KEYUP:
        mem_write(key_offset + (int)e.key.keysym.sym, 0);
        return 0;
    case SDL_QUIT:
        do_quit();
        return 1;
    default:
        return 0;
    }
}

// Service 22: the screen cell of column X, row Y.
static void service_store_pixel()
{
    mem_write(memory_offset + _reg.X + SCREEN_ROW * _reg.Y, low_byte(_reg.A));
}

// Service 24: X to X + Y - 1; with Y = 0 there is no range, and A = X.
static void service_random_range()
{
    int r = random_next();
    _reg.A = _reg.Y ? _reg.X + r % _reg.Y : _reg.X;
}

// Service 25: X = 1 when key Y is down, else Y = 0.
static void service_key_test()
{
    if (mem_read(key_offset + _reg.Y) == 1)
        _reg.X = 1;
    else
        _reg.Y = 0;
}

// Service 86: the text memory[A + X] up to memory[A + Y - 1] (a zero byte
// ends it early), at the position of the fixed cells moved by A.
static void service_draw_text()
{
    if (active != 1 || !front)
        return;
    char text[256];
    int n = 0;
    for (int k = _reg.X; k < _reg.Y; k++) {
        uint8_t c = mem_read((int64_t)_reg.A + k);
        if (c == 0)
            break;
        text[n++] = (char)c;
    }
    text[n] = 0;
    uint32_t color = trans_color(mem_read(TEXT_COLOR_CELL));
    int x = pen_coordinate((long long)mem_read(TEXT_X_CELL) + _reg.A);
    int y = pen_coordinate((long long)mem_read(TEXT_Y_CELL) + _reg.A);
    SDL_PrintText(front, the_font, x, y, color, text);
}

// Service 88: the number in a fixed cell, at (X + A, Y).
static void service_draw_number()
{
    if (active != 1 || !front)
        return;
    char text[8];
    snprintf(text, sizeof text, "%d", mem_read(NUMBER_CELL));
    uint32_t color = trans_color(mem_read(NUMBER_COLOR_CELL));
    SDL_PrintText(front, the_font, pen_coordinate((long long)_reg.X + _reg.A), _reg.Y, color,
                  text);
}

// Service 87: the callback registered under the key X, if any.
static void service_callback()
{
    callback_entry* entry = get_callback(_reg.X);
    if (entry)
        entry->function();
}

int do_interupt(int service)
{
    switch (service) {
    case 1: service_print(); break;
    case 2: service_read_word(); break;
    case 3: service_read_decimal(); break;
    case 4: service_read_hex(); break;
    case 19: service_open_display(); break;
    case 20: return service_poll();
    case 21: return screen_refresh();
    case 22: service_store_pixel(); break;
    case 23: _reg.A = random_next() % 255; break;
    case 24: service_random_range(); break;
    case 25: service_key_test(); break;
    case 32: return screen_refresh();
    case 86: service_draw_text(); break;
    case 87: service_callback(); break;
    case 88: service_draw_number(); break;
    case 256: _reg.A = mem_read(_reg.A); break;
    case 257: mem_write(_reg.X + _reg.Y, low_byte(_reg.A)); break;
    // Z = 0 means equal, as after a compare, so a beq follows a cell of 15.
    case SERVICE_TEST_INDEXED: _reg.flags[FLAG_Z] = mem_read(_reg.X + _reg.Y) == 15 ? 0 : 1; break;
    default: break;
    }
    return 0;
}

bool service_known(int service)
{
    switch (service) {
    case 1: case 2: case 3: case 4:
    case 19: case 20: case 21: case 22: case 23: case 24: case 25:
    case 32: case 86: case 87: case 88:
    case 256: case 257: case 258:
        return true;
    default:
        return false;
    }
}

void set_callback(callback_entry* table)
{
    callbacks = table;
}

callback_entry* get_callback(int key)
{
    if (!callbacks)
        return nullptr;
    for (callback_entry* row = callbacks; row->function; row++) {
        if (row->key == key)
            return row;
    }
    return nullptr;
}

// The built-in callback: clears the whole display surface; the next refresh
// shows it.
void fill()
{
    if (front)
        SDL_FillRect(front, nullptr, 0);
}
