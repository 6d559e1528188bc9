// The machine's memory layout: its size, and the places in it that the
// screen and the services read and write. Programs may store anywhere;
// these are only where the machine itself looks.
#pragma once
#include <cstdint>

constexpr int64_t MEMORY_SIZE = 0x1000000;  // 16 MiB, addresses 0 to 0xFFFFFF

// The screen area: pixel (x, y) is the cell memory_offset + x + SCREEN_ROW * y;
// SCREEN_SIDE columns and rows of it are shown.
constexpr int memory_offset = 255;
constexpr int SCREEN_ROW = 480;
constexpr int SCREEN_SIDE = 255;

// The key-state area: the cell of the key with SDL key symbol k is
// key_offset + k, 1 while it is down. The symbols are SDL 1.2's, 0 to
// KEY_SYMBOLS - 1 (its SDLK_LAST), in the page too.
constexpr int key_offset = 65535;
constexpr int KEY_SYMBOLS = 323;

// Fixed cells read by the text services.
constexpr int TEXT_COLOR_CELL = 0x1299;    // colour of service 86 (screen pixel (186, 9))
constexpr int TEXT_X_CELL = 0xFFE13;
constexpr int TEXT_Y_CELL = 0xFFE14;
constexpr int NUMBER_COLOR_CELL = 0xFFE15;
constexpr int NUMBER_CELL = 0xFFE17;

// What the machine itself keeps at a cell, from the constants above, for
// front ends that explain an address (the language server's hovers).
// Areas overlap, so a cell may be a key's cell and a pixel at once.
struct layout_place {
    bool in_memory = false;            // 0 to MEMORY_SIZE - 1: a cell at all
    int screen_x = -1, screen_y = -1;  // its column and row in the screen area
    bool shown = false;                // in the screen area and painted by the refresh
    int key = -1;                      // the SDL key symbol whose state cell it is
    const char* fixed = nullptr;       // the name of the fixed cell it is (TEXT_X_CELL...)
    const char* holds = nullptr;       // and what the services keep there
};

layout_place layout_place_of(int64_t cell);
