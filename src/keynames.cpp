// SDL 1.2's key symbols with their names. The page's SDL names no key, and
// the native one only once its video is up, which a language server never
// starts: so the names are kept here, for both, and a test holds them to
// SDL_GetKeyName's.
#include "keynames.h"

#include <cstring>

namespace {

struct key_named {
    int symbol;
    const char* name;
};

// Every key whose name is not its own character, by symbol.
const key_named named_keys[] = {
    {8, "backspace"}, {9, "tab"}, {12, "clear"}, {13, "return"}, {19, "pause"}, {27, "escape"}, {32, "space"},
    {127, "delete"},
    {256, "[0]"}, {257, "[1]"}, {258, "[2]"}, {259, "[3]"}, {260, "[4]"}, {261, "[5]"}, {262, "[6]"},
    {263, "[7]"}, {264, "[8]"}, {265, "[9]"}, {266, "[.]"}, {267, "[/]"}, {268, "[*]"}, {269, "[-]"},
    {270, "[+]"}, {271, "enter"}, {272, "equals"},
    {273, "up"}, {274, "down"}, {275, "right"}, {276, "left"}, {277, "insert"}, {278, "home"}, {279, "end"},
    {280, "page up"}, {281, "page down"},
    {282, "f1"}, {283, "f2"}, {284, "f3"}, {285, "f4"}, {286, "f5"}, {287, "f6"}, {288, "f7"}, {289, "f8"},
    {290, "f9"}, {291, "f10"}, {292, "f11"}, {293, "f12"}, {294, "f13"}, {295, "f14"}, {296, "f15"},
    {300, "numlock"}, {301, "caps lock"}, {302, "scroll lock"}, {303, "right shift"}, {304, "left shift"},
    {305, "right ctrl"}, {306, "left ctrl"}, {307, "right alt"}, {308, "left alt"}, {309, "right meta"},
    {310, "left meta"}, {311, "left super"}, {312, "right super"}, {313, "alt gr"}, {314, "compose"},
    {315, "help"}, {316, "print screen"}, {317, "sys req"}, {318, "break"}, {319, "menu"}, {320, "power"},
    {321, "euro"}, {322, "undo"},
};

// The printable characters that are keys, each named by itself; capital
// letters are not keys of their own.
const char character_keys[] = "!\"#$&'()*+,-./0123456789:;<=>?@[\\]^_`abcdefghijklmnopqrstuvwxyz";

// The international keys, "world 0" to "world 95".
constexpr int WORLD_FIRST = 160, WORLD_LAST = 255;

}  // namespace

std::string key_name(int symbol)
{
    for (const key_named& k : named_keys)
        if (k.symbol == symbol)
            return k.name;
    if (symbol > 0 && symbol < 127 && strchr(character_keys, symbol))
        return std::string(1, (char)symbol);
    if (symbol >= WORLD_FIRST && symbol <= WORLD_LAST)
        return "world " + std::to_string(symbol - WORLD_FIRST);
    return "";
}
