// Screenshots and GIF recordings of the frames shown, kept and written by
// zorvik-capture's own film and encoders: the program's 480 by 272 picture
// with its exact colours, whatever the window's size.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture.h"
#include "framerate.h"
#include "play.h"

// A recording keeps at most this many different frames (about 130 KB
// each), so that one left running cannot take all memory: 30 seconds of a
// program that changes every frame, far longer for most.
constexpr size_t PLAY_RECORD_LIMIT = 1800;
constexpr int PLAY_NAME_TRIES = 100000;

static capture_film play_film;
static bool play_film_on = false;

// Opens STEM-N.EXT in the current folder under the first N that no file
// has; O_EXCL makes sure that no file is overwritten, not even one made
// meanwhile. Null, with a note, when none can be made.
static FILE* play_new_file(const char* extension, std::string& name)
{
    for (int n = 1; n <= PLAY_NAME_TRIES; n++) {
        name = play.stem + "-" + std::to_string(n) + "." + extension;
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            FILE* out = fdopen(fd, "wb");
            if (!out)
                close(fd);
            return out;
        }
        if (errno != EEXIST)
            break;
    }
    fprintf(stderr, "zorvik-play: cannot write '%s': %s\n", name.c_str(), strerror(errno));
    return nullptr;
}

// Writes the film through `write` into a new file, and names the file on
// standard error; a file that could not be written whole is taken away.
static void play_write(const char* extension, const capture_film& film,
                       bool (*write)(FILE* out, const capture_film& film), const std::string& what)
{
    std::string name;
    FILE* out = play_new_file(extension, name);
    if (!out)
        return;
    bool written = write(out, film);
    if (fclose(out) != 0)
        written = false;
    if (written) {
        fprintf(stderr, "zorvik-play: wrote %s%s\n", name.c_str(), what.c_str());
    } else {
        remove(name.c_str());
        fprintf(stderr, "zorvik-play: cannot write '%s'\n", name.c_str());
    }
}

// A screenshot carries the program and the run that led to it.
static bool play_write_png(FILE* out, const capture_film& film)
{
    return capture_write_png(out, film, film.frames.back(), 1, play_keep_texts(play.name));
}

// The GIF plays at the player's frame rate, as far as GIF delays allow.
static bool play_write_gif(FILE* out, const capture_film& film)
{
    int fps = framerate_fps < 1 ? 1 : (framerate_fps > 100 ? 100 : framerate_fps);
    return capture_write_gif(out, film, fps, 1);
}

void play_screenshot(SDL_Surface* surface)
{
    capture_film film;
    film.keep_all = false;
    capture_add(film, surface);
    play_write("png", film, play_write_png, "");
}

bool play_recording()
{
    return play_film_on;
}

void play_record_finish()
{
    if (!play_film_on)
        return;
    play_film_on = false;
    if (play_film.frames.empty()) {
        fprintf(stderr, "zorvik-play: the recording holds no frame; no GIF is written\n");
        return;
    }
    long long shown = play_film.shown;
    play_write("gif", play_film, play_write_gif,
               ", " + std::to_string(shown) + (shown == 1 ? " frame" : " frames"));
    play_film = capture_film{};
}

void play_record_toggle()
{
    if (play_film_on) {
        play_record_finish();
        return;
    }
    play_film = capture_film{};
    play_film_on = true;
    fprintf(stderr, "zorvik-play: recording a GIF; F9 again writes it\n");
}

void play_record_frame(SDL_Surface* surface)
{
    capture_add(play_film, surface);
    if (play_film.frames.size() >= PLAY_RECORD_LIMIT) {
        fprintf(stderr, "zorvik-play: the recording has reached its limit of %zu different frames\n",
                PLAY_RECORD_LIMIT);
        play_record_finish();
    }
}
