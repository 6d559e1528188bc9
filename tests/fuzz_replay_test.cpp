// Replays every input kept under tests/fuzz/TARGET/ (those that once made
// a fuzz target fail, and a few that reach its corners) through the same
// driver the target uses, under this build's sanitizers.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "../fuzz/drive.h"
#include "parse.h"
#include "services.h"
#include "support.h"

namespace fs = std::filesystem;

// LeakSanitizer's check, present only in sanitizer builds.
extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

// Runs fn over every input kept for a target, in a child of its own: no
// terminal for the step pause, and a hang or a sanitizer's report ends the
// child, not the suite. Leaks count as failures where LeakSanitizer is in.
void replay(const char* target, void (*fn)(const uint8_t*, size_t), bool font = false)
{
    std::vector<std::string> inputs;
    for (const auto& entry : fs::directory_iterator(fs::path(ZORVIK_SOURCE_DIR) / "tests/fuzz" / target))
        inputs.push_back(read_file(entry.path().string()));
    ASSERT_FALSE(inputs.empty());
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        alarm(120);
        if (chdir(make_temp_dir().c_str()) != 0 || !freopen("/dev/null", "w", stdout))
            _exit(3);
        // Programs draw text with the machine's font, as they do under the fuzzer.
        if (font && !fuzz_take_font(ZORVIK_RUN_DIR "/term.mxf"))
            _exit(5);
        run_budget = 100;
        set_callback(calls);
        for (const std::string& in : inputs)
            fn((const uint8_t*)in.data(), in.size());
        bool leaked = __lsan_do_recoverable_leak_check && __lsan_do_recoverable_leak_check();
        _exit(leaked ? 4 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << target << ": status " << status;
}

TEST(FuzzReplay, EveryKeptInputRunsClean)
{
    replay("run", fuzz_run_source, true);
    replay("font", fuzz_font_file);
    replay("lsp", fuzz_lsp_session);
    replay("png", fuzz_png_file);
}
