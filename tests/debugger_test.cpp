// zorvik-debug through the built program: a whole session from a script,
// the machine's own output under it, going back in time, and Ctrl-C.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support.h"

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(ZORVIK_SOURCE_DIR) / "tests/debugger";

// Runs the debugger in a fresh run folder on a copy of the data file
// `program`, with the commands of `script` and the program's console input.
RunResult debug(const std::string& program, const std::string& script, const std::string& input = "",
                std::vector<std::string> options = {})
{
    std::string dir = enter_run_dir();
    fs::copy_file(kData / program, fs::path(dir) / program);
    std::ofstream(dir + "/script") << script;
    std::ofstream(dir + "/input") << input;
    std::vector<std::string> args = {"--batch", "-x", "script", "--input", "input"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(program);
    return run_binary(ZORVIK_DEBUG_BIN, args, "", dir);
}

// Breakpoints by line and label, tbreak, condition, ignore, watch, step,
// next over a jsr, finish, until, print, set var, x, bt and bad input.
TEST(Debugger, ScriptedSessionPrintsTheExpectedTranscript)
{
    std::string dir = enter_run_dir();
    for (const char* name : {"calls.zvs", "session.txt"})
        fs::copy_file(kData / name, fs::path(dir) / name);
    RunResult r = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "session.txt", "calls.zvs"}, "", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, read_file((kData / "session.out").string()));
}

// With no stops, a program prints exactly what the machine prints: between
// the start line and the end line.
TEST(Debugger, ProgramsPrintWhatTheMachinePrints)
{
    int checked = 0;
    for (const char* folder : {"tests/golden", "docs/examples"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(ZORVIK_SOURCE_DIR) / folder)) {
            fs::path p = entry.path();
            if (p.extension() != ".zvs" || fs::exists(fs::path(p).replace_extension(".args")))
                continue;
            fs::path in = fs::path(p).replace_extension(".in");
            std::string input = fs::exists(in) ? read_file(in.string()) : "";
            std::string dir = enter_run_dir();
            std::ofstream(dir + "/input") << input;
            std::ofstream(dir + "/script") << "continue\n";
            RunResult machine = run_zorvik({p.string()}, input, dir);
            RunResult under = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "script", "--input", "input", p.string()}, "", dir);
            size_t start = under.out.find('\n') + 1;
            size_t end = under.out.rfind(p.string() + ":");
            ASSERT_NE(end, std::string::npos) << under.out;
            EXPECT_EQ(under.out.substr(start, end - start), machine.out) << p;
            EXPECT_NE(under.out.find(": program ended with status 0\n", end), std::string::npos) << under.out;
            checked++;
        }
    }
    EXPECT_GE(checked, 8);

    RunResult missing = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "absent.zvs"}, "", enter_run_dir());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "zorvik: cannot open source file 'absent.zvs': No such file or directory\n");
}

std::string repeated(const std::string& command, int n)
{
    std::string s;
    for (int i = 0; i < n; i++)
        s += command + "\n";
    return s;
}

std::string after_marker(const std::string& out)
{
    size_t at = out.find("= 424242");
    return at == std::string::npos ? "(no marker)" : out.substr(at);
}

// Undoing statements gives back the registers, flags, stacks and memory of
// a run stopped there; going forward again replays the history and reads
// no console input twice.
TEST(Debugger, ReverseStepGivesBackTheEarlierStateExactly)
{
    const std::string look = "print 424242\ninfo registers\ninfo stack\nx $10 4\n";
    for (int back = 1; back <= 14; back += 3) {
        RunResult there = debug("stacks.zvs", repeated("step", 16 - back) + look, "5 7");
        RunResult undone = debug("stacks.zvs", repeated("step", 16) + repeated("reverse-step", back) + look, "5 7",
                                 {"--record"});
        EXPECT_EQ(after_marker(undone.out), after_marker(there.out)) << back << " back\n" << undone.out;
        // The same after a recorded continue, which the engine records itself.
        RunResult ran = debug("stacks.zvs", "record\nbreak 14\ncontinue\n" + repeated("reverse-step", back + 1) + look,
                              "5 7");
        EXPECT_EQ(after_marker(ran.out), after_marker(there.out)) << back << " back after continue\n" << ran.out;
    }
    // A trap after the history's ring has wrapped takes its entry back
    // without harming the oldest one: going back to the start is exact.
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/count.zvs") << "loop inx\n stx $10\n jmp loop\n";
    std::ofstream(dir + "/script") << "record\nbreak 1\ncondition 1 X == 40\ncontinue\nreverse-continue\n"
                                      "print [$10]\nprint X\n";
    RunResult wrapped = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "--history", "15", "-x", "script", "count.zvs"}, "", dir);
    EXPECT_NE(wrapped.out.find("start of the history: inx\n[$10] = 35 ($23)\nX = 35 ($23)\n"), std::string::npos)
        << wrapped.out;

    RunResult replayed = debug("stacks.zvs",
                               "record\nnext\nnext\nreverse-step\nreverse-step\nnext\nnext\nnext\nnext\n"
                               "print [$10]\nprint [$11]\n",
                               "5 7");
    EXPECT_NE(replayed.out.find("[$10] = 5 ($5)\n[$11] = 7 ($7)\n"), std::string::npos) << replayed.out;
}

// Ctrl-C stops a busy loop before its next statement, and the session goes
// on; `run` after an edit reads the source again and says which points no
// longer fit.
TEST(Debugger, InterruptStopsABusyLoopAndRunReadsAnEditedSource)
{
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/spin.zvs") << "spin inx\n jmp spin\n";
    std::ofstream(dir + "/talk.sh") << "mkfifo commands\n"
                                       "\"$1\" spin.zvs <commands >out 2>&1 & pid=$!\n"
                                       "exec 3>commands\n"
                                       "echo continue >&3\n"
                                       // until the stop shows: a slow start may take the first
                                       "for i in $(seq 100); do sleep 0.2; kill -INT $pid;\n"
                                       "  grep -q interrupted out && break; done\n"
                                       "echo 'print 6 * 7' >&3\n"
                                       "echo 'break 2' >&3\n"
                                       "sleep 0.5\n"
                                       "printf '        lda #5\\n\\n        sta $10\\n' > spin.zvs\n"
                                       "echo run >&3\n"
                                       "echo continue >&3\n"
                                       "echo 'print [$10]' >&3\n"
                                       "echo quit >&3\n"
                                       "wait $pid\n";
    RunResult r = run_binary("/bin/bash", {"talk.sh", ZORVIK_DEBUG_BIN}, "", dir);
    EXPECT_EQ(r.status, 0);
    std::string out = read_file(dir + "/out");
    EXPECT_NE(out.find(": interrupted: "), std::string::npos) << out;
    EXPECT_NE(out.find("6 * 7 = 42 ($2a)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("spin.zvs has changed: reading it again\n"
                       "breakpoint 1 at 2 no longer fits: line 2 holds no statement; deleted\n"
                       "spin.zvs:1:9: start: lda #5\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("program ended with status 0\n[$10] = 5 ($5)\n"), std::string::npos) << out;
}

}  // namespace
