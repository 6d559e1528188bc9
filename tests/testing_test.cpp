// zorvik-test through the built program: small programs that pass and fail
// in each way, the exit statuses, --update, the TAP, JUnit and lcov files
// as their readers (prove, genhtml) take them, and the profile's counts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support.h"

namespace fs = std::filesystem;

namespace {

// Prints "packed".
const char* const kPrints = "        lda #0\n        ldm \"packed\"\n        ldx #0\n        ldy #5\n        int #1\n";

// A red pixel at (3, 4), shown once.
const char* const kDraws = "        int #19\n        lda #6\n        ldx #3\n        ldy #4\n        int #22\n        int #21\n";

// Waits, a frame at a time, for the key 'a', then prints "key a".
const char* const kWaitsForA = "        int #19\n"
                               "wait    int #21\n"
                               "        int #20\n"
                               "        ldy #97\n"
                               "        int #25\n"
                               "        cpx #1\n"
                               "        bne wait\n"
                               "        lda #0\n"
                               "        ldm \"key a\"\n"
                               "        ldx #0\n"
                               "        ldy #4\n"
                               "        int #1\n";

// A loop of three rounds through a subroutine; line 9 never runs.
const char* const kCalls = "        ldx #0\n"
                           "loop    inx\n"
                           "        jsr bump\n"
                           "        cpx #3\n"
                           "        bne loop\n"
                           "        brk\n"
                           "bump    lda #1\n"
                           "        rts\n"
                           "        lda #2\n";

void put(const std::string& dir, const std::string& name, const std::string& text)
{
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
}

RunResult ztest(const std::string& dir, const std::vector<std::string>& args)
{
    return run_binary(ZORVIK_TEST_BIN, args, "", dir);
}

// The report's test cases as python3's XML parser reads them, one
// "NAME TAG: MESSAGE" line each (TAG "pass" when it holds no result).
std::string junit_cases(const std::string& dir, const std::string& file)
{
    const char* script = "import sys, xml.etree.ElementTree as E\n"
                         "for c in E.parse(sys.argv[1]).iter('testcase'):\n"
                         "    r = list(c)\n"
                         "    print(c.get('name'), (r[0].tag + ': ' + r[0].get('message')) if r else 'pass')\n";
    RunResult r = run_binary("/usr/bin/python3", {"-c", script, file}, "", dir);
    return r.status == 0 ? r.out : "python3 failed: " + r.err;
}

}  // namespace

