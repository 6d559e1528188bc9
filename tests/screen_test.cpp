// The palette, the screen refresh and the pixel layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "display.h"
#include "framerate.h"
#include "parse.h"
#include "pixelbuffer.h"
#include "screen.h"
#include "services.h"
#include "support.h"

namespace {

int cell_of(int x, int y)
{
    return memory_offset + x + SCREEN_ROW * y;
}

uint32_t pixel(int x, int y)
{
    return getpixel(front, x, y, 32, front->pitch);
}

class Screen : public testing::Test {
protected:
    void SetUp() override
    {
        memset(&_reg, 0, sizeof _reg);
        open_test_display();
    }
    void TearDown() override { do_quit(); }
};

// A cleared 7 by 5 surface of the depth, with the usual channel masks.
SDL_Surface* surface_of_depth(int depth)
{
    SDL_Surface* s;
    if (depth == 16)
        s = SDL_CreateRGBSurface(SDL_SWSURFACE, 7, 5, 16, 0xF800, 0x07E0, 0x001F, 0);
    else if (depth == 15)
        s = SDL_CreateRGBSurface(SDL_SWSURFACE, 7, 5, 15, 0x7C00, 0x03E0, 0x001F, 0);
    else
        s = SDL_CreateRGBSurface(SDL_SWSURFACE, 7, 5, depth, 0xFF0000, 0xFF00, 0xFF, 0);
    memset(s->pixels, 0, (size_t)s->pitch * s->h);
    return s;
}

}  // namespace

TEST_F(Screen, PaletteLevelsOfEveryBitPair)
{
    const struct {
        int byte, r, g, b;
    } table[] = {
        {0x02, 127, 0, 0}, {0x04, 85, 0, 0}, {0x06, 255, 0, 0},  // the higher bit is darker
        {0x08, 0, 127, 0}, {0x10, 0, 85, 0}, {0x18, 0, 255, 0},
        {0x20, 0, 0, 127}, {0x40, 0, 0, 85}, {0x60, 0, 0, 255},
        {0x2A, 127, 127, 127}, {0x54, 85, 85, 85}, {0x7E, 255, 255, 255}, {0xFE, 255, 255, 255},
        {0x01, 0, 0, 0}, {0x80, 0, 0, 0}, {0x81, 0, 0, 0}, {0x1FE, 255, 255, 255},
    };
    for (const auto& t : table) {
        Uint8 r, g, b;
        SDL_GetRGB(trans_color(t.byte), front->format, &r, &g, &b);
        EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{t.r, t.g, t.b})) << t.byte;
    }
    std::set<uint32_t> colours;
    for (int byte = 0; byte < 256; byte++) {
        colours.insert(trans_color(byte));
        EXPECT_EQ(trans_color(byte), trans_color(byte ^ 0x81)) << byte;  // bits 0 and 7 ignored
    }
    EXPECT_EQ(colours.size(), 64u);
}

TEST_F(Screen, RefreshMapsCellsToPixelsWithinTheArea)
{
    SDL_FillRect(front, nullptr, 0xABCDEF);
    _reg.memory[cell_of(0, 0)] = 0x06;
    _reg.memory[cell_of(254, 254)] = 0x60;
    _reg.memory[735] = 0x18;              // pixel (0, 1)
    _reg.memory[4761] = 0x1E;             // pixel (186, 9)
    _reg.memory[510] = 0x7E;              // column 255 of row 0: never shown
    _reg.memory[cell_of(0, 255)] = 0x7E;  // row 255: never shown
    do_interupt(21);

    EXPECT_EQ(pixel(0, 0), trans_color(0x06));
    EXPECT_EQ(pixel(254, 254), trans_color(0x60));
    EXPECT_EQ(pixel(0, 1), trans_color(0x18));
    EXPECT_EQ(pixel(186, 9), trans_color(0x1E));
    EXPECT_EQ(pixel(100, 100), 0u);  // a zero byte is pixel value 0
    EXPECT_EQ(pixel(255, 0), 0xABCDEFu);
    EXPECT_EQ(pixel(0, 255), 0xABCDEFu);

    // Drawing outside the area stays until the surface is cleared.
    fill();
    SDL_Rect outside{300, 100, 20, 20};
    SDL_FillRect(front, &outside, 0x112233);
    do_interupt(32);
    EXPECT_EQ(pixel(310, 110), 0x112233u);
    EXPECT_EQ(pixel(0, 0), trans_color(0x06));
}

