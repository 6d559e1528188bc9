// F10: the run so far kept as a test beside the program, PROGRAM-N.test
// with PROGRAM-N.keys, .in, .out and .png, which zorvik-test replays as the
// same run. A run is its program, its seed, its console input and its key
// events by shown frame; frames are counted, not timed, so pauses, frame
// steps and fast-forward change nothing in what is kept.
//
// A replay puts the key events of frame F into the queue right after shown
// frame F. Here a key event is noted with the number of frames shown when
// SDL takes it from the window, which happens only at a refresh's hook and
// at the program's own polls, so the program meets it where the replay puts
// it. Events that a replay does not have (the pointer's, the window's
// focus and exposure) are kept from the program (keys.cpp), as each would
// use up one of its polls.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "capture.h"
#include "display.h"
#include "framerate.h"
#include "play.h"

namespace fs = std::filesystem;

struct play_kept_key {
    long long frame;  // the shown frame after which it came
    SDLKey key;
    bool down;
};

constexpr int PLAY_KEEP_TRIES = 100000;
constexpr int PLAY_QUEUE_MOST = 128;  // the events SDL's queue holds at most

static std::vector<play_kept_key> play_kept_keys;
static long long play_kept_shown = 0;              // frames shown since the run started
static size_t play_kept_output = 0, play_kept_input = 0;  // the console's copies at the last shown frame
static SDL_Surface* play_kept_frame = nullptr;      // a copy of the last shown frame

void play_keep_start()
{
    play_console_clear();
    play_kept_keys.clear();
    play_kept_keys.reserve(4096);
    play_kept_shown = 0;
    play_kept_output = play_kept_input = 0;
    // Keys the last run left in the queue reach this one before anything
    // else, as the events of frame 0 reach a replay.
    SDL_Event queued[PLAY_QUEUE_MOST];
    int n = front ? SDL_PeepEvents(queued, PLAY_QUEUE_MOST, SDL_PEEKEVENT, SDL_KEYDOWNMASK | SDL_KEYUPMASK) : 0;
    for (int i = 0; i < n; i++)
        play_keep_event(&queued[i]);
}

// A copy of the frame as it was shown, in its own format: the program may
// draw text onto the window after its last refresh, which no test sees.
static void play_keep_copy(SDL_Surface* surface)
{
    const SDL_PixelFormat* f = surface->format;
    SDL_Surface* copy = play_kept_frame;
    if (!copy || copy->w != surface->w || copy->h != surface->h || copy->format->BitsPerPixel != f->BitsPerPixel ||
        copy->format->Rmask != f->Rmask || copy->format->Gmask != f->Gmask || copy->format->Bmask != f->Bmask) {
        if (copy)
            SDL_FreeSurface(copy);
        copy = play_kept_frame = SDL_CreateRGBSurface(SDL_SWSURFACE, surface->w, surface->h, f->BitsPerPixel,
                                                      f->Rmask, f->Gmask, f->Bmask, f->Amask);
        if (!copy)
            return;
    }
    if (SDL_LockSurface(surface) < 0)
        return;
    if (SDL_LockSurface(copy) == 0) {
        size_t row = (size_t)surface->w * f->BytesPerPixel;
        for (int y = 0; y < surface->h; y++)
            memcpy((uint8_t*)copy->pixels + (size_t)y * copy->pitch,
                   (const uint8_t*)surface->pixels + (size_t)y * surface->pitch, row);
        SDL_UnlockSurface(copy);
    }
    SDL_UnlockSurface(surface);
}

void play_keep_shown(SDL_Surface* surface)
{
    play_kept_shown++;
    fflush(stdout);
    play_kept_output = play_console_output().size();
    play_kept_input = play_console_input().size();
    play_keep_copy(surface);
}

void play_keep_event(const SDL_Event* event)
{
    play_kept_keys.push_back({play_kept_shown, event->key.keysym.sym, event->type == SDL_KEYDOWN});
}

