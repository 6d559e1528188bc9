// The platform entry. SDL 1.2 does not redirect main on this platform, so the
// program's own entry is called directly.
#include "main.h"

int main(int argc, char** argv)
{
    return SDL_main(argc, argv);
}
