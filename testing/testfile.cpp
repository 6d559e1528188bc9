// NAME.test: `key = value` lines and `#` comments that set a test's limits,
// seed and program, and the files that make up a test.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "capture.h"
#include "testfile.h"

namespace fs = std::filesystem;

// Whether anything stands at the path, a link to nothing too.
static bool present(const std::string& path)
{
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

// Why what stands at the path cannot be read as a test's file; empty for a
// file, or when nothing stands there.
static std::string unusable(const std::string& path)
{
    std::error_code error;
    if (!present(path) || fs::is_regular_file(path, error))
        return "";
    fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found)
        return path + ": a link to nothing, where a file should be";
    if (status.type() == fs::file_type::directory)
        return path + ": a folder, where a file should be";
    return path + ": " + (error ? error.message() : "not a file");
}

ztest_case ztest_load(const std::string& name)
{
    ztest_case c;
    c.name = name;
    c.program = name + ".zvs";
    c.has_in = present(name + ".in");
    c.has_keys = present(name + ".keys");
    c.has_out = present(name + ".out");
    c.has_png = present(name + ".png");
    c.has_test = present(name + ".test");
    c.frames = CAPTURE_FRAMES;
    c.steps = CAPTURE_STEPS;
    c.seconds = CAPTURE_SECONDS;
    c.seed = CAPTURE_SEED;
    for (const char* kind : {".zvs", ".in", ".keys", ".out", ".png", ".test"})
        if (c.error.empty())
            c.error = unusable(name + kind);
    std::string why;
    if (c.error.empty() && !ztest_read_settings(c, why))
        c.error = why;
    return c;
}

static std::string trimmed(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos)
        return "";
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

// A whole number from low to high, or false.
static bool whole(const std::string& text, long long low, long long high, long long& v)
{
    char* end = nullptr;
    errno = 0;
    v = strtoll(text.c_str(), &end, 10);
    return !text.empty() && !*end && !errno && v >= low && v <= high;
}

// `program = FILE`: a file found from NAME.test's folder.
static bool read_program(ztest_case& c, const std::string& value, std::string& why)
{
    if (value.empty()) {
        why = "program must name a .zvs file, found from the folder of the .test file";
        return false;
    }
    fs::path path = fs::path(c.name).parent_path() / value;
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        why = "program '" + value + "': " +
              (present(path.string()) ? "not a file" : "no such file (" + path.string() + ")");
        return false;
    }
    c.program = path.string();
    return true;
}

// One "key = value" line of NAME.test; false with the reason in `why`.
static bool read_setting(ztest_case& c, const std::string& key, const std::string& value, bool& frames_set,
                         std::string& why)
{
    long long v = 0;
    if (key == "program")
        return read_program(c, value, why);
    if (key == "seconds") {
        char* end = nullptr;
        errno = 0;
        double s = strtod(value.c_str(), &end);
        if (value.empty() || *end || errno || !(s > 0) || s > 1e6) {
            why = "seconds must be a number above 0, up to 1000000";
            return false;
        }
        c.seconds = s;
        return true;
    }
    struct range {
        const char* key;
        long long low, high;
    };
    static const range ranges[] = {{"debug", 0, 2},          {"frames", 1, INT64_MAX}, {"steps", 1, INT64_MAX},
                                   {"status", 0, 255},       {"seed", 0, UINT32_MAX},
                                   {"stop-after-frame", 1, INT64_MAX}};
    for (const range& r : ranges) {
        if (key != r.key)
            continue;
        if (!whole(value, r.low, r.high, v)) {
            why = key + " must be a whole number from " + std::to_string(r.low) + " to " + std::to_string(r.high);
            return false;
        }
        if (key == "debug")
            c.debug = (int)v;
        else if (key == "frames")
            c.frames = v, frames_set = true;
        else if (key == "steps")
            c.steps = v;
        else if (key == "status")
            c.status = (int)v;
        else if (key == "seed")
            c.seed = (unsigned)v, c.seed_set = true;
        else
            c.stop_after_frame = v;
        return true;
    }
    why = "unknown setting '" + key + "' (program, debug, frames, stop-after-frame, steps, seconds, status, seed)";
    return false;
}

// Calls `line` with each line's number and text, comments and blanks left
// out; stops at the first it returns false for.
template <typename Each> static bool each_line(std::ifstream& in, Each line)
{
    std::string text;
    for (int number = 1; std::getline(in, text); number++) {
        text = trimmed(text.substr(0, text.find('#')));
        if (!text.empty() && !line(number, text))
            return false;
    }
    return true;
}

bool ztest_read_settings(ztest_case& c, std::string& error)
{
    if (!c.has_test)
        return true;
    std::string path = c.name + ".test";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read: " + strerror(errno);
        return false;
    }
    bool frames_set = false;
    bool read = each_line(in, [&](int number, const std::string& text) {
        size_t eq = text.find('=');
        std::string why;
        if (eq == std::string::npos)
            why = "a line must be 'key = value' or a '#' comment";
        else
            read_setting(c, trimmed(text.substr(0, eq)), trimmed(text.substr(eq + 1)), frames_set, why);
        if (why.empty())
            return true;
        error = path + ":" + std::to_string(number) + ": " + why;
        return false;
    });
    // A run that ends on purpose is not held to the default frame limit;
    // one that `frames` sets still is.
    if (read && !frames_set && c.stop_after_frame > c.frames)
        c.frames = c.stop_after_frame;
    return read;
}

bool ztest_names_program(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    bool names = false;
    each_line(in, [&](int, const std::string& text) {
        names = trimmed(text.substr(0, text.find('='))) == "program";
        return !names;
    });
    return names;
}
