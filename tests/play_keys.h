// Key events for the player's tests, handed over as its window hands them.
#pragma once
#include "SDL.h"

// Pushes a key event that the player's filter lets through to the queue.
void play_test_key(SDLKey key, Uint8 type);