TEST_F(Screen, KeysShareRow136)
{
    active = 1;
    _reg.memory[cell_of(97, 136)] = 0x06;
    SDL_Event ev{};
    ev.type = SDL_KEYDOWN;
    ev.key.keysym.sym = SDLK_a;
    SDL_PushEvent(&ev);
    do_interupt(20);
    do_interupt(21);
    EXPECT_EQ(pixel(97, 136), trans_color(1));  // 1 is black, like 0
    EXPECT_EQ(trans_color(1), SDL_MapRGB(front->format, 0, 0, 0));
}

TEST_F(Screen, RefreshOfAnUnsupportedDepthWritesNothing)
{
    SDL_Surface* window = front;
    front = SDL_CreateRGBSurface(SDL_SWSURFACE, 480, 272, 15, 0x7C00, 0x03E0, 0x001F, 0);
    memset(front->pixels, 0x5A, (size_t)front->pitch * front->h);
    _reg.memory[cell_of(3, 3)] = 0x06;
    do_interupt(21);
    std::string bytes((const char*)front->pixels, (size_t)front->pitch * front->h);
    EXPECT_EQ(bytes, std::string(bytes.size(), 0x5A));
    SDL_FreeSurface(front);
    front = window;
}

TEST(PixelLayer, EveryDepthStoresAndReadsBackAPixel)
{
    const std::pair<int, uint32_t> cases[] = {
        {8, 0xA5}, {16, 0xBEEF}, {24, 0xFF123456}, {32, 0x89ABCDEF}, {15, 0x7FFF}};
    for (auto [depth, colour] : cases) {
        SDL_Surface* s = surface_of_depth(depth);
        void* pixels = lock(s, depth);
        EXPECT_EQ(pixels, depth == 15 ? nullptr : s->pixels) << depth;
        setpixel(s->pixels, 3, 2, colour, (uint8_t)depth, s->pitch);
        uint8_t in_bytes = (uint8_t)(depth == 15 ? 15 : depth / 8);  // the other spelling
        setpixel(s->pixels, 5, 4, colour, in_bytes, s->pitch);
        unlock(s);
        uint32_t stored = depth == 15 ? 0 : depth == 24 ? colour & 0xFFFFFF : colour;
        for (auto [x, y] : {std::pair{3, 2}, std::pair{5, 4}})
            EXPECT_EQ(getpixel(s, x, y, (uint8_t)depth, s->pitch), stored) << depth;
        for (auto [x, y] : {std::pair{2, 2}, std::pair{4, 2}, std::pair{3, 1}, std::pair{3, 3}})
            EXPECT_EQ(getpixel(s, x, y, (uint8_t)depth, s->pitch), 0u) << depth;
        if (depth == 24) {  // lowest byte first, the top byte goes nowhere
            const uint8_t* p = (const uint8_t*)s->pixels + 2 * s->pitch + 3 * 3;
            EXPECT_EQ((std::vector<int>{p[-1], p[0], p[1], p[2], p[3]}),
                      (std::vector<int>{0, 0x56, 0x34, 0x12, 0}));
        }
        if (depth == 15) {  // an unknown depth: nothing written
            EXPECT_EQ(std::string((const char*)s->pixels, (size_t)s->pitch * s->h),
                      std::string((size_t)s->pitch * s->h, 0));
        }
        SDL_FreeSurface(s);
    }
    EXPECT_EQ(lock(nullptr, 32), nullptr);
}

TEST(PixelLayer, SurfacesThatMustBeLockedAreLockedAndReleased)
{
    // A run-length encoded surface (SDL encodes it at its first blit) must
    // be locked before its pixels can be touched.
    SDL_Surface* s = surface_of_depth(32);
    SDL_Surface* target = surface_of_depth(32);
    SDL_SetColorKey(s, SDL_SRCCOLORKEY | SDL_RLEACCEL, 0);
    SDL_BlitSurface(s, nullptr, target, nullptr);
    SDL_FreeSurface(target);
    ASSERT_TRUE(SDL_MUSTLOCK(s));
    ASSERT_NE(lock(s, 32), nullptr);
    EXPECT_EQ(s->locked, 1);
    unlock(s);
    EXPECT_EQ(s->locked, 0);
    SDL_FreeSurface(s);
}

