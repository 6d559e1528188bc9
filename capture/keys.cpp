// Key scripts: key events played into the window's queue by shown-frame
// number, so that a run that reads the keyboard is the same every time.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "capture.h"
#include "keynames.h"
#include "layout.h"

// The key whose SDL 1.2 name is `name`, or SDLK_UNKNOWN. The names are the
// machine's own table of them (keynames.h), which either build of the core
// holds, so that the page's SDL, which names no key, reads a script alike.
static SDLKey key_named(const std::string& name)
{
    for (int k = 1; k < KEY_SYMBOLS; k++) {
        std::string n = key_name(k);
        if (!n.empty() && strcasecmp(name.c_str(), n.c_str()) == 0)
            return (SDLKey)k;
    }
    return SDLK_UNKNOWN;
}

// The text without the blanks around it.
static std::string without_blanks(const std::string& text)
{
    size_t a = text.find_first_not_of(" \t\r");
    if (a == std::string::npos)
        return "";
    return text.substr(a, text.find_last_not_of(" \t\r") - a + 1);
}

static bool parse_item(const std::string& item, capture_key& key, std::string& why)
{
    size_t colon = item.find(':');
    std::string number = item.substr(0, colon);
    char* end = nullptr;
    errno = 0;
    long long frame = number.empty() ? -1 : strtoll(number.c_str(), &end, 10);
    if (colon == std::string::npos || number.empty() || *end || errno || frame < 0) {
        why = "it must start with a frame number and ':'";
        return false;
    }
    key.frame = frame;
    std::string rest = item.substr(colon + 1);
    if (strcasecmp(rest.c_str(), "quit") == 0) {
        key.type = SDL_QUIT;
        key.key = SDLK_UNKNOWN;
        return true;
    }
    size_t last = rest.rfind(':');
    std::string action = last == std::string::npos ? "" : rest.substr(last + 1);
    bool down = strcasecmp(action.c_str(), "down") == 0;
    if (!down && strcasecmp(action.c_str(), "up") != 0) {
        why = "it must end in ':down' or ':up', or be 'FRAME:quit'";
        return false;
    }
    std::string name = rest.substr(0, last);
    key.key = key_named(name);
    if (key.key == SDLK_UNKNOWN) {
        why = "no key is named '" + name + "'";
        return false;
    }
    key.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    return true;
}

bool capture_parse_keys(const std::string& script, std::vector<capture_key>& keys, std::string& error)
{
    size_t start = 0;
    while (start <= script.size()) {
        size_t comma = script.find(',', start);
        if (comma == std::string::npos)
            comma = script.size();
        std::string item = without_blanks(script.substr(start, comma - start));
        capture_key key{};
        key.item = item;
        std::string why;
        if (!parse_item(item, key, why)) {
            error = "bad key script item '" + item + "': " + why;
            return false;
        }
        keys.push_back(key);
        start = comma + 1;
    }
    return true;
}

// Where a comment starts in a line of a key file: at a '#' that begins the
// line or follows a blank or a comma. A '#' inside an item ("5:#:down")
// names the key.
static size_t comment_start(const std::string& line)
{
    for (size_t i = 0; i < line.size(); i++)
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t' || line[i - 1] == ','))
            return i;
    return line.size();
}

bool capture_parse_key_lines(const std::string& text, std::vector<capture_key>& keys, int& line, std::string& error)
{
    size_t start = 0;
    for (line = 1; start < text.size(); line++) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl;
        std::string items = text.substr(start, end - start);
        items = without_blanks(items.substr(0, comment_start(items)));
        while (!items.empty() && items.back() == ',')
            items = without_blanks(items.substr(0, items.size() - 1));
        if (!items.empty() && !capture_parse_keys(items, keys, error))
            return false;
        start = end + 1;
    }
    return true;
}

std::string capture_unplayed_keys(const std::vector<capture_key>& keys, long long played, long long shown)
{
    std::string items;
    int count = 0;
    for (const capture_key& k : keys)
        if (k.frame > played)
            items += (count++ ? ", " : "") + k.item;
    if (!count)
        return "";
    return std::to_string(count) + (count == 1 ? " key event" : " key events") + " never played, as the run ended after " +
           std::to_string(shown) + (shown == 1 ? " shown frame: " : " shown frames: ") + items;
}

std::string capture_keys_out_of_order(const std::vector<capture_key>& keys)
{
    for (size_t i = 1; i < keys.size(); i++)
        if (keys[i].frame < keys[i - 1].frame)
            return "key script item '" + keys[i].item + "' is out of order: it comes after '" + keys[i - 1].item + "'";
    return "";
}

void capture_play_keys(const std::vector<capture_key>& keys, long long frame)
{
    for (const capture_key& k : keys) {
        if (k.frame != frame)
            continue;
        SDL_Event event{};
        event.type = (decltype(event.type))k.type;  // a byte in SDL 1.2, wider in the page's SDL
        if (k.type != SDL_QUIT) {
            event.key.state = k.type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
            event.key.keysym.sym = k.key;
        }
        SDL_PushEvent(&event);
    }
}
