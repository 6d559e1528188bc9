// The player's window: the machine draws into a 480 by 272 surface of its
// own, and each refresh brings that picture to a window `scale` times as
// large, every pixel a square of scale by scale, so pixels stay sharp.
#include <cstdint>
#include <cstring>
#include <string>

#include "display.h"
#include "play.h"

constexpr int PLAY_WIDTH = 480;
constexpr int PLAY_HEIGHT = 272;
constexpr int PLAY_MAX_SCALE = 8;
// Left free around a window that is as large as fits: its frame, its title
// bar and a panel or two of the desktop.
constexpr int PLAY_ROOM_W = 64;
constexpr int PLAY_ROOM_H = 128;

// The largest whole enlargement of 480 by 272 that fits a screen of w by h
// with room left for the window's frame, at least 1 and at most 8.
static int play_window_fitting_scale(int w, int h)
{
    int across = (w - PLAY_ROOM_W) / PLAY_WIDTH;
    int down = (h - PLAY_ROOM_H) / PLAY_HEIGHT;
    int scale = across < down ? across : down;
    return scale < 1 ? 1 : (scale > PLAY_MAX_SCALE ? PLAY_MAX_SCALE : scale);
}

// The window, and the separate surface the machine draws into, in the
// window's own 32-bit pixel format. SDL tells the screen's size only before
// a mode is set, so the first opening chooses the scale when none was given.
static SDL_Surface* play_window_open()
{
    if (play.scale == 0) {
        const SDL_VideoInfo* info = SDL_GetVideoInfo();
        play.scale = info ? play_window_fitting_scale(info->current_w, info->current_h) : 1;
    }
    SDL_Surface* window = SDL_SetVideoMode(PLAY_WIDTH * play.scale, PLAY_HEIGHT * play.scale, 32, SDL_SWSURFACE);
    if (!window)
        return nullptr;
    // Starting the video empties the filter; each opening sets it again.
    SDL_SetEventFilter(play_keys_filter);
    const SDL_PixelFormat* f = window->format;
    return SDL_CreateRGBSurface(SDL_SWSURFACE, PLAY_WIDTH, PLAY_HEIGHT, 32, f->Rmask, f->Gmask, f->Bmask, 0);
}

// Each pixel becomes a square: a row is widened once, then copied down.
// Only what lies inside both surfaces is touched.
static void play_window_show(SDL_Surface* picture)
{
    SDL_Surface* window = SDL_GetVideoSurface();
    if (!window || window == picture || window->format->BytesPerPixel != 4 || picture->format->BytesPerPixel != 4)
        return;
    if (SDL_LockSurface(window) < 0)
        return;
    int n = play.scale;
    int w = picture->w < window->w / n ? picture->w : window->w / n;
    int h = picture->h < window->h / n ? picture->h : window->h / n;
    for (int y = 0; y < h; y++) {
        const uint32_t* from = (const uint32_t*)((const uint8_t*)picture->pixels + (size_t)y * picture->pitch);
        uint8_t* first = (uint8_t*)window->pixels + (size_t)y * n * window->pitch;
        uint32_t* to = (uint32_t*)first;
        for (int x = 0; x < w; x++)
            for (int k = 0; k < n; k++)
                to[x * n + k] = from[x];
        for (int k = 1; k < n; k++)
            memcpy(first + (size_t)k * window->pitch, first, (size_t)w * n * 4);
    }
    SDL_UnlockSurface(window);
    SDL_UpdateRect(window, 0, 0, 0, 0);
}

void play_window_install(int scale)
{
    play.scale = scale;
    display_window.open = play_window_open;
    display_window.show = play_window_show;
}

// Drivers that cannot switch (the dummy one, some window managers) say so once.
void play_window_toggle_fullscreen()
{
    static bool told = false;
    SDL_Surface* window = SDL_GetVideoSurface();
    if (!window || !front)
        return;
    if (SDL_WM_ToggleFullScreen(window)) {
        display_show();
    } else if (!told) {
        told = true;
        fprintf(stderr, "zorvik-play: this display cannot switch the window to full screen\n");
    }
}

void play_window_title(const char* state)
{
    if (!front)
        return;
    std::string title = state ? std::string(DISPLAY_CAPTION) + ": " + state : DISPLAY_CAPTION;
    SDL_WM_SetCaption(title.c_str(), nullptr);
}
