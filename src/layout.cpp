// Where a cell falls in the machine's memory layout (layout.h): a front end
// asks here rather than repeat the layout's arithmetic.
#include "layout.h"

namespace {

struct layout_fixed {
    int cell;
    const char* name;
    const char* holds;
};

const layout_fixed fixed_cells[] = {
    {TEXT_COLOR_CELL, "TEXT_COLOR_CELL", "the colour of the text that service 86 draws"},
    {TEXT_X_CELL, "TEXT_X_CELL", "the x of the text that service 86 draws"},
    {TEXT_Y_CELL, "TEXT_Y_CELL", "the y of the text that service 86 draws"},
    {NUMBER_COLOR_CELL, "NUMBER_COLOR_CELL", "the colour of the number that service 88 draws"},
    {NUMBER_CELL, "NUMBER_CELL", "the number (0 to 255) that service 88 draws"},
};

// The screen area runs from its first pixel to its last shown one; the
// cells past column SCREEN_SIDE - 1 of each row are in it but never shown.
constexpr int64_t SCREEN_CELLS = (int64_t)SCREEN_ROW * (SCREEN_SIDE - 1) + SCREEN_SIDE;

}  // namespace

layout_place layout_place_of(int64_t cell)
{
    layout_place p;
    p.in_memory = cell >= 0 && cell < MEMORY_SIZE;
    if (!p.in_memory)
        return p;
    int64_t screen = cell - memory_offset;
    if (screen >= 0 && screen < SCREEN_CELLS) {
        p.screen_x = (int)(screen % SCREEN_ROW);
        p.screen_y = (int)(screen / SCREEN_ROW);
        p.shown = p.screen_x < SCREEN_SIDE;
    }
    if (cell >= key_offset && cell < key_offset + KEY_SYMBOLS)
        p.key = (int)(cell - key_offset);
    for (const layout_fixed& f : fixed_cells)
        if (f.cell == cell) {
            p.fixed = f.name;
            p.holds = f.holds;
        }
    return p;
}
