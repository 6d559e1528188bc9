// The display's state and lifecycle: the window, its icon and caption, the
// font's owner, and the shut-down.
#include "display.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "datadir.h"
#include "mxfont.h"
#include "machine.h"

static const char* const ICON_FILE = "icon.bmp";
static const char* const FONT_FILE = "term.mxf";

SDL_Surface* front = nullptr;
mx_font* the_font = nullptr;
int active = 0;
int display_depth = 0;
bool (*display_shown_hook)(SDL_Surface* surface) = nullptr;
display_window_hooks display_window{};
// Set when display_start took the dummy driver for want of a display, until
// a program that asks for the display has been told.
static bool display_unseen = false;

// The machine looks for its icon and font in the folder it runs from, its
// install's data folder and the build tree's run folder (datadir.h), and
// goes on without them. The first time one cannot be opened, standard error
// says so, naming the folders searched, since nothing on the screen would.
static void display_note_missing(const char* file, const char* without, bool& told)
{
    if (told || access(datadir_find(file).c_str(), R_OK) == 0)
        return;  // a file that is there but unreadable as a font says so itself
    told = true;
    const char* why = strerror(errno);
    std::vector<std::string> folders = datadir_folders();
    std::string where = folders[0] + ", the folder the machine runs from";
    for (size_t i = 1; i < folders.size(); i++)
        where += (i + 1 < folders.size() ? ", " : " or ") + folders[i];
    fprintf(stderr, "%s: cannot open '%s' in %s: %s; %s\n", program_invocation_short_name, file, where.c_str(), why,
            without);
}

mx_font* display_open_font()
{
    static bool told = false;
    mx_font* font = SDL_InitFont(datadir_find(FONT_FILE).c_str());
    if (!font)
        display_note_missing(FONT_FILE, "text is not drawn", told);
    return font;
}

SDL_Surface* display_open_window()
{
    static bool told = false;
    if (!SDL_WasInit(SDL_INIT_VIDEO))
        return nullptr;
    // SDL copies the icon into the window; the image itself is ours to free.
    SDL_RWops* file = SDL_RWFromFile(datadir_find(ICON_FILE).c_str(), "rb");
    if (!file)
        display_note_missing(ICON_FILE, "the window has no icon", told);
    SDL_Surface* icon = SDL_LoadBMP_RW(file, 1);
    SDL_WM_SetIcon(icon, nullptr);
    if (icon)
        SDL_FreeSurface(icon);
    SDL_Surface* surface = display_window.open ? display_window.open()
                                               : SDL_SetVideoMode(480, 272, display_depth, 0);
    if (surface)
        SDL_WM_SetCaption(DISPLAY_CAPTION, nullptr);
    return surface;
}

// True when the environment sets `name` to a text that is not empty.
static bool display_env_set(const char* name)
{
    const char* value = getenv(name);
    return value && *value;
}

bool display_none_found()
{
#ifdef ZORVIK_WEB
    return false;  // the page's canvas is always there
#else
    return !display_env_set("SDL_VIDEODRIVER") && !display_env_set("DISPLAY");
#endif
}

// The driver to start: the one the user names, else a real window where
// there is a display to show it on, else none at all. SDL left to choose
// would fall back to drawing terminal art over the program's console.
static const char* display_driver()
{
    if (display_env_set("SDL_VIDEODRIVER"))
        return getenv("SDL_VIDEODRIVER");
    return display_env_set("DISPLAY") ? "x11" : "dummy";
}

// The window could not be had: one line names the reason, and the run goes
// on with the dummy driver, as a run without a display does.
static SDL_Surface* display_without_window(const char* driver)
{
    const char* display = getenv("DISPLAY");
    std::string where = strcmp(driver, "x11") == 0 && display ? std::string(" on the display '") + display + "'" : "";
    fprintf(stderr, "%s: cannot open a window%s with the video driver '%s': %s; running without one\n",
            program_invocation_short_name, where.c_str(), driver, SDL_GetError());
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) < 0)
        return nullptr;
    return display_open_window();
}

SDL_Surface* display_start()
{
    std::string driver = display_driver();
    if (display_none_found())
        display_unseen = true;
    // Later starts (the display service's, after a quit) take the same one.
    setenv("SDL_VIDEODRIVER", driver.c_str(), 1);
    bool dummy = driver == "dummy";
    if (SDL_Init(SDL_INIT_VIDEO) < 0)
        return dummy ? nullptr : display_without_window(driver.c_str());
    SDL_Surface* surface = display_open_window();
    if (!surface && !dummy)
        return display_without_window(driver.c_str());
    return surface;
}

void display_note_unseen()
{
    if (!display_unseen)
        return;
    display_unseen = false;
    fprintf(stderr, "%s: no display: running without a window\n", program_invocation_short_name);
}

void display_redraw_exposed()
{
    if (!front)
        return;
    SDL_PumpEvents();
    SDL_Event event;
    if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_VIDEOEXPOSEMASK) > 0)
        display_show();
}

void display_show()
{
    if (!front)
        return;
    if (display_window.show)
        display_window.show(front);
    else
        SDL_UpdateRect(front, 0, 0, front->w, front->h);
}

void do_quit()
{
    _reg.X = 0;
    if (front) {
        SDL_FreeSurface(front);
        front = nullptr;
    }
    if (the_font) {
        SDL_FreeFont(the_font);
        the_font = nullptr;
    }
    SDL_Quit();
}
