// The checker: each warning on a small source at its line and column, a near
// miss that must stay quiet, the project's own programs, and the command
// line's statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "check.h"
#include "support.h"

namespace fs = std::filesystem;

// Every finding as "name@line:col", with "+line:col" for its note.
static std::vector<std::string> findings(const std::string& source)
{
    std::vector<long long> starts = position_line_starts(source);
    std::vector<std::string> out;
    for (const check_finding& f : check_source(source)) {
        auto place = [&](long long offset) {
            source_place at = position_locate(starts, offset);
            return std::to_string(at.line) + ":" + std::to_string(at.column);
        };
        std::string s = std::string(check_warnings[f.warning].name) + "@" + place(f.offset);
        if (f.note_offset >= 0)
            s += std::string("+") + place(f.note_offset);
        out.push_back(s);
    }
    return out;
}

struct check_case {
    const char* source;
    std::vector<std::string> expected;
};

TEST(Check, EachWarningAtItsPlaceAndNearMissesQuiet)
{
    const std::string long_word(1100, 'q');
    const check_case cases[] = {
        // first-spelling, the three ways, and spellings that differ in text
        {"sta $20\nlda #20\n", {"first-spelling@2:5+1:5"}},
        {"lda #10\nsta $10\n", {"first-spelling@2:5+1:5"}},
        {"lda #1\nloop5 lda #5\n", {"operand-search@2:7", "first-spelling@2:11+2:5"}},
        {"sta $20\nlda #$20\nint #$20\n", {}},
        // operand-search: leaves its line, runs off the end, stops at a string
        {"lda\nsta $10\n", {"operand-search@1:1+2:5"}},
        {"inx\nadc\n", {"operand-search@2:1"}},
        {"lda \"Xy\"\n", {"operand-search@1:1+1:5"}},
        {"lda $10\nsta $11\nlda A\n", {}},
        // bare-number
        {"lda 5 #1\n", {"bare-number@1:5"}},
        {"lda #5\nldx #$5\n", {}},
        // undefined-label, with the spelling hint; a branch with nothing after it
        {"loop inx\nbne Loop\nbeq loop\n", {"undefined-label@2:5"}},
        {"inx\nbne", {"undefined-label@2:1"}},
        {"bne done\ndone inx\njmp done\n", {}},
        // duplicate-label
        {"loop inx\nbne loop\nloop dex\n", {"duplicate-label@3:1+1:1"}},
        {"loop inx\nbne loop\njsr loop\n", {}},
        // label-is-mnemonic
        {"Inc inx\njmp Inc\n", {"label-is-mnemonic@1:1"}},
        {"Incr inx\njmp Incr\n", {}},
        // index-ignored: indexed, with a capital and a comma token, indirect
        {"sta $0200,x\n", {"index-ignored@1:5"}},
        {"lda $10 ,Y\n", {"index-ignored@1:5"}},
        {"lda ($20),y\n", {"index-ignored@1:5"}},
        {"sta $0200\ninx\n", {}},
        // unknown-service
        {"int #33\nint $FF\n", {"unknown-service@1:1", "unknown-service@2:1"}},
        {"int #32\nint $14\nint X\n", {}},
        // string: runs to the end, a bad escape, the other quote, a long token
        {"ldm \"abc\n", {"string@1:5"}},
        {"ldm \"a\\qb\"\n", {"string@1:7"}},
        {"ldm \"it's\"\n", {"string@1:8+1:5", "string@1:10"}},
        {"ldm \"a\\n\\t\\0\\\"\"\n", {}},
        {nullptr, {"string@1:1"}},  // the long word, filled in below
        // header
        {"*=\nlda #1\n", {"header@1:1"}},
        {"*= 0600\nlda #1\nsta $10\n", {"header@1:1+3:5"}},
        {"*=$0600\nlda #1\n= 5\n", {"header@3:1"}},
        // string: over lines, and a quote right after '#'
        {"ldm \"ab\nc\"\n", {"string@1:5+2:2"}},
        {"lda #'A'\n", {"string@1:5", "string@1:8"}},
        // without-effect, but not for a label that spells one
        {"txa\ninc $10\n", {"without-effect@1:1", "without-effect@2:1"}},
        // the last token of all, with nothing after it to look at
        {"inc", {"without-effect@1:1"}},
        {"lda #1\ninx\ninc", {"without-effect@3:1"}},
        {"lda X\njmp tya\ntya inx\n", {"label-is-mnemonic@3:1"}},
        // comment-in-token, quiet with a blank or nothing after the ';'
        {"lda #7;seven\nsta $10\n", {"comment-in-token@1:7"}},
        {"lda #7 ;seven\nsta $10;\n", {}},
        // screen-cell: only with the display, only shown cells, not the services' cells
        {"int #19\nsta $1000\nlda $1000\n", {"screen-cell@2:5+3:5"}},
        {"sta $1000\nlda $1000\n", {}},
        {"int #21\nsta $0200\nlda $0200\nsta $1299\ncmp $1299\nsta $1001A\nlda $1001A\nsta $1001\n", {}},
        // store-clamp: a value above 255 on the way to sta, and no further
        {"lda #1000\nldx #1\nsta $10\n", {"store-clamp@3:1+1:1"}},
        {"lda #255\nsta $10\nlda #1000\nadc #1\nsta $11\n", {}},
        // compare-branch: the compare is the last flag write on every path
        // there, through labels, calls and returns; not after another flag
        // write, on a path that has one, for beq, or where no run goes
        {"lda #1\nadc #1\ncmp #100\nhere bcs x\nx brk\n", {"compare-branch@4:6+3:1"}},
        {"cpx #3\nbmi x\ncpy #3\nbvs x\nx brk\n", {"compare-branch@2:1+1:1", "compare-branch@4:1+3:1"}},
        {"jsr c\nbcc x\nx brk\nc cmp #1\nrts\n", {"compare-branch@2:1+4:3"}},
        {"cmp #1\nclc\nbcs x\ncmp #1\nbeq x\njsr c\nbcs x\nx brk\nc adc #1\nrts\n", {}},
        {"bne two\ncmp #1\nthree bcs x\ntwo adc #1\njmp three\nx brk\n", {}},
        {"brk\ncmp #1\nbcs x\nx brk\n", {}},
        // positions are bytes on real lines, whatever the line ends and tabs
        {"lda #1\r\n\tbne none\r\n", {"undefined-label@2:6"}},
    };
    for (const check_case& c : cases) {
        std::string source = c.source ? c.source : long_word + "\n";
        EXPECT_EQ(findings(source), c.expected) << source;
    }
}

