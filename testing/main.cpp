// zorvik-test [options] PATH...: runs every program under the paths that
// has expectation files beside it, and says which ones do what they should.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "profile.h"
#include "ztest.h"

static ztest_options options;

static void usage(FILE* out)
{
    fprintf(out,
            "usage: zorvik-test [options] PATH...\n"
            "  Runs each program NAME.zvs under the paths (files or folders) that has NAME.in,\n"
            "  NAME.keys, NAME.out, NAME.png or NAME.test beside it, and each NAME.test that\n"
            "  names its program (program = FILE), and checks its output and last frame.\n"
            "  --update        write NAME.out and NAME.png from this run, where they exist\n"
            "  --update=all    write NAME.out and NAME.png for every program under the paths\n"
            "  --tap           report in TAP version 13 on standard output\n"
            "  --junit FILE    also write a JUnit XML report to FILE\n"
            "  -j, --jobs N    run N tests at a time (default: the number of cores)\n"
            "  --artifacts DIR where a failed frame's NAME.actual.png and NAME.diff.png go, below DIR\n"
            "                  as below the folder searched (default: a new folder of this run's)\n"
            "  --coverage FILE write the statements, subroutines and branches run, as lcov\n"
            "  --profile FILE  write folded stacks of the statements run, for flame graphs\n"
            "  --flame-graph FILE  write a flame graph of the statements run, as SVG\n"
            "  --profile-table print the subroutines and the busiest lines by statements run\n"
            "  --seed N        seed the random numbers of the tests whose NAME.test sets no seed\n"
            "                  with N, 0 to 4294967295 (default 1)\n");
}

[[noreturn]] static void fail(const std::string& message)
{
    fprintf(stderr, "zorvik-test: %s\n", message.c_str());
    exit(2);
}

static int jobs_option(const char* text)
{
    char* end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (!*text || *end || errno || v < 1 || v > 1024)
        fail(std::string("bad value '") + text + "' for -j: a whole number from 1 to 1024 is needed");
    return (int)v;
}

static void seed_option(const char* text)
{
    char* end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(text, &end, 10);
    if (!*text || *text == '-' || *end || errno || v > UINT32_MAX)
        fail(std::string("bad value '") + text + "' for --seed: a whole number from 0 to 4294967295 is needed");
    options.seed_given = true;
    options.seed = (unsigned)v;
}

static void read_options(int argc, char** argv)
{
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    options.jobs = cores > 0 ? (int)std::min(cores, 1024L) : 1;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help") {
            usage(stdout);
            exit(0);
        }
        if (a == "--update" || a == "--update=all") {
            options.update = a == "--update" ? UPDATE_EXISTING : UPDATE_ALL;
            continue;
        }
        if (a == "--tap" || a == "--profile-table") {
            (a == "--tap" ? options.tap : options.profile_table) = true;
            continue;
        }
        if (a.size() > 2 && a.compare(0, 2, "-j") == 0 && a[2] != '-') {
            options.jobs = jobs_option(argv[i] + 2);
            continue;
        }
        if (a.empty() || a[0] != '-' || a == "-") {
            options.paths.push_back(a);
            continue;
        }
        // --name VALUE or --name=VALUE
        size_t eq = a.find('=');
        std::string name = a.substr(0, eq);
        static const char* const valued[] = {"-j", "--jobs", "--junit", "--artifacts", "--coverage", "--profile",
                                             "--flame-graph", "--seed"};
        if (std::find_if(std::begin(valued), std::end(valued), [&](const char* v) { return name == v; }) ==
            std::end(valued))
            fail("unknown option '" + a + "' (--help lists them)");
        const char* value = eq != std::string::npos ? argv[i] + eq + 1 : i + 1 < argc ? argv[++i] : nullptr;
        if (!value || !*value)
            fail("the value of " + name + " is missing (--help lists the options)");
        if (name == "-j" || name == "--jobs")
            options.jobs = jobs_option(value);
        else if (name == "--junit")
            options.junit = value;
        else if (name == "--artifacts")
            options.artifacts = value;
        else if (name == "--coverage")
            options.coverage = value;
        else if (name == "--profile")
            options.profile = value;
        else if (name == "--seed")
            seed_option(value);
        else
            options.flame_graph = value;
    }
    if (options.paths.empty()) {
        usage(stderr);
        exit(2);
    }
}

static bool write_file(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return (bool)out.flush();
}

static size_t total_cases;
static std::string own_artifacts;  // the folder made for this run's pictures, without --artifacts

