// The keys' names: the machine numbers its key-state cells by SDL 1.2's key
// symbols (layout.h), and front ends name a cell's key as SDL 1.2 does.
#pragma once
#include <string>

// SDL 1.2's name of the key with symbol `symbol`, as SDL_GetKeyName gives
// it once SDL's video is up; empty for a symbol that names no key.
std::string key_name(int symbol);
