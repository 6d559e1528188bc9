// Starting again when the source is saved, or once it is back after being
// deleted or renamed away. The source's folder is watched for the source's
// name (inotify), so that an editor that saves by renaming a new file into
// place is seen as well as one that writes in place. The watch raises SIGIO
// on the machine's thread (O_ASYNC), and the handler stops the run as a
// halting signal would (play_restart): the machine gives way where every
// endless loop passes and a console read returns, so a save is seen
// whatever the program is doing.
#include <fcntl.h>
#include <limits.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "play.h"

// A save shows as one of these for the source's name: written and closed,
// renamed into place, made anew, or touched. Deleted or renamed away, the
// source is awaited back; an editor that first moves the old file aside
// saves the new one before the run starts again, and only that is seen.
constexpr uint32_t PLAY_WATCH_EVENTS =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_ATTRIB | IN_DELETE | IN_MOVED_FROM;

static int play_watch_fd = -1;
static char play_watch_name[NAME_MAX + 1];

// True when the event's name, `room` bytes padded with zeros, is the
// source's. Stops at the first zero byte of either, inside both.
static bool play_watch_is_source(const char* name, size_t room)
{
    size_t i = 0;
    for (; i < room && name[i] && play_watch_name[i]; i++)
        if (name[i] != play_watch_name[i])
            return false;
    return i < room ? name[i] == play_watch_name[i] : play_watch_name[i] == 0;
}

// True when one of the events read names the source. Every event is taken
// only as far as the bytes read reach.
static bool play_watch_names_source(const char* buffer, size_t size)
{
    size_t at = 0;
    bool named = false;
    while (at + sizeof(inotify_event) <= size) {
        inotify_event event;
        memcpy(&event, buffer + at, sizeof event);
        size_t name_at = at + sizeof event;
        if (event.len > size - name_at)
            break;
        if (event.len > 0 && play_watch_is_source(buffer + name_at, event.len))
            named = true;
        at = name_at + event.len;
    }
    return named;
}

// Reads every event queued: other files of the folder change too (an
// editor's swap file, the player's own pictures), and only the source's
// name counts. Async-signal-safe.
static void play_watch_signal(int)
{
    int saved_errno = errno;
    alignas(inotify_event) char buffer[4096];
    bool saved = false;
    ssize_t n;
    while ((n = read(play_watch_fd, buffer, sizeof buffer)) > 0)
        saved = play_watch_names_source(buffer, (size_t)n) || saved;
    if (saved)
        play_restart(PLAY_AGAIN_SAVED);
    errno = saved_errno;
}

// The signal goes to this thread, the machine's, whatever threads a video
// driver may start: that is the thread whose console read must return.
static bool play_watch_signal_me(int fd)
{
    struct sigaction action = {};
    action.sa_handler = play_watch_signal;
    sigemptyset(&action.sa_mask);
    // A halting signal must not come between the handler's test of
    // halt_signal and its own stop.
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGHUP);
    // Restarted: other files' events leave a console read waiting. A save
    // has pointed standard input at /dev/null first, so the read that
    // starts again ends at once.
    action.sa_flags = SA_RESTART;
    f_owner_ex owner{F_OWNER_TID, gettid()};
    int flags = fcntl(fd, F_GETFL);
    return sigaction(SIGIO, &action, nullptr) == 0 && fcntl(fd, F_SETOWN_EX, &owner) == 0 && flags >= 0 &&
           fcntl(fd, F_SETFL, flags | O_ASYNC) == 0;
}

bool play_watch_start(const char* path)
{
    std::filesystem::path source(path);
    std::string folder = source.has_parent_path() ? source.parent_path().string() : ".";
    std::string name = source.filename().string();
    const char* why = "the name is too long";
    if (!name.empty() && name.size() <= NAME_MAX) {
        memcpy(play_watch_name, name.c_str(), name.size() + 1);
        play_watch_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (play_watch_fd >= 0 && inotify_add_watch(play_watch_fd, folder.c_str(), PLAY_WATCH_EVENTS) >= 0 &&
            play_watch_signal_me(play_watch_fd))
            return true;
        why = strerror(errno);
    }
    fprintf(stderr, "zorvik-play: cannot watch '%s' for changes: %s; saving it will not start it again\n", path, why);
    if (play_watch_fd >= 0)
        close(play_watch_fd);
    play_watch_fd = -1;
    return false;
}
