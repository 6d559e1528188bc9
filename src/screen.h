// The memory-mapped screen area and its 64-colour palette.
#pragma once
#include <cstdint>

constexpr int memory_offset = 255;  // memory index of pixel (0, 0)
constexpr int SCREEN_ROW = 480;     // cells between two rows of the screen area
constexpr int SCREEN_SIDE = 255;    // columns and rows shown

uint32_t trans_color(int byte);
void screen_refresh();
