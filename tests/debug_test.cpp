// The memory map's word skipping, the step pause and the register overlay
// of "--debug=gfx". The trace and the register dump are covered byte for
// byte by the dbg_ golden runs.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "debug.h"
#include "display.h"
#include "main.h"
#include "mxfont.h"
#include "parse.h"
#include "support.h"

namespace {

TEST(MemoryMap, EveryNonZeroByteFromFirstToLastAddress)
{
    // Both ends of memory, and bytes sharing a word with zeros around them.
    for (int a : {0, 7, 8, 0x200, 0x123457, 0xfffffe, 0xffffff})
        _reg.memory[a] = (uint8_t)(a * 3 + 1);
    EXPECT_EQ(capture_stdout(dump_memory), "MEMORY MAP:\n"
                                           "\nmemory @ 0 = 1\n"
                                           "\nmemory @ 7 = 16\n"
                                           "\nmemory @ 8 = 19\n"
                                           "\nmemory @ 200 = 1\n"
                                           "\nmemory @ 123457 = 6\n"
                                           "\nmemory @ fffffe = fb\n"
                                           "\nmemory @ ffffff = fe\n");
}

// ---- Step pause ------------------------------------------------------------

const std::string kPrompt = "Press any key to continue . . . ";

// Reads from fd until `want` has been seen or a few seconds have passed.
std::string read_until(int fd, const std::string& want)
{
    std::string got;
    char buf[256];
    pollfd p{fd, POLLIN, 0};
    while (got.find(want) == std::string::npos && poll(&p, 1, 5000) > 0) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, (size_t)n);
    }
    return got;
}

// Runs step_pause in a child in a new session whose standard input holds
// "input" and whose standard output is a pipe; a given tty becomes its
// controlling terminal. The child exits 0 when the pause left standard
// input unread and the terminal's settings as they were.
struct PauseChild {
    pid_t pid;
    int out;
};

PauseChild start_pause_child(const char* tty)
{
    int out[2], in[2];
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(in), 0);
    EXPECT_EQ(write(in[1], "input", 5), 5);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        alarm(10);  // a pause that never returns fails the test instead of hanging it
        setsid();
        int term = tty ? open(tty, O_RDWR) : -1;
        termios before{}, after{};
        if (term >= 0) {
            ioctl(term, TIOCSCTTY, 0);
            tcgetattr(term, &before);
        }
        dup2(out[1], 1);
        dup2(in[0], 0);
        close(in[1]);
        step_pause();
        if (term >= 0)
            tcgetattr(term, &after);
        char buf[8];
        bool input_kept = read(0, buf, sizeof buf) == 5;
        _exit(input_kept && memcmp(&before, &after, sizeof before) == 0 ? 0 : 3);
    }
    close(out[1]);
    close(in[0]);
    close(in[1]);
    return {pid, out[0]};
}

// Waits for the child; expects a clean exit and nothing on its stdout.
void expect_clean_finish(const PauseChild& c)
{
    int status = 0;
    waitpid(c.pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the pause blocked or crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "stdin read or terminal left changed";
    EXPECT_EQ(read_until(c.out, "never"), "");
    close(c.out);
}

TEST(StepPause, WithoutTerminalNeitherWaitsNorWrites)
{
    expect_clean_finish(start_pause_child(nullptr));
}

TEST(StepPause, PromptsOnTheTerminalAndTakesOneKeyWithoutEnter)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    PauseChild c = start_pause_child(ptsname(master));
    std::string shown = read_until(master, kPrompt);
    // One key, no Enter: a canonical-mode read would never return.
    ASSERT_EQ(write(master, "k", 1), 1);
    shown += read_until(master, "\n");
    expect_clean_finish(c);
    EXPECT_EQ(shown, kPrompt + "\r\n");  // the key itself is not echoed
    close(master);
}

// ---- Register overlay ------------------------------------------------------

// A font whose glyphs all differ in shape and width, so that any difference
// in the overlay's text shows in the pixels.
std::string write_test_font()
{
    const int w = 5, h = 7;
    std::vector<int32_t> v{-100, w, h, 0};
    for (int c = 0; c < 128; c++)
        for (int col = 0; col < w; col++)
            for (int row = 0; row < h; row++)
                v.push_back(c > ' ' && col <= c % w && (c + 3 * col + row) % 3 != 0);
    std::string path = make_temp_dir() + "/test.mxf";
    std::ofstream f(path, std::ios::binary);
    for (int32_t x : v) {
        uint32_t u = (uint32_t)x;
        char b[4] = {(char)u, (char)(u >> 8), (char)(u >> 16), (char)(u >> 24)};
        f.write(b, 4);
    }
    return path;
}

// The display and a second surface on which the test draws what the
// overlay should look like: the box cleared, then the text.
class Overlay : public testing::Test {
protected:
    SDL_Surface* screen = nullptr;
    SDL_Surface* expected = nullptr;
    uint32_t white = 0;

