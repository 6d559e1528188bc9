// Ending a run from outside. The first signal only sets halt_signal: the
// run then ends at the next check, writes what a run writes at its end and
// leaves with 128 + the signal's number. A second signal, while that output
// is still being written, ends the process at once.
#include "halt.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

volatile sig_atomic_t halt_signal = 0;
bool halt_keeps_input = false;

// SIGALRM is handled only once a driver has set a time limit.
static const int halt_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGALRM};
static bool halt_timed = false;

// Standard input is pointed at /dev/null as well: a console read that is
// blocked, or about to block, then ends at once, whenever the signal came.
static void halt_handler(int sig)
{
    if (sig == SIGINT && halt_keeps_input) {
        halt_signal = sig;  // a stop, as often as it comes; the driver clears it
        return;
    }
    if (halt_signal) {
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    int saved_errno = errno;
    halt_signal = sig;
    int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd >= 0) {
        dup2(null_fd, 0);
        close(null_fd);
    }
    errno = saved_errno;
}

void halt_install()
{
    struct sigaction action = {};
    action.sa_handler = halt_handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a blocked console read returns and the run can end
    for (int sig : halt_signals)
        if (sig != SIGALRM || halt_timed)
            sigaction(sig, &action, nullptr);
}

void halt_after(double seconds)
{
    halt_timed = true;
    halt_install();
    itimerval timer{};  // all zero: no limit
    if (seconds > 0) {
        long long micro = (long long)(seconds * 1e6);
        timer.it_value.tv_sec = (time_t)(micro / 1000000);
        timer.it_value.tv_usec = (suseconds_t)(micro % 1000000);
        if (micro == 0)
            timer.it_value.tv_usec = 1;
    }
    setitimer(ITIMER_REAL, &timer, nullptr);
}

bool halt_wait_readable(int fd)
{
    sigset_t halting, old;
    sigemptyset(&halting);
    for (int sig : halt_signals)
        sigaddset(&halting, sig);
    sigprocmask(SIG_BLOCK, &halting, &old);
    bool ready = false;
    while (!halt_signal) {
        pollfd p{fd, POLLIN, 0};
        int n = ppoll(&p, 1, nullptr, &old);  // the signals get through only while waiting
        if (n > 0 || (n < 0 && errno != EINTR)) {
            ready = true;  // readable, or an error that the read itself will report
            break;
        }
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    return ready;
}

int halt_status()
{
    return halt_signal ? 128 + halt_signal : 0;
}
