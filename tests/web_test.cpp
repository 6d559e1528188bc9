// The page's key table: the key names it accepts are SDL's own names for
// the numbers it sends, so that a key reaches a program on the page with
// the number it has in the window, and every browser key code it maps
// stands for one of those names.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "SDL.h"
#include "keynames.h"
#include "layout.h"

TEST(PageKeys, NamesAreSdlNamesOfTheirNumbers)
{
    std::ifstream file(ZORVIK_SOURCE_DIR "/web/keys.json");
    ASSERT_TRUE(file) << "web/keys.json is missing";
    nlohmann::json table = nlohmann::json::parse(file);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);  // SDL names the keys once its video is up
    ASSERT_GT(table["names"].size(), 100u);
    for (auto& [name, number] : table["names"].items())
        EXPECT_STREQ(SDL_GetKeyName((SDLKey)number.get<int>()), name.c_str()) << "key number " << number;
    for (auto& [code, name] : table["codes"].items())
        EXPECT_TRUE(table["names"].contains(name.get<std::string>())) << code << " stands for no key name";
    SDL_Quit();
}

// The core's names of the keys, which the page's language server shows
// where its SDL names none, are SDL's for every symbol of the key area.
TEST(PageKeys, CoreNamesAreSdlNamesOfEverySymbol)
{
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
    EXPECT_EQ(KEY_SYMBOLS, (int)SDLK_LAST);
    for (int k = 0; k < KEY_SYMBOLS; k++) {
        std::string sdl = SDL_GetKeyName((SDLKey)k);
        EXPECT_EQ(key_name(k), sdl == "unknown key" ? "" : sdl) << "key number " << k;
    }
    EXPECT_EQ(key_name(-1), "");
    EXPECT_EQ(key_name(KEY_SYMBOLS), "");
    SDL_Quit();
}