// The words that point at the fix: a label one letter case or one character
// away, labels cut by digits, character literals, and strings over lines.
TEST(Check, MessagesNameWhatTheMachineSees)
{
    auto message_of = [](const std::string& source, size_t n) {
        std::vector<check_finding> f = check_source(source);
        return f.size() > n ? f[n].message : std::string("(none)");
    };
    EXPECT_NE(message_of("loop inx\nbne Loop\n", 0).find("did you mean 'loop'?"), std::string::npos);
    EXPECT_NE(message_of("start inx\nbne strat\nbne stat\n", 1).find("did you mean 'start'?"), std::string::npos);
    EXPECT_EQ(message_of("start inx\nbne sprint\n", 0).find("did you mean"), std::string::npos);
    EXPECT_NE(message_of("loop1: inx\nbne loop1\nloop2: dex\n", 0)
                  .find("'loop2' is the word 'loop' and then the number 2"),
              std::string::npos);
    EXPECT_NE(message_of("adc #1\ncmp #100\nbcs x\nx brk\n", 0).find("cmp on line 2 sets only Z, so C is as 'adc' on line 1 left it"),
              std::string::npos);
    EXPECT_NE(message_of("lda #'A'\n", 0).find("there are no character literals"), std::string::npos);
    EXPECT_NE(message_of("lda #'A'\n", 0).find("'#65'"), std::string::npos);
    EXPECT_NE(message_of("ldm \"a\nb\nc\"\n", 0).find("over 2 lines to the quote on line 3"), std::string::npos);
}

TEST(Check, ProjectProgramsCheckCleanButForTheTrapsTheyShow)
{
    const std::map<std::string, std::vector<std::string>> traps = {
        {"first_spelling.zvs", {"first-spelling@4:13+3:13"}},
        {"operand_search.zvs", {"operand-search@4:9+5:13", "bare-number@4:13"}},
    };
    int checked = 0;
    for (const char* dir : {"examples", "docs/examples"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(ZORVIK_SOURCE_DIR) / dir)) {
            if (entry.path().extension() != ".zvs")
                continue;
            auto trap = traps.find(entry.path().filename().string());
            std::vector<std::string> expected = trap == traps.end() ? std::vector<std::string>{} : trap->second;
            EXPECT_EQ(findings(read_file(entry.path().string())), expected) << entry.path();
            checked++;
        }
    }
    EXPECT_GE(checked, 10);
}

