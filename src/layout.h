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
// key_offset + k, 1 while it is down.
constexpr int key_offset = 65535;

// Fixed cells read by the text services.
constexpr int TEXT_COLOR_CELL = 0x1299;    // colour of service 86 (screen pixel (186, 9))
constexpr int TEXT_X_CELL = 0xFFE13;
constexpr int TEXT_Y_CELL = 0xFFE14;
constexpr int NUMBER_COLOR_CELL = 0xFFE15;
constexpr int NUMBER_CELL = 0xFFE17;