// Output, frame, keys, limits and status each pass when they should and
// fail with a message that says what differs.
TEST(ZorvikTest, EachExpectationPassesAndFailsWithItsReason)
{
    std::string dir = enter_run_dir();
    fs::create_directory(dir + "/t");
    put(dir, "t/prints.zvs", kPrints);
    put(dir, "t/prints.out", "packed");
    put(dir, "t/wrong.zvs", kPrints);
    put(dir, "t/wrong.out", "one\ntwo\npacked\n");
    put(dir, "t/keys.zvs", kWaitsForA);
    put(dir, "t/keys.keys", "# the key goes down after frame 3\n3:a:down\n");
    put(dir, "t/keys.out", "key a");
    put(dir, "t/nokeys.zvs", kWaitsForA);
    put(dir, "t/nokeys.test", "frames = 20\n");
    put(dir, "t/loops.zvs", "top jmp top\n");
    put(dir, "t/loops.test", "steps = 1000\n");
    put(dir, "t/status.zvs", kPrints);
    put(dir, "t/status.test", "status = 3\n");
    put(dir, "t/console.zvs", "        lda #0\n        ldx #0\n        ldy #20\n        int #2\n        ldx #0\n        int #1\n");
    put(dir, "t/console.in", "typed\n");
    put(dir, "t/console.out", std::string("typed\0", 6));  // the line read, with its end
    put(dir, "t/untested.zvs", kPrints);  // no expectation file: not a test

    RunResult r = ztest(dir, {"-j", "3", "t"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("PASS t/prints ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("PASS t/keys ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FAIL t/nokeys (") , std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the run reached the frame limit (frames = 20)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the run reached the step limit (steps = 1000)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the run ended with status 0, not 3"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("untested"), std::string::npos) << r.out;
    // A unified diff: the two lines the output lacks, and its missing newline.
    EXPECT_NE(r.out.find("    --- t/wrong.out (expected)\n    +++ t/wrong.out (actual)\n    @@ -1,3 +1,1 @@\n"
                         "    -one\n    -two\n    -packed\n    +packed\n    \\ No newline at end of file\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("3 passed, 4 failed\n"), std::string::npos) << r.out;
    // The reports come in the order of the names, whatever ran first.
    EXPECT_LT(r.out.find("t/console"), r.out.find("t/wrong"));
}

// A frame that differs says how many pixels and the first, and leaves the
// actual frame and the marked differences; --update writes only the files
// a test has, --update=all the rest.
TEST(ZorvikTest, FramesDifferByPixelAndUpdateWritesExpectations)
{
    std::string dir = enter_run_dir();
    put(dir, "draw.zvs", kDraws);
    put(dir, "draw.test", "seed = 1\n");
    put(dir, "print.zvs", kPrints);
    put(dir, "print.out", "old");
    RunResult r = ztest(dir, {"--update", "draw.zvs", "print.zvs"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(read_file(dir + "/print.out"), "packed");
    EXPECT_FALSE(fs::exists(dir + "/draw.png"));
    EXPECT_FALSE(fs::exists(dir + "/print.png"));
    r = ztest(dir, {"--update=all", "draw.zvs"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("updated draw.out draw.png"), std::string::npos) << r.out;
    EXPECT_EQ(ztest(dir, {"."}).status, 0);

    // The pixel moves two to the right: two pixels differ, the first the old one.
    std::string moved = kDraws;
    moved.replace(moved.find("ldx #3"), 6, "ldx #5");
    put(dir, "draw.zvs", moved);
    r = ztest(dir, {"--artifacts", dir + "/art", "draw.zvs"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("the frame differs from draw.png in 2 pixels, the first at x 3, y 4"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("pixel (3, 4): expected #FF0000, actual #000000"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::file_size(dir + "/art/draw.actual.png") > 0);
    EXPECT_TRUE(fs::file_size(dir + "/art/draw.diff.png") > 0);

    // Two failing tests of one name in two folders keep both pictures, by
    // their paths below the folder searched; without --artifacts they go
    // into a folder of the run's own that only its user may enter.
    for (const char* folder : {"suite/a", "suite/b"}) {
        fs::create_directories(dir + "/" + folder);
        fs::copy(dir + "/draw.png", dir + "/" + folder + "/x.png");
        put(dir, std::string(folder) + "/x.zvs", moved);
    }
    r = ztest(dir, {"--artifacts", dir + "/art", "suite"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(fs::exists(dir + "/art/a/x.actual.png") && fs::exists(dir + "/art/b/x.diff.png")) << r.out;
    fs::create_directory(dir + "/tmp");
    r = run_binary(ZORVIK_TEST_BIN, {"suite"}, "", dir, "SDL_VIDEODRIVER=dummy TMPDIR=" + dir + "/tmp");
    std::vector<fs::path> made(fs::directory_iterator(dir + "/tmp"), fs::directory_iterator());
    ASSERT_EQ(made.size(), 1u) << r.out;
    EXPECT_NE(r.out.find("the pictures of the frames that differ are in " + made[0].string() + "/\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(fs::status(made[0]).permissions(), fs::perms::owner_all);
    EXPECT_TRUE(fs::exists(made[0] / "a/x.actual.png") && fs::exists(made[0] / "b/x.actual.png"));
    // A run with no picture to keep leaves no folder.
    fs::remove_all(made[0]);
    EXPECT_EQ(run_binary(ZORVIK_TEST_BIN, {"print.zvs"}, "", dir, "SDL_VIDEODRIVER=dummy TMPDIR=" + dir + "/tmp").status, 0);
    EXPECT_TRUE(fs::is_empty(dir + "/tmp"));
}

// A test whose file cannot be used (a bad NAME.test or NAME.keys, a folder
// or a link to nothing where a file should be) is an error with its place,
// and every other test still runs; TAP and JUnit carry it, and their readers
// take them. Comments follow values, and key names and actions take any
// letter case.
TEST(ZorvikTest, EveryTestIsReportedWhateverOneOfItsFilesHolds)
{
    std::string dir = enter_run_dir();
    fs::create_directory(dir + "/s");
    put(dir, "s/good.zvs", kPrints);
    put(dir, "s/good.out", "packed");
    put(dir, "s/keys.zvs", kWaitsForA);
    put(dir, "s/keys.test", "frames = 50 # plenty\n# and more\nsteps=100000#also\n");
    put(dir, "s/keys.keys", "# the key goes down after frame 3\n3:A:DOWN  # as 'a'\n9:a:Up, 500:Escape:down,\n");
    put(dir, "s/keys.out", "key a");
    put(dir, "s/badtest.zvs", kPrints);
    put(dir, "s/badtest.test", "# limits\nframes = 10\nspeed = 3\n");
    put(dir, "s/badkeys.zvs", kPrints);
    put(dir, "s/badkeys.keys", "1:a:down\n\n2:nokey:up\n");
    put(dir, "s/folder.zvs", kPrints);
    fs::create_directory(dir + "/s/folder.out");
    put(dir, "s/dangling.zvs", kPrints);
    fs::create_symlink("gone", dir + "/s/dangling.in");
    fs::create_symlink("gone", dir + "/s/lost.zvs");
    put(dir, "s/lost.out", "");

    RunResult r = ztest(dir, {"--tap", "--junit", "report.xml", "s"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* line : {"not ok 1 - s/badkeys\n# s/badkeys.keys:3: bad key script item '2:nokey:up'",
                             "not ok 2 - s/badtest\n# s/badtest.test:3: unknown setting 'speed'",
                             "not ok 3 - s/dangling\n# s/dangling.in: a link to nothing, where a file should be\n",
                             "not ok 4 - s/folder\n# s/folder.out: a folder, where a file should be\n",
                             "ok 5 - s/good\n", "ok 6 - s/keys\n",
                             "not ok 7 - s/lost\n# s/lost.zvs: a link to nothing, where a file should be\n",
                             "# 2 passed, 5 failed (5 could not run)\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    // The key events past the run's end are named, as zorvik-capture names them.
    EXPECT_NE(r.out.find("ok 6 - s/keys\n# 2 key events never played, as the run ended after 3 shown frames: "
                         "9:a:Up, 500:Escape:down\n"),
              std::string::npos)
        << r.out;

    put(dir, "report.tap", r.out);
    RunResult prove = run_binary("/usr/bin/prove", {"-e", "cat", "report.tap"}, "", dir);
    EXPECT_EQ(prove.out.find("Parse errors"), std::string::npos) << prove.out;
    EXPECT_NE(prove.out.find("Failed 5/7 subtests"), std::string::npos) << prove.out;
    EXPECT_EQ(junit_cases(dir, "report.xml"),
              "badkeys error: s/badkeys.keys:3: bad key script item '2:nokey:up': no key is named 'nokey'\n"
              "badtest error: s/badtest.test:3: unknown setting 'speed' (program, debug, frames, stop-after-frame, steps, "
              "seconds, status, seed)\n"
              "dangling error: s/dangling.in: a link to nothing, where a file should be\n"
              "folder error: s/folder.out: a folder, where a file should be\n"
              "good pass\n"
              "keys pass\n"
              "lost error: s/lost.zvs: a link to nothing, where a file should be\n");
}

// A bad command line ends with status 2 and runs nothing.
TEST(ZorvikTest, BadCommandLinesAreStatusTwo)
{
    std::string dir = enter_run_dir();
    put(dir, "p.zvs", kPrints);
    EXPECT_EQ(ztest(dir, {"--frobnicate", "p.zvs"}).status, 2);
    EXPECT_EQ(ztest(dir, {"-j", "0", "p.zvs"}).status, 2);
    EXPECT_EQ(ztest(dir, {"absent.zvs"}).status, 2);
    EXPECT_EQ(ztest(dir, {"--flame-graph", "p.zvs"}).status, 2);
}

// TAP that Debian's prove reads without a parse error, failures and all,
// and JUnit XML with the counts and the reason.
TEST(ZorvikTest, TapReadsInProveAndJunitCountsFailures)
{
    std::string dir = enter_run_dir();
    put(dir, "good.zvs", kPrints);
    put(dir, "good.out", "packed");
    put(dir, "bad.zvs", kPrints);
    put(dir, "bad.out", "<&>\x01");
    RunResult r = ztest(dir, {"--tap", "--junit", "report.xml", "."});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("TAP version 13\n1..2\nnot ok 1 - ./bad\n# the output differs", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nok 2 - ./good\n"), std::string::npos) << r.out;
    put(dir, "report.tap", r.out);
    RunResult prove = run_binary("/usr/bin/prove", {"-e", "cat", "report.tap"}, "", dir);
    EXPECT_EQ(prove.out.find("Parse errors"), std::string::npos) << prove.out;
    EXPECT_NE(prove.out.find("Failed 1/2 subtests"), std::string::npos) << prove.out;

    std::string xml = read_file(dir + "/report.xml");
    EXPECT_NE(xml.find("<testsuite name=\"zorvik-test\" tests=\"2\" failures=\"1\" errors=\"0\""), std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<testcase classname=\".\" name=\"good\" file=\"./good.zvs\""), std::string::npos) << xml;
    // The expected output's markup is escaped and its control byte spelled out.
    EXPECT_NE(xml.find("-&lt;&amp;&gt;\\x01"), std::string::npos) << xml;
}

// Coverage counts lines, the subroutine and both ways of the branch; the
// profile gives each chain of calls its statements. genhtml takes the file
// without a warning.
TEST(ZorvikTest, CoverageAndProfileCountWhatRan)
{
    std::string dir = enter_run_dir();
    put(dir, "calls.zvs", kCalls);
    put(dir, "calls.test", "status = 0\n");
    RunResult r = ztest(dir, {"--coverage", "cov.info", "--profile", "prof.folded", "--profile-table", "calls.zvs"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    std::string path = fs::canonical(dir + "/calls.zvs").string();
    EXPECT_EQ(read_file(dir + "/cov.info"),
              "TN:\nSF:" + path +
                  "\nFN:7,bump\nFNDA:3,bump\nFNF:1\nFNH:1\n"
                  "BRDA:5,0,0,2\nBRDA:5,0,1,1\nBRF:2\nBRH:2\n"
                  "DA:1,1\nDA:2,3\nDA:3,3\nDA:4,3\nDA:5,3\nDA:6,1\nDA:7,3\nDA:8,3\nDA:9,0\nLF:9\nLH:8\n"
                  "end_of_record\n");
    EXPECT_EQ(read_file(dir + "/prof.folded"), "calls.zvs;main 14\ncalls.zvs;main;bump 6\n");
    EXPECT_NE(r.out.find("main                                 20             14\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bump                                  6              6\n"), std::string::npos) << r.out;
    size_t busiest = r.out.find("busiest lines");
    size_t line = r.out.find(path + ":", busiest);
    ASSERT_NE(line, std::string::npos) << r.out;
    std::string first = r.out.substr(line, r.out.find('\n', line) - line);
    EXPECT_EQ(first.substr(0, path.size() + 3), path + ":2 ") << first;
    EXPECT_EQ(first.back(), '3') << first;

    RunResult html = run_binary("/usr/bin/genhtml", {"--branch-coverage", "-q", "-o", "html", "cov.info"}, "", dir);
    EXPECT_EQ(html.status, 0) << html.err;
    EXPECT_EQ(html.err, "");
    EXPECT_TRUE(fs::exists(dir + "/html/index.html"));
}

// Over several programs, each stack starts with its program, so labels of
// one name in two programs stay apart, in the folded stacks and in the
// flame graph, whose boxes python3's XML parser finds with their counts.
TEST(ZorvikTest, ProfilesOfSeveralProgramsKeepTheirFramesApart)
{
    std::string dir = enter_run_dir();
    for (const char* folder : {"s/a", "s/b"})
        fs::create_directories(dir + "/" + folder);
    put(dir, "s/a/calls.zvs", kCalls);
    put(dir, "s/a/calls.test", "");
    put(dir, "s/b/calls.zvs", "        jsr bump\n        brk\nbump    lda #1\n        lda #2\n        rts\n");
    put(dir, "s/b/calls.test", "");
    RunResult r = ztest(dir, {"--profile", "prof.folded", "--flame-graph", "prof.svg", "s"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(read_file(dir + "/prof.folded"),
              "a/calls.zvs;main 14\na/calls.zvs;main;bump 6\nb/calls.zvs;main 2\nb/calls.zvs;main;bump 3\n");
    const char* script = "import sys, xml.etree.ElementTree as E\n"
                         "for t in E.parse(sys.argv[1]).iter('{http://www.w3.org/2000/svg}title'):\n"
                         "    print(t.text)\n";
    RunResult svg = run_binary("/usr/bin/python3", {"-c", script, "prof.svg"}, "", dir);
    EXPECT_EQ(svg.out,
              "all (25 statements, 100.00%)\n"
              "a/calls.zvs (20 statements, 80.00%)\nmain (20 statements, 80.00%)\nbump (6 statements, 24.00%)\n"
              "b/calls.zvs (5 statements, 20.00%)\nmain (5 statements, 20.00%)\nbump (3 statements, 12.00%)\n")
        << svg.err;
}

// The random numbers of service 23 come from the test's seed, or from
// --seed for a test that sets none: the same seed gives the same numbers on
// every run, another seed others.
TEST(ZorvikTest, SeedFixesTheRandomNumbers)
{
    std::string dir = enter_run_dir();
    std::string program;
    for (int i = 0; i < 8; i++)
        program += "        int #23\n        sta $" + std::to_string(10 + i) + "\n";
    program += "        ldx #$10\n        ldy #$17\n        int #1\n";
    put(dir, "r.zvs", program);
    put(dir, "r.out", "");
    ASSERT_EQ(ztest(dir, {"--update", "r.zvs"}).status, 0);
    std::string first = read_file(dir + "/r.out");
    EXPECT_EQ(first.size(), 8u);
    EXPECT_EQ(ztest(dir, {"r.zvs"}).status, 0);
    put(dir, "r.test", "seed = 2\n");
    EXPECT_EQ(ztest(dir, {"r.zvs"}).status, 1);
    // --seed is the seed of the tests whose NAME.test sets none.
    EXPECT_EQ(ztest(dir, {"--seed", "1", "r.zvs"}).status, 1);
    fs::remove(dir + "/r.test");
    EXPECT_EQ(ztest(dir, {"--seed", "2", "r.zvs"}).status, 1);
    EXPECT_EQ(ztest(dir, {"--seed=1", "r.zvs"}).status, 0);
    EXPECT_EQ(ztest(dir, {"--seed", "-1", "r.zvs"}).status, 2);
}

// Kept runs: several NAME.test files share one program, found from each
// one's folder, and each ends its run on purpose after a shown frame, where
// the output so far and that frame (the one zorvik-capture draws with as
// many frames) are compared. A run that ends on purpose is held to a frame
// limit only when `frames` sets one, and one that ends before its frame
// fails. A program that is not there is that test's error alone. The
// profile's stacks start with the program the runs share.
TEST(ZorvikTest, KeptRunsShareAProgramAndStopAfterTheirFrame)
{
    std::string dir = enter_run_dir();
    fs::create_directories(dir + "/t/sub");
    // Each frame: "f" printed, then the pixel at (3, 4) in the next colour.
    put(dir, "t/frames.zvs", "        int #19\n"
                             "loop    lda #0\n        ldm \"f\"\n        ldx #0\n        ldy #0\n        int #1\n"
                             "        lda $20\n        clc\n        adc #2\n        sta $20\n        ldx #3\n        ldy #4\n        int #22\n"
                             "        int #21\n        jmp loop\n");
    put(dir, "t/ends.zvs", "        int #19\n        int #21\n        int #21\n");
    put(dir, "t/three.test", "program = frames.zvs\nstop-after-frame = 3 # the kept frame\n");
    put(dir, "t/three.out", "fff");
    put(dir, "t/sub/long.test", "program = ../frames.zvs\nstop-after-frame = 700\n");
    put(dir, "t/sub/long.out", std::string(700, 'f'));
    put(dir, "t/four.test", "program = frames.zvs\nstop-after-frame = 4\n");
    put(dir, "t/four.out", "fff");
    put(dir, "t/limit.test", "program = frames.zvs\nframes = 4\nstop-after-frame = 5\n");
    put(dir, "t/early.test", "program = ends.zvs\nstop-after-frame = 3\n");
    put(dir, "t/lost.test", "# kept by hand\nprogram = gone.zvs\n");
    RunResult capture = run_binary(ZORVIK_CAPTURE_BIN, {"--frames", "3", "t/frames.zvs", "t/three.png"}, "", dir);
    ASSERT_EQ(capture.status, 0) << capture.err;
    fs::copy_file(dir + "/t/three.png", dir + "/t/four.png");

    RunResult r = ztest(dir, {"t"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    for (const char* line : {"FAIL t/early (", "the run ended after 2 shown frames, before the frame it was to stop after "
                             "(stop-after-frame = 3)",
                             "FAIL t/four (", "the output differs from t/four.out; the frame differs from t/four.png in 1 pixel, the first at x 3, y 4",
                             "FAIL t/limit (", "the run reached the frame limit (frames = 4)",
                             "ERROR t/lost (0.00 s): t/lost.test:2: program 'gone.zvs': no such file (t/gone.zvs)\n",
                             "PASS t/sub/long (", "PASS t/three (", "2 passed, 4 failed (1 could not run)\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    // A program with no expectation file beside it is no test of its own.
    EXPECT_EQ(r.out.find("t/frames"), std::string::npos) << r.out;
    // A NAME.test named on the command line is a test. The stacks of the
    // runs of one program start with that program.
    EXPECT_EQ(ztest(dir, {"--profile", "prof.folded", "t/three.test", "t/sub/long.test"}).status, 0);
    std::string folded = read_file(dir + "/prof.folded");
    EXPECT_EQ(folded.substr(0, 18), "t/frames.zvs;main ") << folded;
    EXPECT_EQ(folded.find('\n'), folded.size() - 1) << folded;
}

// A failed test's report ends with the one command that opens its run in
// the debugger, from the folder the tests ran in: its NAME.test, or the
// program with its seed, keys and input (quoted for a shell where a name
// needs it). Run as printed, it plays the run that failed: the output the
// diff calls actual. A test that passes or cannot run gets none.
TEST(ZorvikTest, AFailedTestSaysHowToDebugIt)
{
    std::string dir = enter_run_dir();
    fs::create_directories(dir + "/t");
    fs::path kept = fs::path(ZORVIK_SOURCE_DIR) / "tests/debugger/replay";
    for (const char* name : {"dodge.zvs", "dodge.test", "dodge.keys", "dodge.in"})
        fs::copy_file(kept / name, fs::path(dir) / "t" / name);
    put(dir, "t/dodge.out", "wrong\n");
    fs::copy_file(kept / "dodge.zvs", dir + "/t/my game.zvs");
    fs::copy_file(kept / "dodge.keys", dir + "/t/my game.keys");
    put(dir, "t/my game.in", "Cy\n");
    put(dir, "t/my game.out", "nope\n");
    put(dir, "t/gone.test", "program = nowhere.zvs\n");
    put(dir, "t/spin.zvs", "int #19\nloop int #21\njmp loop\n");
    put(dir, "t/spin.out", "x");
    RunResult r = ztest(dir, {"--seed", "9", "t"});
    EXPECT_EQ(r.status, 1) << r.out;
    std::vector<std::string> commands;
    for (size_t at = 0; (at = r.out.find("    debug it: ", at)) != std::string::npos; at++)
        commands.push_back(r.out.substr(at + 14, r.out.find('\n', at) - at - 14));
    ASSERT_EQ(commands.size(), 3u) << r.out;
    EXPECT_EQ(commands[0], "zorvik-debug t/dodge.test");  // its seed is its own
    EXPECT_EQ(commands[1],
              "zorvik-debug --record --seed 9 --frames 600 --keys 't/my game.keys' --input 't/my game.in' 't/my game.zvs'");
    // A run that failed at the frame limit stops there under the debugger too.
    EXPECT_EQ(commands[2], "zorvik-debug --record --seed 9 --frames 600 t/spin.zvs");
    put(dir, "script", "continue\n");
    RunResult spun = run_binary("timeout", {"60", ZORVIK_DEBUG_BIN, "--batch", "-x", "script", "--frames", "600", "t/spin.zvs"}, "", dir);
    EXPECT_EQ(spun.status, 0) << spun.err;
    EXPECT_NE(spun.out.find("the run ends after shown frame 600, as --frames asks"), std::string::npos) << spun.out;
    commands.pop_back();
    for (const std::string& command : commands) {
        std::string line = std::string(ZORVIK_DEBUG_BIN) + " --batch -x script" + command.substr(12);
        RunResult debugged = run_binary("bash", {"-c", line}, "", dir);
        EXPECT_EQ(debugged.status, 0) << line << "\n" << debugged.err;
        // The diff's one added line: what the failed run printed.
        size_t actual = r.out.find(command.find("dodge") != std::string::npos ? "FAIL t/dodge" : "FAIL t/my game");
        while ((actual = r.out.find("\n    +", actual + 1)) != std::string::npos && r.out.compare(actual + 6, 2, "++") == 0) {
        }
        ASSERT_NE(actual, std::string::npos) << r.out;
        std::string printed = r.out.substr(actual + 6, r.out.find('\n', actual + 1) - actual - 5);
        EXPECT_NE(debugged.out.find(printed), std::string::npos) << line << "\n" << debugged.out << "\nnot\n" << printed;
    }
    EXPECT_NE(ztest(dir, {"--tap", "t"}).out.find("# debug it: zorvik-debug t/dodge.test\n"), std::string::npos);
}

// zorvik-debug's profile, stopped at a breakpoint on the way and continued,
// counts what zorvik-test's counting run counts: the same table.
TEST(ZorvikTest, DebuggerProfileAgreesWithTheCountingRun)
{
    std::string dir = enter_run_dir();
    put(dir, "calls.zvs", kCalls);
    put(dir, "script", "profile on\nbreak bump\ncontinue\ndelete\ncontinue\ninfo profile\n");
    RunResult debug = run_binary(ZORVIK_DEBUG_BIN, {"--batch", "-x", "script", "calls.zvs"}, "", dir);
    RunResult test = ztest(dir, {"--profile-table", "calls.zvs"});
    ASSERT_EQ(test.status, 0) << test.out;
    size_t table = test.out.find("subroutine");
    ASSERT_NE(table, std::string::npos) << test.out;
    std::string subroutines = test.out.substr(table, test.out.find("\n\n", table) - table);
    EXPECT_NE(debug.out.find("20 statements profiled\n" + subroutines + "\n\n"), std::string::npos)
        << debug.out << "\n" << subroutines;
}
