// zorvik-check [options] FILE...: the command line, reading the files and
// printing the findings as FILE:LINE:COL lines that editors jump to.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"

struct check_options {
    bool enabled[W_COUNT];
    bool as_errors = false;
    bool caret = true;
};

static void usage(FILE* out)
{
    fprintf(out,
            "usage: zorvik-check [options] FILE...\n"
            "  -Wno-NAME         do not report warning NAME (-WNAME turns it back on)\n"
            "  -Werror           report findings as errors\n"
            "  --no-caret        leave out the source line and the caret\n"
            "  --list-warnings   print every warning NAME with what it finds\n"
            "FILE '-' is standard input. Exit status: 0 nothing found, 1 findings, 2 a file or option failed.\n");
}

// The whole file, or false with errno set.
static bool read_all(FILE* f, std::string& out)
{
    char buffer[1 << 16];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    return !ferror(f);
}

static bool read_source(const char* path, std::string& out)
{
    if (strcmp(path, "-") == 0)
        return read_all(stdin, out);
    FILE* f = fopen(path, "rb");
    if (!f)
        return false;
    bool ok = read_all(f, out);
    int err = errno;
    fclose(f);
    errno = err;
    return ok;
}

// Bytes of the source line shown on either side of the caret: a very long
// line is cut to this window, marked with "...".
constexpr long long CARET_SIDE = 100;

// The line of an offset, and a caret under its column. Tabs are kept so that
// the caret lines up however the terminal shows them; control bytes and
// bytes that are no UTF-8 are shown as \xNN, so that no file can reach the
// terminal's controls.
static void print_caret(const std::string& source, long long line_start, long long offset)
{
    std::string caret, shown = position_shown_line(source, line_start, offset, CARET_SIDE, &caret);
    printf("%s\n%s^\n", shown.c_str(), caret.c_str());
}

static void print_place(const char* name, const std::string& source, const std::vector<long long>& starts,
                        long long offset, const char* what, const std::string& message, const std::string& tag,
                        bool caret)
{
    source_place at = position_locate(starts, offset);
    printf("%s:%lld:%lld: %s: %s%s\n", name, at.line, at.column, what, message.c_str(), tag.c_str());
    if (caret)
        print_caret(source, starts[(size_t)at.line - 1], offset);
}

// Checks one source and prints its findings; the number printed.
static size_t check_file(const char* name, const std::string& source, const check_options& o)
{
    std::vector<long long> starts = position_line_starts(source);
    size_t reported = 0, tokens = 0;
    std::vector<check_finding> findings = check_source(source, &tokens);
    if (tokens == 0)  // an empty file, or a failed command before a pipe
        fprintf(stderr, "zorvik-check: %s: no tokens\n", name);
    for (const check_finding& f : findings) {
        if (!o.enabled[f.warning])
            continue;
        std::string tag = std::string(" [-W") + (o.as_errors ? "error=" : "") + check_warnings[f.warning].name + "]";
        print_place(name, source, starts, f.offset, o.as_errors ? "error" : "warning", f.message, tag, o.caret);
        if (f.note_offset >= 0)
            print_place(name, source, starts, f.note_offset, "note", f.note, "", o.caret);
        reported++;
    }
    return reported;
}

int main(int argc, char** argv)
{
    check_options o;
    for (bool& e : o.enabled)
        e = true;
    std::vector<const char*> files;
    bool options_done = false;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (options_done || a[0] != '-' || strcmp(a, "-") == 0) {
            files.push_back(a);
        } else if (strcmp(a, "--") == 0) {
            options_done = true;
        } else if (strcmp(a, "--list-warnings") == 0) {
            for (const check_warning& w : check_warnings)
                printf("%-18s %s\n", w.name, w.summary);
            return 0;
        } else if (strcmp(a, "--help") == 0) {
            usage(stdout);
            return 0;
        } else if (strcmp(a, "--no-caret") == 0) {
            o.caret = false;
        } else if (strcmp(a, "-Werror") == 0) {
            o.as_errors = true;
        } else if (strncmp(a, "-Wno-", 5) == 0 && check_warning_named(a + 5) >= 0) {
            o.enabled[check_warning_named(a + 5)] = false;
        } else if (strncmp(a, "-W", 2) == 0 && check_warning_named(a + 2) >= 0) {
            o.enabled[check_warning_named(a + 2)] = true;
        } else {
            fprintf(stderr, "zorvik-check: unknown option '%s' (--list-warnings names the warnings)\n", a);
            return 2;
        }
    }
    if (files.empty()) {
        usage(stderr);
        return 2;
    }

    bool failed = false;
    size_t reported = 0;
    for (const char* path : files) {
        std::string source;
        if (!read_source(path, source)) {
            fprintf(stderr, "zorvik-check: cannot read '%s': %s\n", path, strerror(errno));
            failed = true;
            continue;
        }
        reported += check_file(strcmp(path, "-") == 0 ? "<stdin>" : path, source, o);
    }
    fflush(stdout);
    return failed ? 2 : reported ? 1 : 0;
}
