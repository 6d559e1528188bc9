// The command line and the run's frame, through the built program.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "display.h"
#include "main.h"
#include "support.h"

namespace {

const std::string kMissingDefault =
    "zorvik: cannot open source file 'default.zvs': No such file or directory\n";

// Standard error without the note that a bare folder has no icon.
std::string without_icon_note(const std::string& err)
{
    std::string out;
    size_t at = 0;
    while (at < err.size()) {
        size_t end = err.find('\n', at);
        end = end == std::string::npos ? err.size() : end + 1;
        std::string line = err.substr(at, end - at);
        if (line.find("cannot open 'icon.bmp' in ") == std::string::npos)
            out += line;
        at = end;
    }
    return out;
}

std::string dir_with(const std::string& name, const std::string& content)
{
    std::string dir = make_temp_dir();
    std::ofstream(dir + "/" + name) << content;
    return dir;
}

TEST(CommandLine, NoArgumentOrTooManyRunTheDefaultProgram)
{
    std::string empty = make_temp_dir();
    std::string lone = lone_copy(ZORVIK_BIN);
    for (auto args : {std::vector<std::string>{},
                      std::vector<std::string>{"prog.zvs", "--debug", "extra"}}) {
        RunResult r = run_binary(lone, args, "", empty);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(without_icon_note(r.err), kMissingDefault);
        EXPECT_EQ(r.out, "");
    }
    // Three arguments ignore the option: the default program runs quietly.
    std::string dir = dir_with("default.zvs", "lda #1");
    std::ofstream(dir + "/prog.zvs") << "lda #2";
    RunResult r = run_zorvik({"prog.zvs", "--debug", "x"}, "", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(without_icon_note(r.err), "");
    EXPECT_FALSE(std::filesystem::exists(dir + "/debug.html"));
}

TEST(CommandLine, DebugOptionOnlyExactlyAndInSecondPlace)
{
    std::string dir = dir_with("prog.zvs", "rts");
    RunResult r = run_zorvik({"prog.zvs", "--debug"}, "", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("symbols:\ntoken [rts] of type [Word] with opcode [2d]"), std::string::npos)
        << r.out;
    EXPECT_TRUE(r.out.ends_with("tokens [1]\nrts\n"));

    for (const char* wrong : {"--Debug", "-debug", "--debug ", "--debug=GFX", "--debug=gf", "debug"}) {
        RunResult q = run_zorvik({"prog.zvs", wrong}, "", dir);
        EXPECT_EQ(q.status, 0) << wrong;
        EXPECT_EQ(q.out.find("symbols:"), std::string::npos) << wrong;
    }
    // The option first: its own text is taken for the source path.
    RunResult q = run_zorvik({"--debug", "prog.zvs"}, "", dir);
    EXPECT_EQ(q.status, 1);
    EXPECT_EQ(without_icon_note(q.err), "zorvik: cannot open source file '--debug': No such file or directory\n");
    EXPECT_EQ(q.out, "");
}

TEST(CommandLine, UnreadableSourceIsReportedAndFails)
{
    std::string dir = make_temp_dir();
    std::filesystem::create_directory(dir + "/folder.zvs");
    RunResult r = run_zorvik({"folder.zvs", "--debug"}, "", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(without_icon_note(r.err), "zorvik: cannot open source file 'folder.zvs': Is a directory\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir + "/debug.html"));

    r = run_zorvik({"missing.zvs", "--debug"}, "", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(without_icon_note(r.err), "zorvik: cannot open source file 'missing.zvs': No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/debug.html"));
}

// A tool of the build tree finds its font, icon and default program in the
// run folder beside it, from any folder: the same output and pictures as in
// a folder that has them. Where neither has the font, the text is left out,
// as before, and standard error says so once however often the display is
// opened, naming the folders it looked in; the output and the status stay.
TEST(CommandLine, BuildTreeToolsFindTheirFilesAndAMissingFontIsNamedOnce)
{
    const char* program = "int #19\nldx #0\nldy #2\nldm \"hi\\n\"\nint #1\nint #19\nlda #8\nint #86\nint #21\n";
    std::string bare = dir_with("p.zvs", program);
    std::string full = enter_run_dir();
    std::ofstream(full + "/p.zvs") << program;
    for (const char* bin : {ZORVIK_BIN, ZORVIK_CAPTURE_BIN}) {
        std::vector<std::string> args = {"p.zvs"};
        bool capture = bin == std::string(ZORVIK_CAPTURE_BIN);
        if (capture)
            args.push_back("p.png");
        RunResult with = run_binary(bin, args, "", full);
        RunResult anywhere = run_binary(bin, args, "", bare);
        EXPECT_EQ(anywhere.out, with.out);
        EXPECT_EQ(anywhere.err, "");
        if (capture) {
            EXPECT_EQ(read_file(bare + "/p.png"), read_file(full + "/p.png")) << "the text drawn from any folder";
        }
        std::string lone = lone_copy(bin);
        RunResult without = run_binary(lone, args, "", bare);
        EXPECT_EQ(without.out, with.out);
        EXPECT_EQ(without.status, with.status);
        EXPECT_EQ(with.err.find("cannot open"), std::string::npos) << with.err;
        std::string name = std::filesystem::path(bin).filename().string();
        EXPECT_EQ(without_icon_note(without.err), name + ": cannot open 'term.mxf' in " + bare +
                                                      ", the folder the machine runs from: No such file or "
                                                      "directory; text is not drawn\n");
        EXPECT_NE(without.err.find("'icon.bmp'"), std::string::npos);
    }
    RunResult tour = run_binary(ZORVIK_BIN, {}, "", make_temp_dir());
    EXPECT_EQ(tour.status, 0);
    EXPECT_NE(tour.out.find("Zorvik VM: a short tour of the machine."), std::string::npos) << tour.out;
}

TEST(CommandLine, EmptySourceRunsToTheEnd)
{
    std::string dir = dir_with("empty.zvs", "");
    RunResult r = run_zorvik({"empty.zvs", "--debug"}, "", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("symbols:\ntokens [0]\n")) << r.out;
}

// The shell names the window as soon as it opens it: a program that only
// refreshes (and never asks for the display) sees the caption already.
std::string caption_seen;

bool read_caption(SDL_Surface*)
{
    char* title = nullptr;
    SDL_WM_GetCaption(&title, nullptr);
    caption_seen = title ? title : "(none)";
    return false;
}

TEST(CommandLine, WindowIsCaptionedAtStartUp)
{
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/prog.zvs") << "int #21\n";
    display_shown_hook = read_caption;
    char prog[] = "zorvik", path[] = "prog.zvs";
    char* argv[] = {prog, path, nullptr};
    EXPECT_EQ(SDL_main(2, argv), 0);
    display_shown_hook = nullptr;
    EXPECT_EQ(caption_seen, "Zorvik VM");
}

}  // namespace

// A window that cannot be opened ends nothing: each tool that opens one says
// why in one line on standard error and runs on exactly as it does without
// a display. Run where the icon is, which once crashed in the icon's call
// after SDL had failed to start. No text-mode driver paints over the output.
TEST(CommandLine, NoWindowIsNamedOnceAndTheRunGoesOn)
{
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/p.zvs") << "ldm \"hi\"\nldx #0\nldy #2\nint #1\nint #19\nint #21\n";
    int free_display = 90;
    while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(free_display)))
        free_display++;
    std::string display = ":" + std::to_string(free_display);
    struct {
        std::string env, driver;
    } cases[] = {{"SDL_VIDEODRIVER=no-such-driver", "with the video driver 'no-such-driver'"},
                 {"env -u SDL_VIDEODRIVER DISPLAY=" + display,
                  "on the display '" + display + "' with the video driver 'x11'"}};
    for (const char* bin : {ZORVIK_BIN, ZORVIK_DEBUG_BIN}) {
        bool debugger = bin == std::string(ZORVIK_DEBUG_BIN);
        std::vector<std::string> args = {"p.zvs"};
        std::string input = debugger ? "continue\n" : "";
        RunResult headless = run_binary(bin, args, input, dir);
        std::string name = std::filesystem::path(bin).filename().string();
        for (const auto& c : cases) {
            RunResult r = run_binary(bin, args, input, dir, c.env);
            EXPECT_EQ(r.status, headless.status) << name << " " << c.env;
            EXPECT_EQ(r.out, headless.out) << name << " " << c.env;
            EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << name << " " << c.env;
            std::string head = name + ": cannot open a window " + c.driver + ": ";
            EXPECT_TRUE(r.err.starts_with(head)) << r.err;
            EXPECT_TRUE(r.err.ends_with("; running without one\n")) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
}

// Without DISPLAY and SDL_VIDEODRIVER the tools choose to run without a
// window themselves, and say so once, when a program first asks for the
// display (a refresh, service 19); a console-only program hears nothing.
// The output and the status are those of a run on the dummy driver asked
// for, which says nothing.
TEST(CommandLine, NoDisplayIsNamedOnceToAProgramThatAsksForIt)
{
    std::string dir = enter_run_dir();
    std::string prints = "ldm \"hi\"\nldx #0\nldy #1\nint #1\n";
    std::ofstream(dir + "/screen.zvs") << prints + "int #21\nint #19\nint #21\nint #19\n";
    std::ofstream(dir + "/console.zvs") << prints;
    for (const char* bin : {ZORVIK_BIN, ZORVIK_DEBUG_BIN}) {
        std::string name = std::filesystem::path(bin).filename().string();
        std::string input = bin == std::string(ZORVIK_DEBUG_BIN) ? "continue\n" : "";
        for (const char* program : {"screen.zvs", "console.zvs"}) {
            RunResult asked = run_binary(bin, {program}, input, dir);
            RunResult none = run_binary(bin, {program}, input, dir, "env -u DISPLAY -u SDL_VIDEODRIVER");
            std::string note = program == std::string("screen.zvs") ? name + ": no display: running without a window\n" : "";
            EXPECT_EQ(asked.err, "") << name << " " << program;
            EXPECT_EQ(none.err, note) << name << " " << program;
            EXPECT_EQ(none.out, asked.out) << name << " " << program;
            EXPECT_EQ(none.status, asked.status) << name << " " << program;
        }
    }
}