static void report_counted(size_t index, const ztest_case& c, const ztest_result& r)
{
    ztest_report_line(index, c, r, options.tap, total_cases);
}

// Without --artifacts, the pictures go into a new folder that only this
// user can enter, so that no one else's run or link meets them.
static void make_own_artifacts()
{
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "zorvik-test-artifacts.XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        fail("cannot make a folder for the artifacts (" + pattern + "): " + strerror(errno));
    own_artifacts = options.artifacts = pattern;
}

// The run's own folder is named when it holds pictures, else removed.
static void report_own_artifacts()
{
    std::error_code error;
    if (own_artifacts.empty())
        return;
    if (std::filesystem::is_empty(own_artifacts, error))
        std::filesystem::remove(own_artifacts, error);
    else
        printf("%sthe pictures of the frames that differ are in %s/\n", options.tap ? "# " : "", own_artifacts.c_str());
}

// The bottom frame of a program's stacks: its path below its folder, with
// what would break a folded line (';' and control bytes) shown as '?'.
static std::string program_frame(const ztest_case& c)
{
    std::string frame = c.label + ".zvs";
    for (char& ch : frame)
        if (ch == ';' || (unsigned char)ch < 0x20 || ch == 0x7F)
            ch = '?';
    return frame;
}

// The coverage file, the folded stacks, the flame graph and the table, from
// every run. The stacks of the files start with the program, so frames of
// two programs stay apart; the table counts subroutines by name.
static bool write_counts(const std::vector<ztest_case>& cases, const std::vector<ztest_result>& results)
{
    bool written = true;
    auto write = [&](const std::string& path, const std::string& text) {
        if (!path.empty() && !write_file(path, text)) {
            fprintf(stderr, "zorvik-test: cannot write '%s'\n", path.c_str());
            written = false;
        }
    };
    if (!options.coverage.empty()) {
        std::vector<std::string> records;
        for (const ztest_result& r : results)
            records.push_back(r.lcov);
        write(options.coverage, ztest_merge_lcov(records));
    }
    profile_folded by_program, by_name;
    std::vector<profile_line> lines;
    for (size_t i = 0; i < results.size() && i < cases.size(); i++) {
        const ztest_result& r = results[i];
        for (const std::string* text : {&r.folded, &r.lines}) {
            std::istringstream in(*text);
            for (std::string line; std::getline(in, line);) {
                size_t space = line.rfind(' ');
                if (space == std::string::npos)
                    continue;
                uint64_t count = std::stoull(line.substr(space + 1));
                if (text == &r.lines) {
                    lines.push_back({line.substr(0, space), count});
                    continue;
                }
                by_program[program_frame(cases[i]) + ";" + line.substr(0, space)] += count;
                by_name[line.substr(0, space)] += count;
            }
        }
    }
    write(options.profile, profile_folded_text(by_program));
    if (!options.flame_graph.empty())
        write(options.flame_graph, profile_flame_svg(by_program, "zorvik-test: statements run by subroutine"));
    if (options.profile_table) {
        std::istringstream table(profile_table(by_name, lines));
        for (std::string line; std::getline(table, line);)
            printf("%s%s\n", options.tap ? "# " : "", line.c_str());
    }
    return written;
}

int main(int argc, char** argv)
{
    read_options(argc, argv);
    std::vector<ztest_case> cases;
    std::string error;
    if (!ztest_discover(options, cases, error))
        fail(error);
    for (ztest_case& c : cases)
        if (options.seed_given && !c.seed_set)
            c.seed = options.seed;
    if (cases.empty())
        fail("no tests under the paths given: a test is a NAME.zvs with NAME.out, NAME.png, NAME.in, NAME.keys or "
             "NAME.test beside it, or a NAME.test that names its program");
    if (options.artifacts.empty())
        make_own_artifacts();
    total_cases = cases.size();
    std::vector<ztest_result> results = ztest_run_all(cases, options, report_counted);
    report_own_artifacts();
    ztest_report_summary(results, options.tap);
    bool written = write_counts(cases, results);
    if (!options.junit.empty() && !ztest_write_junit(options.junit, cases, results)) {
        fprintf(stderr, "zorvik-test: cannot write '%s'\n", options.junit.c_str());
        written = false;
    }
    // A test that could not run has failed: its file is named in its report.
    bool failed = std::any_of(results.begin(), results.end(), [](const ztest_result& r) { return r.verdict != VERDICT_PASS; });
    if (!written)
        return 2;
    return failed ? 1 : 0;
}
