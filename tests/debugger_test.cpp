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
    EXPECT_EQ(missing.err, "zorvik-debug: cannot open source file 'absent.zvs': No such file or directory\n");
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

// What follows a marker line printed by `print 424242`, up to the next one.
std::string between_markers(const std::string& out, int n)
{
    size_t at = 0;
    for (int i = 0; i <= n && at != std::string::npos; i++)
        at = out.find("424242 = 424242 ($67932)\n", at ? at + 1 : 0);
    if (at == std::string::npos)
        return "(no marker " + std::to_string(n) + ")";
    at = out.find('\n', at) + 1;
    size_t end = out.find("424242 = ", at);
    return out.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// A change made after going back forks the run: it sticks, the recorded
// future is dropped with a note, and the run from there, its output, its
// state and the history it leaves behind are those of a run where the same
// change was made live; jump forks the same way. A profile started in a
// subroutine names the frames the return stack holds.
TEST(Debugger, AChangeInThePastForksTheRun)
{
    const std::string there = "record\nbreak 8\ncondition 1 X == 2\nrun\ndelete 1\n";
    const std::string back = "next\nnext\nnext\nnext\nreverse-next\nreverse-next\nreverse-next\nreverse-next\n";
    const std::string change = "set var [$10] = 30\nprint [$10]\nset var X = 0\nnext\nprint [$10]\nprint X\n"
                               "print 424242\ncontinue\ninfo registers\nx $10 2\nreverse-step\nreverse-step\n"
                               "reverse-step\nprint [$11]\nreverse-continue\nprint [$10]\n";
    const std::string note = "the history after this statement is dropped\n";
    RunResult live = debug("calls.zvs", there + change);
    RunResult forked = debug("calls.zvs", there + back + change);
    size_t at = forked.out.find(note);
    ASSERT_NE(at, std::string::npos) << forked.out;
    EXPECT_EQ(forked.out.find(note, at + 1), std::string::npos) << "one note for one fork\n" << forked.out;
    EXPECT_EQ(live.out.find(note), std::string::npos) << live.out;
    // The change sticks where the run stands and past the next statement.
    EXPECT_NE(forked.out.find(note + "[$10] = 30 ($1e)\ncalls.zvs:9:9: next: bne loop\n[$10] = 30 ($1e)\nX = 0 ($0)\n"),
              std::string::npos)
        << forked.out;
    EXPECT_EQ(between_markers(forked.out, 0), between_markers(live.out, 0));
    // 30 + 3 * 7 + 44 is '_': the new run's output, not the recorded 'A'.
    EXPECT_NE(between_markers(live.out, 0).find("_\ncalls.zvs:18:9: program ended with status 0\n"), std::string::npos)
        << live.out;

    RunResult jumped_live = debug("calls.zvs", there + "print 424242\njump 10\nprint [$11]\n");
    RunResult jumped = debug("calls.zvs", there + back + "print 424242\njump 10\nprint [$11]\n");
    EXPECT_EQ(between_markers(jumped.out, 0), note + between_markers(jumped_live.out, 0)) << jumped.out;

    RunResult profile = debug("calls.zvs", "break 20\nrun\nprofile on\ncontinue\ninfo profile\n");
    EXPECT_NE(profile.out.find("\nmain "), std::string::npos) << profile.out;
    EXPECT_NE(profile.out.find("\nbump "), std::string::npos) << profile.out;
    EXPECT_EQ(profile.out.find("\nadc "), std::string::npos) << "no frame named by a statement\n" << profile.out;
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
                       "spin.zvs:4:1: program ended with status 0\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("program ended with status 0\n[$10] = 5 ($5)\n"), std::string::npos) << out;
}

// gdb's forms: run stops at a breakpoint and starts again when a run is
// under way, start stops before the first statement, jump goes on
// elsewhere (at once stopped by a breakpoint there), kill ends the run and
// keeps the points; frames over the jsr stack; print/F and x/NFU.
TEST(Debugger, GdbFormsRunFramesAndFormats)
{
    const std::string mark = "print 424242\n";
    RunResult r = debug("calls.zvs",
                        "break bump\nrun\nnext\n" + mark +  // 0
                            "run\nprint X\nbacktrace\nup\ninfo frame\nup\nlist\ndown 5\nframe 3\nframe\n" + mark +  // 1
                            "start\ntbreak 10\njump 10\nprint X\nkill\nbacktrace\nnext\nreverse-step\nkill\ninfo breakpoints\nrun\n" + mark +  // 2
                            "set var [$40] = $c8\nset var [$41] = 1\nprint/x [$40]\nprint/d ~0\nprint/u ~0\nprint/t 5\n"
                            "print /c [$40]\nprint/c 39\nx/2xb $40\nx/1xh $40\nx/2db $40\nx/3 $40\nx/2ub $40\nx/tb $41\n"
                            "x/2c $40\nx/2xg $40\nprint/q 1\nx/2q $40\nbreak/x 3\n" + mark);  // 3
    EXPECT_NE(r.out.find("Breakpoint 1 at calls.zvs:19:9: lda $10\ncalls.zvs:19:9: breakpoint 1: lda $10\n"
                         "calls.zvs:20:9: next: adc #7\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(between_markers(r.out, 0),
              "calls.zvs:19:9: breakpoint 1: lda $10\n"
              "X = 1 ($1)\n"
              "#0  calls.zvs:19:9: lda $10\n"
              "#1  calls.zvs:7:9: jsr bump\n"
              "#1  calls.zvs:7:9: jsr bump\n"
              "Stack level 1, calls.zvs:7:9: jsr bump\n"
              "  in the main program, the outermost frame\n"
              "  caller of frame 0: jsr to bump, which returns to calls.zvs:8:9: cpx #3\n"
              "  return stack slot 0 of depth 1\n"
              "#1 is the outermost frame: no jsr called it\n"
              "      2  ; the letter 21 + 44 = 65 ('A') and a line end.\n"
              "      3          lda #0\n"
              "      4          sta $10\n"
              "      5          ldx #0\n"
              "      6  loop    inx\n"
              "      7          jsr bump\n"
              "      8          cpx #3\n"
              "      9          bne loop\n"
              "     10          lda $10\n"
              "     11          adc #44\n"
              "#0  calls.zvs:19:9: lda $10\n"
              "no frame #3: the frames are #0 to #1\n"
              "#0  calls.zvs:19:9: lda $10\n");
    EXPECT_EQ(between_markers(r.out, 1),
              "calls.zvs:3:9: start: lda #0\n"
              "Temporary breakpoint 2 at calls.zvs:10:9: lda $10\n"
              "calls.zvs:10:9: temporary breakpoint 2: lda $10\n"
              "X = 0 ($0)\n"
              "the run is ended; the points stay: 'run' or 'start' starts it again\n"
              "no stack: the program is not running\n"
              "the program is not running: 'run' or 'start' starts it\n"
              "the program is not running: 'run' or 'start' starts it\n"
              "the program is not running\n"
              "Num  Type        Enb  Hits  Where\n"
              "1    breakpoint  y    2     calls.zvs:19:9 (bump)\n"
              "calls.zvs:19:9: breakpoint 1: lda $10\n");
    EXPECT_EQ(between_markers(r.out, 2),
              "[$40] = $c8\n"
              "~0 = -1\n"
              "~0 = 4294967295\n"
              "5 = 101\n"
              "[$40] = 200 '\\xC8'\n"
              "39 = 39 '\\''\n"
              "$000040: c8 01\n"
              "$000040: 01c8\n"
              "$000040:  -56    1\n"
              "$000040:  -56    1    0\n"
              "$000040: 200   1\n"
              "$000041: 00000001\n"
              "$000040: 200 '\\xC8'   1 '\\x01'\n"
              "$000040: 00000000000001c8 0000000000000000\n"
              "print/q: the format is one letter of x (hex), d (signed), u (unsigned), t (binary) or c (character)\n"
              "x/2q: 'q' is no format (x d u t c) or unit (b h w g)\n"
              "break takes no /FORMAT; print/F and x/NFU do\n");
}

// Messages that say what went wrong: counts and lengths of 0, addresses
// outside memory, where an x was cut, the palette's colour of a pixel
// whatever the surface, and the stop of until and reverse-next.
TEST(Debugger, MessagesSayWhatHappened)
{
    RunResult r = debug("calls.zvs",
                        "x $40 0\nwatch $40,0\nx/0xb $40\nx -1\nwatch $fffffe,4\nx $fffff8 16\nx/2xw $fffffc\n"
                        "x/4xw $fffffe\nx 0 70000\nset var [$100] = $30\ninfo pixel 1 0\nrecord\nnext\nnext\nuntil\n"
                        "reverse-next\n");
    EXPECT_NE(r.out.find("x needs a count of at least 1\n"
                         "watch needs a length of at least 1: watch ADDR,LEN\n"
                         "x needs a count of at least 1\n"
                         "-$1 is outside memory, which is $0 to $ffffff\n"
                         "cannot watch 4 bytes at $fffffe: memory ends at $ffffff\n"
                         "$fffff8: 00 00 00 00 00 00 00 00" + std::string(26, ' ') + "........\n"
                         "(cut after $ffffff: memory ends there)\n"
                         "$fffffc: 00000000\n"
                         "(cut after $ffffff: memory ends there)\n"
                         "a 4-byte unit at $fffffe runs past the end of memory ($ffffff)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("$00fff0: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  ................\n"
                         "(cut after $ffff: one x shows at most 65536 bytes; x $10000 goes on)\n"
                         "pixel (1, 0): cell $100 = 48 ($30), colour #00557f\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("calls.zvs:4:9: next: sta $10\ncalls.zvs:5:9: next: ldx #0\ncalls.zvs:6:9: until: inx\n"
                         "calls.zvs:5:9: reverse next: ldx #0\n"),
              std::string::npos)
        << r.out;
}

// Whether every byte of `text` is printable: lines and tabs, the rest
// ASCII that is no control or whole UTF-8 characters.
bool printable(const std::string& text)
{
    for (size_t i = 0; i < text.size(); i++) {
        unsigned char c = (unsigned char)text[i];
        if (c < 0x80) {
            if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F)
                return false;
            continue;
        }
        size_t n = c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xF0 && c < 0xF5 ? 4 : 0;
        if (n == 0 || i + n > text.size())
            return false;
        for (size_t k = 1; k < n; k++)
            if (((unsigned char)text[i + k] & 0xC0) != 0x80)
                return false;
        i += n - 1;
    }
    return true;
}

// Control bytes and bytes that are no UTF-8 reach the terminal as \xNN, in
// list, the stop lines, backtrace and break; a long line is cut around
// the place shown; a binary file loaded by mistake prints nothing raw.
TEST(Debugger, SourceTextIsShownSafely)
{
    std::string dir = enter_run_dir();
    std::string wide(300, 'w');
    std::ofstream(dir + "/odd.zvs") << "        lda #1 ; \x1b[2J\x07 caf\xc3\xa9 \xff\xc3\n"
                                       "        sta $10 ; " + wide + "\n" + wide + " ; " + wide + "\n        brk\n";
    std::ofstream(dir + "/script") << "list\nstep\nbacktrace\nbreak 4\n";
    RunResult odd = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "script", "odd.zvs"}, "", dir);
    EXPECT_TRUE(printable(odd.out)) << odd.out;
    EXPECT_NE(odd.out.find("odd.zvs:1:9: start: lda #1 ; \\x1B[2J\\x07 caf\xc3\xa9 \\xFF\\xC3\n"), std::string::npos)
        << odd.out;
    // The statement's line from the statement on, cut 100 bytes after it.
    std::string stop = "odd.zvs:2:9: step: sta $10 ; " + std::string(100 - 10, 'w') + "...\n";
    EXPECT_NE(odd.out.find(stop), std::string::npos) << odd.out;
    EXPECT_NE(odd.out.find("      3  " + std::string(100, 'w') + "...\n"), std::string::npos) << odd.out;

    std::string binary;
    for (int i = 0; i < 4096; i++)
        binary += (char)(i * 7919 % 251);
    std::ofstream(dir + "/binary.zvs") << binary;
    std::ofstream(dir + "/script") << "list\nlist 3\nstep\nbacktrace\ninfo frame\n";
    RunResult bin = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "script", "binary.zvs"}, "", dir);
    EXPECT_TRUE(printable(bin.out)) << bin.out;
    EXPECT_NE(bin.out.find("\\x"), std::string::npos) << bin.out;
}

}  // namespace