TEST(Check, CommandLineStatusesAndOptions)
{
    std::string dir = make_temp_dir();
    std::ofstream(dir + "/clean.zvs") << "lda #1\nsta $10\n";
    std::ofstream(dir + "/trap.zvs") << "lda #1\nbne nowhere\n";

    RunResult clean = run_binary(ZORVIK_CHECK_BIN, {"clean.zvs"}, "", dir);
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.out, "");

    RunResult trap = run_binary(ZORVIK_CHECK_BIN, {"trap.zvs"}, "", dir);
    EXPECT_EQ(trap.status, 1);
    EXPECT_EQ(trap.out.substr(0, trap.out.find('\n')),
              "trap.zvs:2:5: warning: no label 'nowhere' is defined, so 'bne' goes on after it even when taken; "
              "define the label or fix its spelling [-Wundefined-label]");
    EXPECT_NE(trap.out.find("\nbne nowhere\n    ^\n"), std::string::npos) << trap.out;

    RunResult from_stdin = run_binary(ZORVIK_CHECK_BIN, {"--no-caret", "-Werror", "-"}, "int #99\n", dir);
    EXPECT_EQ(from_stdin.status, 1);
    EXPECT_EQ(from_stdin.out.rfind("<stdin>:1:1: error: service 99", 0), 0u) << from_stdin.out;
    EXPECT_NE(from_stdin.out.find("[-Werror=unknown-service]\n"), std::string::npos);
    EXPECT_EQ(std::count(from_stdin.out.begin(), from_stdin.out.end(), '\n'), 1);

    EXPECT_EQ(run_binary(ZORVIK_CHECK_BIN, {"-Wno-undefined-label", "trap.zvs"}, "", dir).status, 0);
    // without-effect answers to its former name too; -Wno-effect is -W and that name.
    std::ofstream(dir + "/inc.zvs") << "inc $10\n";
    EXPECT_NE(run_binary(ZORVIK_CHECK_BIN, {"inc.zvs"}, "", dir).out.find("[-Wwithout-effect]"), std::string::npos);
    for (const char* off : {"-Wno-without-effect", "-Wno-no-effect"})
        EXPECT_EQ(run_binary(ZORVIK_CHECK_BIN, {off, "inc.zvs"}, "", dir).status, 0) << off;
    EXPECT_EQ(run_binary(ZORVIK_CHECK_BIN, {"-Wno-no-effect", "-Wno-effect", "inc.zvs"}, "", dir).status, 1);

    RunResult missing = run_binary(ZORVIK_CHECK_BIN, {"clean.zvs", "absent.zvs"}, "", dir);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("absent.zvs"), std::string::npos);
    EXPECT_EQ(run_binary(ZORVIK_CHECK_BIN, {"-Wno-such-thing", "clean.zvs"}, "", dir).status, 2);

    // An empty source says so on standard error; a long line with control
    // bytes is cut around the caret and escaped.
    RunResult empty = run_binary(ZORVIK_CHECK_BIN, {"-"}, "", dir);
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.err, "zorvik-check: <stdin>: no tokens\n");
    std::string wide(5000, ' ');
    wide += "bne nowhere ;";
    wide.append(5000, 'y');
    RunResult cut = run_binary(ZORVIK_CHECK_BIN, {"-"}, wide, dir);
    std::string shown = cut.out.substr(cut.out.find('\n') + 1), expected = "...";
    expected.append(96, ' ');
    expected += "bne nowhere ;";
    expected.append(91, 'y');
    expected += "...\n";
    expected.append(103, ' ');
    EXPECT_EQ(shown, expected + "^\n");
    RunResult control = run_binary(ZORVIK_CHECK_BIN, {"-"}, "\x1b[2J bne none\n", dir);
    EXPECT_NE(control.out.find("\n\\x1B[2J bne none\n            ^\n"), std::string::npos) << control.out;

    RunResult list = run_binary(ZORVIK_CHECK_BIN, {"--list-warnings"}, "", dir);
    EXPECT_EQ(list.status, 0);
    for (const check_warning& w : check_warnings)
        EXPECT_NE(list.out.find(std::string(w.name) + " "), std::string::npos) << w.name;
}