    void SetUp() override
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        screen = SDL_SetVideoMode(480, 272, 32, 0);
        ASSERT_NE(screen, nullptr);
        const SDL_PixelFormat* f = screen->format;
        ASSERT_EQ(f->BitsPerPixel, 32);
        expected = SDL_CreateRGBSurface(SDL_SWSURFACE, 480, 272, 32, f->Rmask, f->Gmask, f->Bmask, f->Amask);
        white = SDL_MapRGB(f, 255, 255, 255);
        SDL_FillRect(screen, nullptr, SDL_MapRGB(f, 10, 20, 30));
        SDL_FillRect(expected, nullptr, SDL_MapRGB(f, 10, 20, 30));
        the_font = SDL_InitFont(write_test_font().c_str());
        ASSERT_NE(the_font, nullptr);
        debug_mode = 2;
        active = 1;
    }
    void TearDown() override
    {
        SDL_FreeFont(the_font);
        the_font = nullptr;
        front = nullptr;
        SDL_FreeSurface(expected);
        SDL_Quit();
    }

    static uint32_t pixel(SDL_Surface* s, int x, int y)
    {
        return ((uint32_t*)((uint8_t*)s->pixels + y * s->pitch))[x];
    }
    void draw_expected(const std::string& text)
    {
        SDL_Rect box = {260, 100, 50, 50};
        SDL_FillRect(expected, &box, 0);
        ASSERT_EQ(SDL_PrintText(expected, the_font, 260, 100, white, text.c_str()), 0);
        ASSERT_GT(count_white(expected), 0) << "text drawing is not available";
    }
    int count_differences()
    {
        int diff = 0;
        for (int y = 0; y < 272; y++)
            for (int x = 0; x < 480; x++)
                diff += pixel(screen, x, y) != pixel(expected, x, y);
        return diff;
    }
    int count_white(SDL_Surface* s)
    {
        int n = 0;
        for (int y = 0; y < 272; y++)
            for (int x = 0; x < 480; x++)
                n += pixel(s, x, y) == white;
        return n;
    }
};

TEST_F(Overlay, ClearsTheBoxAndDrawsRegistersAndInstructionInWhite)
{
    lex_source("loop " + std::string(1000, 'q'));
    lst = symbols.head;
    _reg.X = 5;
    _reg.Y = 0xa;
    _reg.A = 300;  // all of A, not just its low byte
    draw_debug(screen);
    draw_expected("X = 5 , Y = a , A = 12c\n Instruction: loop ");
    EXPECT_EQ(count_differences(), 0);

    // A long token text is shortened; past the end of the list it is empty.
    for (token_cell* cell : {symbols.head->next_cell, (token_cell*)nullptr}) {
        lst = cell;
        draw_debug(screen);
        draw_expected("X = 5 , Y = a , A = 12c\n Instruction: " + std::string(cell ? 32 : 0, 'q') + " ");
        EXPECT_EQ(count_differences(), 0);
    }
    sym_free(&symbols);
}

TEST_F(Overlay, OnlyInGfxModeAndOnlyOnceTheDisplayServiceRan)
{
    const std::pair<int, int> quiet[] = {{1, 1}, {0, 1}, {2, 0}};  // {debug_mode, active}
    for (auto [mode, on] : quiet) {
        debug_mode = mode;
        active = on;
        draw_debug(screen);
        EXPECT_EQ(count_differences(), 0) << "mode " << mode << " active " << on;
    }
}

TEST_F(Overlay, ScreenRefreshDrawsItWithTheCursorAfterTheService)
{
    front = screen;
    SDL_Rect area = {0, 0, 255, 255};  // the refresh copies the (empty) screen area
    SDL_FillRect(expected, &area, 0);
    for (int on : {0, 1}) {
        active = on;
        run_source("lda #300 int #21 next");
        sym_free(&symbols);
        if (on)
            draw_expected("X = 0 , Y = 0 , A = 12c\n Instruction: next ");
        EXPECT_EQ(count_differences(), 0) << "active " << on;
    }
}

TEST_F(Overlay, TextOutsideTheBoxStaysAcrossRefreshes)
{
    _reg.A = 0x12345678;
    draw_debug(screen);
    SDL_Surface* first = SDL_ConvertSurface(screen, screen->format, SDL_SWSURFACE);
    _reg.A = 0;
    draw_debug(screen);
    draw_expected("X = 0 , Y = 0 , A = 0\n Instruction:  ");
    int kept = 0;
    for (int y = 0; y < 272; y++) {
        for (int x = 0; x < 480; x++) {
            uint32_t now = pixel(screen, x, y);
            if (x >= 260 && x < 310 && y >= 100 && y < 150) {
                ASSERT_EQ(now, pixel(expected, x, y)) << x << "," << y;
            } else {
                ASSERT_TRUE(now == pixel(first, x, y) || now == white) << x << "," << y;
                kept += pixel(first, x, y) == white;
            }
        }
    }
    EXPECT_GT(kept, 0) << "the first overlay should reach past the box";
    SDL_FreeSurface(first);
}

}  // namespace
