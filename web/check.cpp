// The checker on a page: a source in, its findings out as JSON, with lines
// and byte columns as zorvik-check reports them. A module of its own, so
// that checking as the user types never touches a program that is running.
#include <emscripten.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "check.h"
#include "icode.h"
#include "position.h"

static void check_json_string(std::string& out, const std::string& text)
{
    out += '"';
    for (unsigned char ch : text) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += (char)ch;
        } else if (ch < 0x20) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", ch);
            out += esc;
        } else {
            out += (char)ch;
        }
    }
    out += '"';
}

static void check_json_place(std::string& out, const char* key, const std::vector<long long>& starts,
                             long long offset)
{
    source_place at = position_locate(starts, offset);
    out += ",\"" + std::string(key) + "\":{\"offset\":" + std::to_string(offset) +
           ",\"line\":" + std::to_string(at.line) + ",\"column\":" + std::to_string(at.column) + "}";
}

extern "C" {

// The findings of `length` bytes of source, as a JSON array that the caller
// frees: each has the warning's name, its message and place, and the note's.
EMSCRIPTEN_KEEPALIVE char* web_check(const char* text, int length)
{
    std::string source(text, (size_t)(length > 0 ? length : 0));
    std::vector<check_finding> findings = check_source(source);
    std::vector<long long> starts = position_line_starts(source);
    std::string out = "[";
    for (const check_finding& f : findings) {
        if (out.size() > 1)
            out += ',';
        out += "{\"name\":";
        check_json_string(out, check_warnings[f.warning].name);
        out += ",\"message\":";
        check_json_string(out, f.message);
        check_json_place(out, "at", starts, f.offset);
        if (f.note_offset >= 0) {
            out += ",\"note\":";
            check_json_string(out, f.note);
            check_json_place(out, "noteAt", starts, f.note_offset);
        }
        out += '}';
    }
    out += ']';
    return strdup(out.c_str());
}

// The machine's mnemonics, separated by spaces, for the editor's colours.
EMSCRIPTEN_KEEPALIVE const char* web_mnemonics()
{
    static std::string names;
    if (names.empty())
        for (int i = 1; op_array[i]; i++)
            names += std::string(names.empty() ? "" : " ") + op_array[i];
    return names.c_str();
}

}
