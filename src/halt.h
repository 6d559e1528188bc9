// Ending a run from outside: SIGINT, SIGTERM and SIGHUP ask the machine to
// stop. The interpreter tests the request where every endless run must
// pass (taken branches, jsr and rts, service calls), and blocking reads
// give way to it, so a run ends within moments in every state.
#pragma once
#include <csignal>

// The signal that asked the run to end, 0 while none has.
extern volatile sig_atomic_t halt_signal;

// A driver that stops a run on SIGINT rather than ending it sets this:
// standard input then stays as it is (a blocked console read still returns,
// interrupted). SIGTERM and SIGHUP are not affected.
extern bool halt_keeps_input;

// Installs the handlers. Called before the display starts and again after
// it, so that no other handler stands in for them.
void halt_install();
// Ends the run after `seconds` of wall-clock time, as a signal would:
// halt_signal becomes SIGALRM. 0 takes the limit away. For drivers that
// must finish whatever the program does; the machine itself has no limit.
void halt_after(double seconds);
// Waits until fd can be read; false when a signal asks the run to end
// first. No signal can slip in between the test and the wait.
bool halt_wait_readable(int fd);
// The exit status of a run that a signal ended: 128 + the signal's number.
int halt_status();
