// Giving way to a host that runs the program and everything else on one
// thread, such as a web page. The loop counts its loop-closing steps down
// and calls yield_slice when the count runs out (GIVE_WAY in parse.cpp);
// the host sets the count anew and decides whether the time has come to
// give way. Only the web build has this: the native loop carries no such
// step.
#pragma once
#ifdef ZORVIK_WEB
#include <cstdint>

extern int32_t yield_countdown;
void yield_slice();
#endif
