// The programs in examples/ and the bundled default program, run headless
// to their end. The drawing ones end with their final screen checked
// against a checksum of its pixels (and a few pixels spelled out).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "display.h"
#include "parse.h"
#include "pixelbuffer.h"
#include "screen.h"
#include "services.h"
#include "support.h"

namespace {

std::string example(const std::string& name)
{
    return std::string(ZORVIK_SOURCE_DIR) + "/examples/" + name;
}

// FNV-1a over the colour levels of every pixel of the window, so that the
// sum does not depend on the surface's pixel format.
uint32_t screen_checksum()
{
    uint32_t h = 2166136261u;
    for (int y = 0; y < front->h; y++) {
        for (int x = 0; x < front->w; x++) {
            Uint8 c[3];
            SDL_GetRGB(getpixel(front, x, y, 32, front->pitch), front->format, &c[0], &c[1], &c[2]);
            for (Uint8 b : c)
                h = (h ^ b) * 16777619u;
        }
    }
    return h;
}

uint32_t pixel(int x, int y)
{
    return getpixel(front, x, y, 32, front->pitch);
}

void push_key(Uint8 type, int sym)
{
    SDL_Event ev{};
    ev.type = type;
    ev.key.keysym.sym = (SDLKey)sym;
    SDL_PushEvent(&ev);
}

// Events the programs drop; each still takes one poll, that is one frame.
void push_idle_frames(int n)
{
    for (int i = 0; i < n; i++) {
        SDL_Event ev{};
        ev.type = SDL_USEREVENT;
        SDL_PushEvent(&ev);
    }
}

// Runs a program in-process as the shell does, in a run directory with the
// font, on a 32-bit window; the events are queued before it starts.
class Example : public testing::Test {
protected:
    void SetUp() override
    {
        enter_run_dir();
        open_test_display();
        set_callback(calls);
    }
    void TearDown() override { do_quit(); }
    std::string run(const std::string& name)
    {
        std::string source = read_file(example(name));
        return capture_stdout([&source] { run_source(source); });
    }
};

const char* const tour_lines =
    "Zorvik VM: a short tour of the machine.\n"
    "Window: 480 by 272 pixels; the 255 by 255 square on the left shows memory.\n"
    "Palette: 64 colours, one bar for each colour byte 0, 2, 4 ... 126.\n"
    "Text: drawn with the font of the machine, right of the screen area.\n"
    "Keys: the arrow keys move the square, Escape ends the tour early.\n"
    "Done: the tour ends by itself.\n";

}  // namespace

TEST(Examples, HelloGreetsAndCountsStars)
{
    RunResult r = run_zorvik({example("hello.zvs")}, "Ada\n5\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "What is your name? Hello, Ada!\nHow many stars? *****\n");
    r = run_zorvik({example("hello.zvs")}, "Bo 300");
    EXPECT_EQ(r.out, "What is your name? Hello, Bo!\nHow many stars? " + std::string(44, '*') + "\n");
}

TEST_F(Example, PaletteShowsSixtyFourBlocksUntilEscape)
{
    push_key(SDL_KEYDOWN, SDLK_ESCAPE);
    EXPECT_EQ(run("palette.zvs"), "");
    ASSERT_NE(front, nullptr);
    for (int n = 0; n < 64; n++) {
        int x = n % 8 * 32 + 15, y = n / 8 * 32 + 15;
        EXPECT_EQ(pixel(x, y), n ? trans_color(2 * n) : 0u) << "block " << n;
    }
    EXPECT_EQ(pixel(31, 15), 0u);  // the gap between blocks
    EXPECT_EQ(screen_checksum(), 0xf7ecac58u);
}

TEST_F(Example, TextDrawsCharactersColoursAndNumbers)
{
    push_key(SDL_KEYDOWN, SDLK_ESCAPE);
    EXPECT_EQ(run("text.zvs"), "");
    ASSERT_NE(front, nullptr);
    EXPECT_EQ(screen_checksum(), 0x3c1fd545u);
}

TEST_F(Example, KeysMoveTheSquareWhileHeld)
{
    push_key(SDL_KEYDOWN, SDLK_RIGHT);  // held for 11 frames
    push_idle_frames(10);
    push_key(SDL_KEYUP, SDLK_RIGHT);
    push_key(SDL_KEYDOWN, SDLK_DOWN);   // held for 6 frames
    push_idle_frames(5);
    push_key(SDL_KEYUP, SDLK_DOWN);
    push_key(SDL_KEYDOWN, SDLK_ESCAPE);
    EXPECT_EQ(run("keys.zvs"), "");
    ASSERT_NE(front, nullptr);
    uint32_t white = trans_color(0x7E);
    EXPECT_EQ(pixel(135, 130), white);  // from (124, 124)
    EXPECT_EQ(pixel(142, 137), white);
    EXPECT_EQ(pixel(134, 130), 0u);
    EXPECT_EQ(pixel(143, 137), 0u);
    EXPECT_EQ(screen_checksum(), 0xc2a5015du);
}

TEST(DefaultProgram, TheRunCommandFindsItAndItEndsByItself)
{
    std::string dir = make_temp_dir();
    for (const char* name : {"default.zvs", "term.mxf", "icon.bmp"}) {
        std::FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
        std::string bytes = read_file(std::string(ZORVIK_RUN_DIR) + "/" + name);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    RunResult r = run_zorvik({}, "", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, tour_lines);
    EXPECT_EQ(r.err, "");
}

TEST_F(Example, DefaultProgramDrawsItsTour)
{
    EXPECT_EQ(run("default.zvs"), tour_lines);
    ASSERT_NE(front, nullptr);
    for (int n = 0; n < 64; n++)
        EXPECT_EQ(pixel(4 * n + 1, 60), n ? trans_color(2 * n) : 0u) << "bar " << n;
    EXPECT_EQ(pixel(124, 180), trans_color(0x7E));  // the square
    EXPECT_EQ(screen_checksum(), 0xc43c39a8u);
}

TEST(DefaultProgram, RunsToItsEndWithoutADisplay)
{
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    set_callback(calls);
    std::string source = read_file(example("default.zvs"));
    EXPECT_EQ(capture_stdout([&source] { run_source(source); }), tour_lines);
    EXPECT_EQ(front, nullptr);
    do_quit();
}