namespace {

// A line of the transcript that starts with `start`, or empty.
std::string line_starting(const std::string& text, const std::string& start)
{
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end;
        if (text.compare(at, start.size(), start) == 0)
            return text.substr(at, end - at);
        at = end + 1;
    }
    return "";
}

// The lines after the first one that holds `marker`, up to `count` of them.
std::string lines_after(const std::string& text, const std::string& marker, int count)
{
    size_t at = text.find(marker);
    if (at == std::string::npos)
        return "";
    at = text.find('\n', at) + 1;
    size_t end = at;
    for (int i = 0; i < count && end < text.size(); i++)
        end = text.find('\n', end) + 1;
    return text.substr(at, end - at);
}

}  // namespace

// A kept run, dodge.test (a game that reads its keys and random numbers
// and a name from the console), opened with zorvik-debug NAME.test: the
// run is the test's, whose output zorvik-test holds to dodge.out; a
// breakpoint's hits and the registers at the end are those of a live run
// from the same parts without a history; going back from the end and
// forward again gives the same state, printing nothing twice. The kept run
// dodge-1.test ends on purpose after its 30th frame, where a live run
// stopped at that frame stands.
TEST(Debugger, AKeptTestsRunReplaysUnderTheDebugger)
{
    std::string dir = enter_run_dir();
    for (const auto& entry : fs::directory_iterator(kData / "replay"))
        fs::copy_file(entry.path(), fs::path(dir) / entry.path().filename());
    RunResult tested = run_binary(ZORVIK_TEST_BIN, {"."}, "", dir);
    ASSERT_EQ(tested.status, 0) << tested.out;
    std::string expected = read_file(dir + "/dodge.out");
    ASSERT_FALSE(expected.empty());

    std::ofstream(dir + "/replayed") << "info run\nbreak hit\ncontinue\ncontinue 1000\ninfo breakpoints\n"
                                        "info registers\nprint [$52]\n"
                                        "ignore 1 0\nreverse-continue\nprint [$51]\ninfo registers\nreverse-step\nreverse-step\n"
                                        "print [$51]\ndelete\ncontinue\ninfo registers\nprint [$52]\n";
    RunResult replayed = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "replayed", "dodge.test"}, "", dir);
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_EQ(line_starting(replayed.out, "seed"), "seed 7");
    EXPECT_EQ(line_starting(replayed.out, "key script"), "key script: 4 key events, 0 of them due by the frames shown so far");
    // The output once, though the end is reached twice.
    size_t printed = replayed.out.find(expected);
    ASSERT_NE(printed, std::string::npos) << replayed.out;
    EXPECT_EQ(replayed.out.find(expected, printed + 1), std::string::npos) << replayed.out;

    std::ofstream(dir + "/live") << "break hit\ncontinue\ncontinue 1000\ninfo breakpoints\ninfo registers\nprint [$52]\n";
    RunResult live = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "live", "--seed", "7", "--keys", "dodge.keys",
                                                   "--input", "dodge.in", "dodge.zvs"}, "", dir);
    ASSERT_EQ(live.status, 0) << live.err;
    EXPECT_NE(live.out.find(expected), std::string::npos) << live.out;
    // 18 frames with the right arrow held: 5 to 11 and 20 to 30.
    std::string hits = line_starting(live.out, "1    breakpoint");
    EXPECT_EQ(hits, "1    breakpoint  y    18    dodge.zvs:30:9 (hit)");
    EXPECT_EQ(line_starting(replayed.out, "1    breakpoint"), hits);
    // The registers and the player's column at the end.
    std::string end = lines_after(live.out, "ignore the next", 3);
    ASSERT_NE(end, "");
    EXPECT_EQ(lines_after(replayed.out, "ignore the next", 3), end);
    // Back to the last hit (frame 30 drawn, 29 counted), two statements
    // further back, and forward again to the same end.
    EXPECT_NE(replayed.out.find("dodge.zvs:30:9: breakpoint 1: lda $52\n[$51] = 29 ($1d)\n"), std::string::npos)
        << replayed.out;
    EXPECT_NE(replayed.out.find("reverse step: cmp #1\n"), std::string::npos) << replayed.out;
    size_t again = replayed.out.rfind("program ended with status 0\n");
    ASSERT_NE(again, std::string::npos);
    EXPECT_EQ(replayed.out.substr(again + 28), end) << replayed.out;

    // A change at the last hit forks the run: it goes on live from frame
    // 30, the script with it (the arrow let go after frame 31), to the same
    // end, which prints again.
    std::ofstream(dir + "/forked") << "break hit\ncontinue\ncontinue 1000\nignore 1 0\nreverse-continue\n"
                                      "set var [$70] = 1\ndelete\ncontinue\ninfo registers\nprint [$52]\n";
    RunResult forked = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "forked", "dodge.test"}, "", dir);
    EXPECT_NE(forked.out.find("the history after this statement is dropped\n"), std::string::npos) << forked.out;
    size_t first = forked.out.find(expected), second = forked.out.rfind(expected);
    EXPECT_NE(first, second) << forked.out;
    std::string tail = expected + "dodge.zvs:67:9: program ended with status 0\n" + end;
    EXPECT_EQ(forked.out.substr(second), tail) << forked.out;

    // The kept run that stops after frame 30; a live run stopped by a
    // condition at the statement after that frame's refresh agrees.
    std::ofstream(dir + "/kept") << "continue\ninfo registers\nprint [$51]\nprint [$52]\nreverse-step\nstep\ncontinue\n";
    RunResult kept = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "kept", "dodge-1.test"}, "", dir);
    std::string ends = "dodge.zvs:26:9: the run ends after shown frame 30, as the test's stop-after-frame asks\n";
    size_t stop = kept.out.find(ends);
    ASSERT_NE(stop, std::string::npos) << kept.out;
    EXPECT_EQ(kept.out.rfind(ends), kept.out.size() - ends.size()) << kept.out;  // again after going back
    std::ofstream(dir + "/kept-live") << "break 26\ncondition 1 [$51] == 29\ncontinue\ninfo registers\nprint [$51]\n"
                                         "print [$52]\n";
    RunResult at_frame = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "kept-live", "--seed", "3", "--keys",
                                                       "dodge-1.keys", "--input", "dodge-1.in", "dodge.zvs"}, "", dir);
    EXPECT_EQ(lines_after(kept.out, ends, 4), lines_after(at_frame.out, "breakpoint 1: int #20", 4)) << at_frame.out;
    EXPECT_NE(kept.out.find("[$51] = 29 ($1d)\n"), std::string::npos) << kept.out;

    // A broken kept run names the broken part and still opens its program:
    // a bad key item with its line, events out of order, a bad setting, and
    // settings that only the test runner applies.
    std::ofstream(dir + "/bad.keys") << "# fine\n3:up:down\n5:nokey:down\n";
    std::ofstream(dir + "/run") << "continue\n";
    RunResult bad = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "run", "--keys", "bad.keys", "dodge.zvs"}, "", dir);
    EXPECT_EQ(bad.status, 0);
    EXPECT_EQ(bad.err, "zorvik-debug: bad.keys: line 3: bad key script item '5:nokey:down': no key is named 'nokey'; "
                       "the program opens without its key events\n");
    EXPECT_NE(bad.out.find("program ended with status 0"), std::string::npos) << bad.out;
    std::ofstream(dir + "/late.keys") << "9:right:down\n4:right:up\n";
    RunResult late = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "--keys", "late.keys", "dodge.zvs"}, "", dir);
    EXPECT_EQ(late.err, "zorvik-debug: late.keys: key script item '4:right:up' is out of order: it comes after "
                        "'9:right:down'; each event plays at its own frame\n");
    std::ofstream(dir + "/broken.test") << "program = dodge.zvs\nspeed = 3\n";
    RunResult broken = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "run", "broken.test"}, "", dir);
    EXPECT_EQ(broken.status, 0);
    EXPECT_EQ(broken.err, "zorvik-debug: broken.test:2: unknown setting 'speed' (program, debug, frames, stop-after-frame, "
                          "steps, seconds, status, seed); dodge.zvs opens without the test's settings, keys and input\n");
    EXPECT_NE(broken.out.find("program ended with status 0"), std::string::npos) << broken.out;
    std::ofstream(dir + "/limits.test") << "program = dodge.zvs\nsteps = 100000\nseconds = 5\n";
    RunResult limits = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "limits.test"}, "", dir);
    EXPECT_EQ(limits.err, "zorvik-debug: limits.test: the test's steps and seconds apply to zorvik-test's runs only; "
                          "Ctrl-C stops a run here\n");
    std::ofstream(dir + "/lost.test") << "program = gone.zvs\n";
    EXPECT_EQ(run_binary(ZORVIK_DEBUG_BIN, {"--batch", "lost.test"}, "", dir).status, 2);
    RunResult seed = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "--seed", "-1", "dodge.zvs"}, "", dir);
    EXPECT_EQ(seed.status, 2);
    EXPECT_EQ(seed.err, "zorvik-debug: bad value '-1' for --seed: a whole number from 0 to 4294967295 is needed\n");
}