// The refresh against the per-pixel path it replaces (setpixel for every
// cell, column by column) on surfaces of every depth, one of them smaller
// than the area and one paletted: the pixels must be identical.
TEST_F(Screen, RefreshIsPixelIdenticalToThePerPixelPathAtEveryDepth)
{
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            _reg.memory[cell_of(x, y)] = (uint8_t)(x * 31 + y * 7 + (x ^ y));
    SDL_Surface* window = front;
    struct shape {
        int depth, w, h;
    };
    for (shape s : {shape{8, 480, 272}, shape{16, 480, 272}, shape{24, 480, 272},
                    shape{32, 480, 272}, shape{24, 200, 100}, shape{16, 255, 255}}) {
        SDL_Surface* out = SDL_CreateRGBSurface(SDL_SWSURFACE, s.w, s.h, s.depth, 0, 0, 0, 0);
        SDL_Surface* want = SDL_CreateRGBSurface(SDL_SWSURFACE, s.w, s.h, s.depth, 0, 0, 0, 0);
        if (s.depth == 8) {  // a palette unlike the default, so mapping really searches
            SDL_Color ramp[256];
            for (int i = 0; i < 256; i++)
                ramp[i] = SDL_Color{(Uint8)(255 - i), (Uint8)(i * 3), (Uint8)(i * 7), 0};
            SDL_SetColors(out, ramp, 0, 256);
            SDL_SetColors(want, ramp, 0, 256);
        }
        size_t size = (size_t)out->pitch * out->h;
        memset(out->pixels, 0x5A, size);
        memset(want->pixels, 0x5A, size);
        front = want;
        for (int x = 0; x < std::min(s.w, SCREEN_SIDE); x++)
            for (int y = 0; y < std::min(s.h, SCREEN_SIDE); y++) {
                uint8_t b = _reg.memory[cell_of(x, y)];
                setpixel(want->pixels, x, y, b ? trans_color(b) : 0, (uint8_t)s.depth,
                         want->pitch);
            }
        front = out;
        screen_refresh();
        EXPECT_EQ(memcmp(out->pixels, want->pixels, size), 0)
            << s.depth << " bits, " << s.w << " by " << s.h;
        SDL_FreeSurface(out);
        SDL_FreeSurface(want);
    }
    front = window;
}

// The window's pacing, on a clock the test sets: frames 1/60 s apart, an
// early refresh waits the rest, a late one shows at once and the schedule
// starts again from it (no catch-up burst), and full speed never waits.
TEST(Framerate, KeepsSixtyFramesASecondWithoutCatchingUp)
{
    framerate_fps = 60;
    framerate_full_speed = false;
    const double frame = 1.0 / 60;
    framerate_schedule s{};
    EXPECT_EQ(framerate_delay(&s, 10.0), 0);                     // the first shows at once
    EXPECT_NEAR(framerate_delay(&s, 10.004), frame - 0.004, 1e-9);  // early: waits the rest
    EXPECT_NEAR(s.shown_at, 10.0 + frame, 1e-9);                  // on the schedule, not late
    EXPECT_NEAR(framerate_delay(&s, 10.0 + frame + 0.001), frame - 0.001, 1e-9);
    EXPECT_EQ(framerate_delay(&s, 11.0), 0);                      // late: at once...
    EXPECT_NEAR(framerate_delay(&s, 11.001), frame - 0.001, 1e-9);  // ...and from there
    EXPECT_NEAR(s.shown_at, 11.0 + frame, 1e-9);

    framerate_full_speed = true;
    EXPECT_EQ(framerate_delay(&s, 11.02), 0);
    EXPECT_EQ(framerate_delay(&s, 11.0201), 0);
    framerate_full_speed = false;
    EXPECT_EQ(framerate_delay(&s, 11.0202), 0);                   // a new schedule
    framerate_fps = 30;
    EXPECT_NEAR(framerate_delay(&s, 11.0202), 1.0 / 30, 1e-9);
    framerate_fps = 60;
}
