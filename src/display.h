// The display: the window's surface, the font, and their lifecycle. The
// shell opens the window at start-up and service 19 opens it again when it
// has to; both go through display_open_window.
#pragma once
#include "SDL.h"

struct mx_font;

extern SDL_Surface* front;    // the window's surface, null while closed
extern mx_font* the_font;     // the loaded font, null while none
extern int active;            // 1 once the display service has run

// The title of the machine's window.
constexpr const char* DISPLAY_CAPTION = "Zorvik VM";

// Bits per pixel asked of the window: 0, the default, takes the display's
// own; a capture asks for 32 so that every pixel is an exact RGB value.
extern int display_depth;

// Called with the surface whenever a refresh has drawn a frame, just before
// the frame goes to the window; returning true ends the run. Runs leave it
// null; a capture keeps the frames this way.
extern bool (*display_shown_hook)(SDL_Surface* surface);

// A front end that shows the machine's picture in a window of its own
// making (a larger one, say) sets both. `open` opens that window and yields
// the 480 by 272 surface the machine draws into, or null; `show` brings the
// surface's picture to the window, at each refresh and when the window is
// exposed. Unset, the machine draws straight into a 480 by 272 window.
struct display_window_hooks {
    SDL_Surface* (*open)();
    void (*show)(SDL_Surface* surface);
};
extern display_window_hooks display_window;

// Starts SDL's video and opens the window, as every tool does at start-up.
// The driver is the one SDL_VIDEODRIVER names; unset, a real window where
// DISPLAY names a display, and the dummy driver otherwise. When the window
// cannot be had, standard error says why in one line and the run goes on
// on the dummy driver, as a run without a display does. Null only when even
// that fails.
SDL_Surface* display_start();
// True when there is no display to choose: neither SDL_VIDEODRIVER nor
// DISPLAY is set, so display_start would take the dummy driver itself.
bool display_none_found();
// A program asks for the display (service 19, a screen refresh): when
// display_start took the dummy driver because no display was found, the
// first ask says once on standard error that nothing is shown. A driver
// the user named, the dummy one too, says nothing.
void display_note_unseen();
// Opens the 480 by 272 window: the icon "icon.bmp" first (SDL takes an icon
// only before the window opens; a missing file leaves none), then the mode,
// then the caption. Yields the surface, or null; null at once while SDL's
// video is not started, so that no window function is called then.
SDL_Surface* display_open_window();
// Loads the font "term.mxf" from the current folder, or an installed tool's
// data folder; null when there is none, and text is then left out.
mx_font* display_open_font();

// While a driver holds the program stopped: shows the window's picture
// again if the window system asked for it; key and quit events stay queued
// for the program.
void display_redraw_exposed();

// Brings the surface's picture to the window: the whole window.
void display_show();

// Releases the surface and the font and shuts SDL down; X becomes 0.
void do_quit();
