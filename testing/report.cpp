// The reports: a line per test and a summary on a terminal, TAP version 13
// (which Test::Harness's prove reads), and JUnit XML as Jenkins and GitLab
// read it.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "capture.h"
#include "position.h"
#include "ztest.h"

static const char* verdict_word(const ztest_result& r)
{
    return r.verdict == VERDICT_PASS ? "PASS" : r.verdict == VERDICT_BAD ? "ERROR" : "FAIL";
}

// Each line of a text, behind a prefix, safe for a terminal.
static void print_lines(const std::string& text, const char* prefix)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl;
        std::string line = text.substr(start, end - start);
        printf("%s%s\n", prefix, position_shown_line(line, 0, 0, (long long)line.size() + 1).c_str());
        start = end + 1;
    }
}

// A path as a shell reads it back: as it is when every byte is plain, else
// in single quotes.
static std::string shell_word(const std::string& word)
{
    if (!word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./+-=:,@%") ==
                             std::string::npos)
        return word;
    std::string quoted = "'";
    for (char ch : word)
        quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return quoted + "'";
}

// The one command that opens a failed test's run in the debugger, from the
// folder the tests ran in: its NAME.test, which holds the run's parts, or
// the program with its seed, keys and input.
static std::string debug_command(const ztest_case& c)
{
    std::string seed = "--seed " + std::to_string(c.seed) + " ";
    if (c.has_test)
        return "zorvik-debug " + (c.seed_set || c.seed == CAPTURE_SEED ? "" : seed) + shell_word(c.name + ".test");
    std::string command = "zorvik-debug --record " + seed + "--frames " + std::to_string(c.frames) + " ";
    if (c.has_keys)
        command += "--keys " + shell_word(c.name + ".keys") + " ";
    if (c.has_in)
        command += "--input " + shell_word(c.name + ".in") + " ";
    return command + shell_word(c.program);
}

void ztest_report_line(size_t index, const ztest_case& c, const ztest_result& r, bool tap, size_t total)
{
    std::string name = position_shown_line(c.name, 0, 0, (long long)c.name.size() + 1);
    if (tap) {
        if (index == 0)
            printf("TAP version 13\n1..%zu\n", total);
        printf("%s %zu - %s\n", r.verdict == VERDICT_PASS ? "ok" : "not ok", index + 1, name.c_str());
        // Diagnostics are comments, which every TAP reader passes over.
        print_lines(r.summary, "# ");
        print_lines(r.details, "# ");
        if (r.verdict == VERDICT_FAIL)
            print_lines("debug it: " + debug_command(c), "# ");
    } else {
        printf("%s %s (%.2f s)%s%s\n", verdict_word(r), name.c_str(), r.seconds, r.summary.empty() ? "" : ": ",
               position_shown_line(r.summary, 0, 0, (long long)r.summary.size() + 1).c_str());
        print_lines(r.details, "    ");
        if (r.verdict == VERDICT_FAIL)
            print_lines("debug it: " + debug_command(c), "    ");
    }
    fflush(stdout);
}

void ztest_report_summary(const std::vector<ztest_result>& results, bool tap)
{
    size_t passed = 0, failed = 0, bad = 0;
    for (const ztest_result& r : results) {
        passed += r.verdict == VERDICT_PASS;
        failed += r.verdict == VERDICT_FAIL;
        bad += r.verdict == VERDICT_BAD;
    }
    if (results.empty() && tap)
        printf("TAP version 13\n1..0\n");
    printf("%s%zu passed, %zu failed", tap ? "# " : "", passed, failed + bad);
    if (bad)
        printf(" (%zu could not run)", bad);
    printf("\n");
}

// Text as XML 1.0 allows it: markup escaped, control bytes (which XML
// cannot hold at all) and bytes that are no UTF-8 written as \xNN.
static std::string xml_text(const std::string& text)
{
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl;
        std::string line = text.substr(start, end - start);
        for (char ch : position_shown_line(line, 0, 0, (long long)line.size() + 1)) {
            switch (ch) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\t': out += "&#9;"; break;
            default: out += ch;
            }
        }
        if (nl == std::string::npos)
            break;
        out += "\n";
        start = nl + 1;
    }
    return out;
}

bool ztest_write_junit(const std::string& path, const std::vector<ztest_case>& cases,
                       const std::vector<ztest_result>& results)
{
    size_t failures = 0, errors = 0;
    double seconds = 0;
    for (const ztest_result& r : results) {
        failures += r.verdict == VERDICT_FAIL;
        errors += r.verdict == VERDICT_BAD;
        seconds += r.seconds;
    }
    char stamp[32] = "";
    time_t now = time(nullptr);
    strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", gmtime(&now));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    char head[512];
    snprintf(head, sizeof head,
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<testsuites name=\"zorvik-test\" tests=\"%zu\" failures=\"%zu\" errors=\"%zu\" time=\"%.3f\">\n"
             "  <testsuite name=\"zorvik-test\" tests=\"%zu\" failures=\"%zu\" errors=\"%zu\" skipped=\"0\" "
             "time=\"%.3f\" timestamp=\"%s\">\n",
             results.size(), failures, errors, seconds, results.size(), failures, errors, seconds, stamp);
    out << head;
    for (size_t i = 0; i < cases.size() && i < results.size(); i++) {
        const ztest_result& r = results[i];
        std::filesystem::path p(cases[i].name);
        std::string folder = p.parent_path().string();
        char time_text[32];
        snprintf(time_text, sizeof time_text, "%.3f", r.seconds);
        out << "    <testcase classname=\"" << xml_text(folder.empty() ? "." : folder) << "\" name=\""
            << xml_text(p.filename().string()) << "\" file=\"" << xml_text(cases[i].name + ".zvs") << "\" time=\""
            << time_text << "\"";
        if (r.verdict == VERDICT_PASS) {
            out << "/>\n";
            continue;
        }
        const char* tag = r.verdict == VERDICT_BAD ? "error" : "failure";
        out << ">\n      <" << tag << " message=\"" << xml_text(r.summary) << "\" type=\"" << tag << "\">"
            << xml_text(r.details) << "</" << tag << ">\n    </testcase>\n";
    }
    out << "  </testsuite>\n</testsuites>\n";
    return (bool)out.flush();
}
