// zorvik-capture: runs a program on a display in memory and keeps what its
// refreshes show, as a PNG of one frame or an animated GIF of all of them.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "SDL.h"
#include "pngtext.h"

constexpr int CAPTURE_WIDTH = 480;
constexpr int CAPTURE_HEIGHT = 272;

// The limits of a run that is captured or tested, unless others are asked
// for, and the seed of its random numbers, so that a test and a capture of
// the same program see the same run.
constexpr long long CAPTURE_FRAMES = 600;
constexpr long long CAPTURE_STEPS = 5000000000LL;
constexpr double CAPTURE_SECONDS = 30;
constexpr unsigned CAPTURE_SEED = 1;

// The frames kept so far. Pixels are indexes into `colors` (0xRRGGBB): a
// program shows at most the 64 palette colours, black and the overlay's
// white, so a byte always suffices. Identical frames in a row are kept
// once, with the number of shown frames they stand for.
struct capture_frame {
    std::vector<uint8_t> pixels;  // CAPTURE_WIDTH * CAPTURE_HEIGHT
    int shown;                    // consecutive shown frames it stands for
};

struct capture_film {
    std::vector<uint32_t> colors;
    std::vector<capture_frame> frames;
    long long shown = 0;          // frames shown by the run so far
    bool keep_all = true;         // false: only the latest frame is kept
};

// Adds the surface as the next shown frame.
void capture_add(capture_film& film, SDL_Surface* surface);
// A black frame, for a run that showed none.
void capture_add_black(capture_film& film);

// One key event of a script: after shown frame `frame` (0: before the run
// starts), the key goes down or up, or the window is closed.
struct capture_key {
    long long frame;
    int type;      // SDL_KEYDOWN, SDL_KEYUP or SDL_QUIT
    SDLKey key;
    std::string item;  // as the script wrote it, for messages
};

// Parses "10:right:down,40:right:up,90:quit". Key names are SDL 1.2's, as
// SDL_GetKeyName gives them (keynames.h holds them); they, "down",
// "up" and "quit" may be written in any letter case, and blanks around an
// item are left out. On a bad item, false, with the message naming it in
// `error`.
bool capture_parse_keys(const std::string& script, std::vector<capture_key>& keys, std::string& error);
// Parses a key file: items separated by commas or lines, blank lines left
// out, and a '#' at the start of a line or after a blank or a comma
// starting a comment. On a bad item, false, with its line number in `line`.
bool capture_parse_key_lines(const std::string& text, std::vector<capture_key>& keys, int& line, std::string& error);
// The events that never went into the queue, as the run ended with `played`
// the last frame whose events did, after `shown` shown frames: "2 key
// events never played, as the run ended after 1 shown frame: ITEM, ITEM",
// or empty when every event played.
std::string capture_unplayed_keys(const std::vector<capture_key>& keys, long long played, long long shown);
// The first event that comes after an event of a later frame: "key script
// item 'ITEM' is out of order: it comes after 'ITEM'", or empty. Events play
// at their own frames whatever their order, so a script written by hand may
// hold them so; a recorded run never does, and a replay tells of it.
std::string capture_keys_out_of_order(const std::vector<capture_key>& keys);
// Pushes the events scheduled for a frame into SDL's queue.
void capture_play_keys(const std::vector<capture_key>& keys, long long frame);

// Writes the frame, or every frame at `fps` frames a second, enlarged by
// `scale`. The PNG carries `texts` (pngtext.h) after its image data. False
// when writing failed.
bool capture_write_png(FILE* out, const capture_film& film, const capture_frame& frame, int scale,
                       const std::vector<pngtext_item>& texts = {});
bool capture_write_gif(FILE* out, const capture_film& film, int fps, int scale);
