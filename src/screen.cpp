// The screen area and the palette.
#include "screen.h"

uint32_t trans_color(int)
{
    return 0;
}

void screen_refresh()
{
}