// The name a key script knows the key by, or empty when it has none that a
// script can hold (a comma would end the item).
static std::string play_keep_key_name(SDLKey key)
{
    const char* name = SDL_GetKeyName(key);
    if (!name || !*name || strcmp(name, "unknown key") == 0 || strchr(name, ','))
        return "";
    return name;
}

// The key events that reach a replay ending after shown frame `frame`, as
// key-script items, each followed by `end`; `unnamed` counts those left
// out for want of a name.
static std::string play_keep_script(long long frame, const char* end, int& unnamed)
{
    std::string script;
    unnamed = 0;
    for (const play_kept_key& key : play_kept_keys) {
        if (key.frame >= frame)
            break;
        std::string name = play_keep_key_name(key.key);
        if (name.empty())
            unnamed++;
        else
            script += std::to_string(key.frame) + ":" + name + (key.down ? ":down" : ":up") + end;
    }
    return script;
}

std::vector<pngtext_item> play_keep_texts(const std::string& name)
{
    pngtext_program carried;
    carried.source = play.source;
    carried.name = name;
    carried.has_run = play_kept_shown > 0;
    carried.seed = play.seed;
    carried.frame = play_kept_shown;
    carried.input = play_console_input().substr(0, play_kept_input);
    int unnamed = 0;
    carried.keys = play_keep_script(play_kept_shown, ",", unnamed);
    if (!carried.keys.empty())
        carried.keys.pop_back();
    std::string note;
    std::vector<pngtext_item> items = pngtext_items(carried, note);
    if (!note.empty())
        fprintf(stderr, "zorvik-play: %s\n", note.c_str());
    return items;
}

// The kept files of one number, each made new: none may exist already.
// The .in file only when the run read input, the .zvs only for a PNG's
// program.
constexpr int PLAY_KINDS = 6;
struct play_kept_files {
    std::string names[PLAY_KINDS];  // .test, .keys, .in, .out, .png, .zvs
    FILE* files[PLAY_KINDS] = {};
    bool wanted[PLAY_KINDS] = {true, true, true, true, true, true};
};
static const char* const play_kept_kinds[PLAY_KINDS] = {".test", ".keys", ".in", ".out", ".png", ".zvs"};

static void play_keep_close(play_kept_files& k, bool remove_them)
{
    for (int i = 0; i < PLAY_KINDS; i++) {
        if (k.files[i]) {
            fclose(k.files[i]);
            if (remove_them)
                remove(k.names[i].c_str());
        }
        k.files[i] = nullptr;
    }
}

// Opens PREFIX-N.* for the first N none of whose files exists; O_EXCL makes
// sure that none is overwritten, not even one made meanwhile. Only the
// files `k` wants. False, with a note, when they cannot be made.
static bool play_keep_open(const std::string& prefix, play_kept_files& k)
{
    for (int n = 1; n <= PLAY_KEEP_TRIES; n++) {
        bool taken = false;
        std::error_code error;
        for (int i = 0; i < PLAY_KINDS && !taken; i++) {
            k.names[i] = prefix + "-" + std::to_string(n) + play_kept_kinds[i];
            // Only a PNG's program keeps a .zvs; beside a .zvs program,
            // PROGRAM-N.zvs is just another program and takes no number.
            taken = (i < 5 || k.wanted[i]) &&
                    fs::symlink_status(k.names[i], error).type() != fs::file_type::not_found;
        }
        if (taken)
            continue;
        int i = 0;
        for (; i < PLAY_KINDS; i++) {
            if (!k.wanted[i])
                continue;
            int fd = open(k.names[i].c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 || !(k.files[i] = fdopen(fd, "wb"))) {
                if (fd >= 0)
                    close(fd);
                break;
            }
        }
        if (i == PLAY_KINDS)
            return true;
        int why = errno;
        play_keep_close(k, true);
        if (why != EEXIST) {
            fprintf(stderr, "zorvik-play: cannot keep the run: cannot write '%s': %s\n", k.names[i].c_str(),
                    strerror(why));
            return false;
        }
    }
    fprintf(stderr, "zorvik-play: cannot keep the run: every name %s-N.test is taken\n", prefix.c_str());
    return false;
}

