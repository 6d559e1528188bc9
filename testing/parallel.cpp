// Running the tests in children, `jobs` at a time. A child runs one test
// and writes its result into a file of the parent's scratch folder; the
// parent reads it once the child is gone, so a child that crashes is a
// failed test, not a lost run.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "ztest.h"

namespace fs = std::filesystem;

// A result as "FIELD LENGTH\nBYTES\n" entries.
static void put(std::ostream& out, const char* field, const std::string& value)
{
    out << field << " " << value.size() << "\n" << value << "\n";
}

static bool write_result(const std::string& path, const ztest_result& r)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    put(out, "verdict", std::to_string((int)r.verdict));
    put(out, "seconds", std::to_string(r.seconds));
    put(out, "summary", r.summary);
    put(out, "details", r.details);
    put(out, "lcov", r.lcov);
    put(out, "folded", r.folded);
    put(out, "lines", r.lines);
    return (bool)out.flush();
}

static bool read_result(const std::string& path, ztest_result& r)
{
    std::ifstream in(path, std::ios::binary);
    std::map<std::string, std::string> fields;
    std::string field;
    size_t size;
    while (in >> field >> size) {
        in.get();
        std::string value(size, '\0');
        if (!in.read(value.data(), (std::streamsize)size))
            return false;
        in.get();
        fields[field] = value;
    }
    if (!fields.count("verdict"))
        return false;
    r.verdict = (ztest_verdict)std::atoi(fields["verdict"].c_str());
    r.seconds = std::atof(fields["seconds"].c_str());
    r.summary = fields["summary"];
    r.details = fields["details"];
    r.lcov = fields["lcov"];
    r.folded = fields["folded"];
    r.lines = fields["lines"];
    return true;
}

static pid_t start_child(const ztest_case& c, const ztest_options& options, const std::string& result_path)
{
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        // Standard error stays the terminal's, for what the machine says there.
        ztest_result r = ztest_run(c, options);
        _exit(write_result(result_path, r) ? 0 : 3);
    }
    return pid;
}

// A child that left no result: why.
static ztest_result lost(int status)
{
    ztest_result r;
    r.verdict = VERDICT_FAIL;
    if (WIFSIGNALED(status))
        r.summary = "the test's process ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
                    strsignal(WTERMSIG(status)) + ")";
    else
        r.summary = "the test's process ended with status " + std::to_string(WEXITSTATUS(status)) +
                    " and no result";
    return r;
}

std::vector<ztest_result> ztest_run_all(const std::vector<ztest_case>& cases, const ztest_options& options,
                                        void (*done)(size_t index, const ztest_case& c, const ztest_result& r))
{
    std::vector<ztest_result> results(cases.size());
    std::vector<bool> finished(cases.size(), false);
    char pattern[] = "/tmp/zorvik-test-results.XXXXXX";
    std::string folder = mkdtemp(pattern) ? pattern : "";
    std::map<pid_t, size_t> running;
    size_t next = 0, reported = 0;
    auto result_path = [&](size_t i) { return folder + "/" + std::to_string(i); };
    while (reported < cases.size()) {
        while (next < cases.size() && (int)running.size() < options.jobs) {
            pid_t pid = folder.empty() ? -1 : start_child(cases[next], options, result_path(next));
            if (pid < 0) {
                results[next].summary = "cannot start the test's process";
                finished[next] = true;
            } else {
                running[pid] = next;
            }
            next++;
        }
        if (!running.empty()) {
            int status = 0;
            pid_t pid = waitpid(-1, &status, 0);
            if (pid < 0 && errno == EINTR)
                continue;
            auto at = running.find(pid);
            if (at != running.end()) {
                size_t i = at->second;
                running.erase(at);
                if (!read_result(result_path(i), results[i]))
                    results[i] = lost(status);
                finished[i] = true;
            }
        }
        while (reported < cases.size() && finished[reported]) {
            done(reported, cases[reported], results[reported]);
            reported++;
        }
    }
    std::error_code error;
    if (!folder.empty())
        fs::remove_all(folder, error);
    return results;
}
