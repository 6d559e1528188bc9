// Finding the tests: every NAME.zvs under the paths with an expectation
// file beside it, and the settings of its NAME.test.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "capture.h"
#include "ztest.h"

namespace fs = std::filesystem;

static bool exists(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

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

static ztest_case make_case(const std::string& name)
{
    ztest_case c;
    c.name = name;
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
    return c;
}

static bool is_test(const ztest_case& c, ztest_update update)
{
    return update == UPDATE_ALL || c.has_in || c.has_keys || c.has_out || c.has_png || c.has_test;
}

static bool ends_with_zvs(const fs::path& p)
{
    return p.extension() == ".zvs";
}

// A test's name with no root, "." or ".." in it, so that it stays below
// the folder it is put under.
static std::string below_root(const std::string& name)
{
    fs::path kept;
    for (const fs::path& part : fs::path(name).relative_path())
        if (part != "." && part != ".." && !part.empty())
            kept /= part;
    return kept.string();
}

// Each test's label: its path below the folder it was found in, or its
// file name when it was named itself. Tests of one label from two places
// are told apart by their whole names.
static void give_labels(std::vector<ztest_case>& cases, const std::map<std::string, std::string>& labels)
{
    std::map<std::string, int> uses;
    for (ztest_case& c : cases)
        uses[c.label = labels.at(c.name)]++;
    for (ztest_case& c : cases)
        if (uses[c.label] > 1)
            c.label = below_root(c.name);
}

// The label of a test found in the folder `suite`.
static std::string label_in(const std::string& suite, const std::string& name)
{
    fs::path folder = fs::path(suite).lexically_normal();
    if (!folder.has_filename())
        folder = folder.parent_path();
    fs::path label = fs::path(name).lexically_normal().lexically_relative(folder);
    return label.empty() || *label.begin() == ".." ? below_root(name) : label.string();
}

bool ztest_discover(const ztest_options& options, std::vector<ztest_case>& cases, std::string& error)
{
    std::map<std::string, std::string> labels;  // name to label, the first place it was found
    for (const std::string& path : options.paths) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            // Every NAME.zvs that has a file beside it, whatever stands at
            // NAME.zvs: a link to nothing there is a test that cannot run.
            fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec), end;
            for (; !ec && it != end; it.increment(ec)) {
                const fs::path& p = it->path();
                if (ends_with_zvs(p)) {
                    std::string name = (p.parent_path() / p.stem()).string();
                    if (is_test(make_case(name), options.update))
                        labels.emplace(name, label_in(path, name));
                }
            }
            if (ec) {
                error = path + ": " + ec.message();
                return false;
            }
        } else if (ends_with_zvs(path) && exists(path)) {
            // A program named on the command line is a test, whatever lies beside it.
            fs::path p(path);
            labels.emplace((p.parent_path() / p.stem()).string(), p.stem().string());
        } else {
            error = path + ": " + (exists(path) ? "not a .zvs program or a folder" : "no such file or folder");
            return false;
        }
    }
    for (const auto& [name, label] : labels) {
        ztest_case c = make_case(name);
        std::string why;
        if (c.error.empty() && !ztest_read_settings(c, why))
            c.error = why;
        cases.push_back(c);
    }
    give_labels(cases, labels);
    return true;
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

// One "key = value" line of NAME.test; false with the reason in `why`.
static bool read_setting(ztest_case& c, const std::string& key, const std::string& value, std::string& why)
{
    long long v = 0;
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
    static const range ranges[] = {
        {"debug", 0, 2}, {"frames", 1, INT64_MAX}, {"steps", 1, INT64_MAX}, {"status", 0, 255}, {"seed", 0, UINT32_MAX}};
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
            c.frames = v;
        else if (key == "steps")
            c.steps = v;
        else if (key == "status")
            c.status = (int)v;
        else
            c.seed = (unsigned)v;
        return true;
    }
    why = "unknown setting '" + key + "' (debug, frames, steps, seconds, status, seed)";
    return false;
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
    std::string line;
    for (int number = 1; std::getline(in, line); number++) {
        std::string text = trimmed(line.substr(0, line.find('#')));
        if (text.empty())
            continue;
        size_t eq = text.find('=');
        std::string why;
        if (eq == std::string::npos)
            why = "a line must be 'key = value' or a '#' comment";
        else
            read_setting(c, trimmed(text.substr(0, eq)), trimmed(text.substr(eq + 1)), why);
        if (!why.empty()) {
            error = path + ":" + std::to_string(number) + ": " + why;
            return false;
        }
    }
    return true;
}