void play_keep_write()
{
    long long frame = play_kept_shown;
    if (frame == 0 || !play_kept_frame) {
        fprintf(stderr, "zorvik-play: the run has shown no frame yet, so there is nothing to keep\n");
        return;
    }
    // A PNG's program is kept beside the picture under the name it carries,
    // as PROGRAM-N.zvs, the source that the test runs.
    fs::path program(play.program);
    std::string prefix = (program.parent_path() / play.stem).string();
    const std::string& input = play_console_input();
    const std::string& output = play_console_output();
    play_kept_files k;
    k.wanted[2] = play_kept_input > 0;
    k.wanted[5] = play.from_png;
    if (!play_keep_open(prefix, k))
        return;
    std::string name = play.name.empty() ? program.filename().string() : play.name;
    std::string source = play.from_png ? fs::path(k.names[5]).filename().string() : name;

    fprintf(k.files[0],
            "# A run of %s kept by zorvik-play; zorvik-test replays it.\n"
            "program = %s\nseed = %u\nstop-after-frame = %lld\n",
            play.from_png ? (name + " from " + program.filename().string()).c_str() : name.c_str(),
            source.c_str(), play.seed, frame);
    // A replay runs unpaced, so it takes at most as long as the run played
    // at its frame rate; a run longer than half the default time limit gets
    // limits that many times the defaults.
    long long times = (2 * frame / (framerate_fps > 0 ? framerate_fps : 60) + (long long)CAPTURE_SECONDS - 1) /
                      (long long)CAPTURE_SECONDS;
    times = times < 1000000 / (long long)CAPTURE_SECONDS ? times : 1000000 / (long long)CAPTURE_SECONDS;
    if (times > 1)
        fprintf(k.files[0], "# a long run: its limits grow with it\nseconds = %lld\nsteps = %lld\n",
                times * (long long)CAPTURE_SECONDS, times * CAPTURE_STEPS);
    // The events after the last shown frame never reach the replay, which
    // ends there.
    int unnamed = 0;
    std::string script = play_keep_script(frame, "\n", unnamed);
    fwrite(script.data(), 1, script.size(), k.files[1]);
    if (k.files[2])
        fwrite(input.data(), 1, play_kept_input, k.files[2]);
    fwrite(output.data(), 1, play_kept_output, k.files[3]);
    if (k.files[5])
        fwrite(play.source.data(), 1, play.source.size(), k.files[5]);
    capture_film film;
    film.keep_all = false;
    capture_add(film, play_kept_frame);
    // The expected frame carries the run too; zorvik-test compares only
    // its pixels.
    bool written = capture_write_png(k.files[4], film, film.frames.back(), 1, play_keep_texts(source));
    for (FILE*& f : k.files) {
        if (!f)
            continue;
        bool failed = ferror(f);
        if (fclose(f) != 0 || failed)
            written = false;
        f = nullptr;
    }
    if (!written) {
        for (int i = 0; i < PLAY_KINDS; i++)
            if (k.wanted[i])
                remove(k.names[i].c_str());
        fprintf(stderr, "zorvik-play: cannot keep the run: cannot write %s-N files\n", prefix.c_str());
        return;
    }
    std::string names;
    int last = k.wanted[5] ? 5 : 4;
    for (int i = 0; i <= last; i++)
        if (k.wanted[i])
            names += (names.empty() ? "" : i == last ? " and " : ", ") + k.names[i];
    fprintf(stderr, "zorvik-play: kept the run so far (seed %u, %lld shown %s) as %s%s\n", play.seed, frame,
            frame == 1 ? "frame" : "frames", names.c_str(),
            unnamed ? (", leaving out " + std::to_string(unnamed) + " events of keys a key script cannot name")
                          .c_str()
                    : "");
}
