// The font file loader and the text layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <utility>

#include "mxfont.h"
#include "pixelbuffer.h"
#include "support.h"

namespace {

using points = std::set<std::pair<int, int>>;

const char* const format_error = "Error invalid font file format!\n";

// Loads a font file made of bytes; *err gets what went to standard error.
mx_font* load(const std::string& bytes, std::string* err = nullptr)
{
    testing::internal::CaptureStderr();
    mx_font* f = SDL_InitFont(write_temp_file(bytes, "font.mxf").c_str());
    std::string text = testing::internal::GetCapturedStderr();
    if (err)
        *err = text;
    return f;
}

int no_cells(int, int, int)
{
    return 0;
}

SDL_Surface* canvas(int w = 480, int h = 272)
{
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    SDL_FillRect(s, nullptr, 0);
    return s;
}

points lit(SDL_Surface* s)
{
    points p;
    for (int y = 0; y < s->h; y++)
        for (int x = 0; x < s->w; x++)
            if (getpixel(s, x, y, 32, s->pitch))
                p.insert({x, y});
    return p;
}

// The pixels of 'a' of the test font with its pen at (x, y).
points a_at(int x, int y)
{
    return {{x, y + 1}, {x + 5, y + 3}};
}

points merge(std::initializer_list<points> parts)
{
    points all;
    for (const points& p : parts)
        all.insert(p.begin(), p.end());
    return all;
}

// The test font, 8 by 8, made the way the loader makes one: 'a' lights
// (0, 1) and (5, 3), so it advances by 7 and steps lines by 3; 'b' is a
// 2 by 2 block; 'w' lights (6, 0), advancing by 8; 'd' lights (0, 6), a
// line step of 6; tab lights (1, 1).
class Layout : public testing::Test {
protected:
    void SetUp() override
    {
        font = InitFont((mx_font*)calloc(1, sizeof(mx_font)), 8, 8, 0);
        const std::pair<unsigned char, std::pair<int, int>> cells[] = {
            {'a', {0, 1}}, {'a', {5, 3}}, {'b', {0, 0}}, {'b', {0, 1}}, {'b', {1, 0}},
            {'b', {1, 1}}, {'w', {6, 0}}, {'d', {0, 6}}, {'\t', {1, 1}}};
        for (auto [c, at] : cells)
            font->glyphs[c][at.first][at.second] = 1;
        surface = canvas();
    }
    void TearDown() override
    {
        SDL_FreeFont(font);
        SDL_FreeSurface(surface);
    }
    int print(int x, int y, const char* text)
    {
        return SDL_PrintText(surface, font, x, y, 0xFFFFFF, text);
    }
    points redraw(int x, int y, const char* text)
    {
        SDL_FillRect(surface, nullptr, 0);
        print(x, y, text);
        return lit(surface);
    }
    mx_font* font = nullptr;
    SDL_Surface* surface = nullptr;
};

}  // namespace

TEST(FontFile, LoadsCellsInGlyphColumnRowOrder)
{
    mx_font* f = load(font_file_bytes(-100, 2, 3, 77, [](int g, int c, int r) {
        return g * 100 + c * 10 + r + 1;
    }));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->width, 2);
    EXPECT_EQ(f->height, 3);
    EXPECT_EQ(f->background, 0);  // not the fill value
    EXPECT_EQ(f->glyphs[0][1][2], 13);
    EXPECT_EQ(f->glyphs[127][1][0], 12711);
    SDL_FreeFont(f);
}

TEST(FontFile, AcceptsSidesFromZeroTo250)
{
    // Only the header: the cells keep the fill value.
    mx_font* f = load(font_file_bytes(-100, 250, 250, -3, no_cells, 0));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->glyphs[127][249][249], -3);
    SDL_FreeFont(f);
    for (auto [w, h] : {std::pair{0, 8}, std::pair{8, 0}}) {
        f = load(font_file_bytes(-100, w, h, 1, no_cells));
        ASSERT_NE(f, nullptr) << w << "x" << h;
        SDL_FreeFont(f);
    }
}

TEST(FontFile, RefusesWhatIsNoFont)
{
    std::string err;
    for (auto [w, h] : {std::pair{251, 8}, std::pair{8, 251}, std::pair{-1, 8}, std::pair{8, -1}}) {
        EXPECT_EQ(load(font_file_bytes(-100, w, h, 0, no_cells, 0), &err), nullptr);
        EXPECT_EQ(err, format_error) << w << "x" << h;
    }
    EXPECT_EQ(load(font_file_bytes(100, 1, 1, 0, no_cells), &err), nullptr);  // the magic
    EXPECT_EQ(err, format_error);
    EXPECT_EQ(load(font_file_bytes(-100, 1, 1, 0, no_cells, 0).substr(0, 15), &err), nullptr);
    EXPECT_EQ(err, format_error);

    testing::internal::CaptureStderr();
    EXPECT_EQ(SDL_InitFont((make_temp_dir() + "/none.mxf").c_str()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // missing: no message
}

TEST(FontFile, FileCutShortKeepsTheFillValue)
{
    // Glyphs 0 to 64 are in the file, then two bytes of glyph 65.
    mx_font* f = load(font_file_bytes(-100, 2, 2, 9, no_cells, 65) + "\x01\x02");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->glyphs[64][1][1], 0);
    EXPECT_EQ(f->glyphs[65][0][0], 9);
    // The fill differs from the background, so those glyphs are drawn whole.
    SDL_Surface* s = canvas(40, 20);
    EXPECT_EQ(SDL_PrintText(s, f, 1, 1, 0xFFFFFF, "@A"), 0);
    EXPECT_EQ(lit(s), (points{{1, 1}, {2, 1}, {1, 2}, {2, 2}}));
    SDL_FreeSurface(s);

    std::string out = capture_stdout([f] { dump_font(f); });
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 512);
    EXPECT_EQ(out.substr(out.size() - 6), "9 \n9 \n");
    SDL_FreeFont(f);
}

TEST_F(Layout, GlyphsAdvanceByTheirRightmostLitColumnPlusTwo)
{
    EXPECT_EQ(print(10, 10, "aa"), 0);
    EXPECT_EQ(lit(surface), merge({a_at(10, 10), a_at(17, 10)}));
    // A blank, and codes above 127, move by the advance of the glyph before.
    EXPECT_EQ(redraw(10, 10, "a a\xC8" "a"), merge({a_at(10, 10), a_at(24, 10), a_at(38, 10)}));
    EXPECT_EQ(redraw(10, 30, " a"), a_at(10, 30));  // a leading blank does not move
    // Control characters other than the newline are glyphs like any other.
    EXPECT_EQ(redraw(10, 10, "\ta\r"), merge({points{{11, 11}}, a_at(13, 10)}));
}

TEST_F(Layout, NewlineStepsByTheLowestLitRowSoFar)
{
    // 'a' steps 3; 'd' deepens the step to 6, which stays after a newline.
    print(10, 10, "a\na\nda\na");
    EXPECT_EQ(lit(surface), merge({a_at(10, 10), a_at(10, 13), points{{10, 22}},
                                   a_at(12, 16), a_at(10, 22)}));
}

TEST_F(Layout, LineWrapsWhenThePenCannotTakeAnotherAdvance)
{
    // After a 'w' at 464 the pen is at 472, and 472 + 8 reaches the edge.
    EXPECT_EQ(redraw(464, 10, "ww"), (points{{470, 10}}));  // a step of 0: the same row
    EXPECT_EQ(redraw(463, 10, "dww"), (points{{463, 16}, {471, 10}, {469, 16}}));
}

TEST_F(Layout, TextPastTheBottomStopsAndYieldsOne)
{
    // 'd' sets a line step of 6: the bottom is crossed once y + 6 > 272.
    EXPECT_EQ(print(10, 266, "da"), 0);
    EXPECT_EQ(lit(surface), a_at(12, 266));
    SDL_FillRect(surface, nullptr, 0);
    EXPECT_EQ(print(10, 267, "da"), 1);
    EXPECT_TRUE(lit(surface).empty());  // the 'a' after it is not drawn
    EXPECT_EQ(print(10, 250, "d\nd\nd\nd"), 1);     // the fourth line crosses it
    EXPECT_EQ(print(10, 250, "d\n\n\n\n\n"), 0);  // a newline is not tested

    // The surface is unlocked on every exit.
    SDL_Surface* target = canvas(8, 8);
    SDL_SetColorKey(surface, SDL_SRCCOLORKEY | SDL_RLEACCEL, 0x123456);
    SDL_BlitSurface(surface, nullptr, target, nullptr);
    SDL_FreeSurface(target);
    ASSERT_TRUE(SDL_MUSTLOCK(surface));
    EXPECT_EQ(print(10, 10, "ab"), 0);
    EXPECT_EQ(surface->locked, 0);
    EXPECT_EQ(print(10, 270, "d"), 1);
    EXPECT_EQ(surface->locked, 0);
}

TEST_F(Layout, RowAndColumnZeroAreNeverDrawn)
{
    EXPECT_EQ(redraw(0, 0, "b"), (points{{1, 1}}));
    EXPECT_EQ(redraw(-1, 5, "b"), (points{}));
    EXPECT_EQ(redraw(478, 270, "b"), (points{{478, 270}, {479, 270}, {478, 271}, {479, 271}}));
}

TEST_F(Layout, NothingToDraw)
{
    EXPECT_EQ(print(10, 10, ""), 0);
    EXPECT_EQ(print(10, 10, "\n"), 0);
    EXPECT_EQ(SDL_PrintText(surface, nullptr, 10, 10, 0xFFFFFF, "ab"), 0);
    EXPECT_EQ(SDL_PrintText(nullptr, font, 10, 10, 0xFFFFFF, "ab"), 0);
    mx_font* empty = InitFont((mx_font*)calloc(1, sizeof(mx_font)), 0, 8, 0);
    EXPECT_EQ(SDL_PrintText(surface, empty, 10, 10, 0xFFFFFF, "abc\nd"), 0);
    SDL_PrintTextScaled(surface, empty, 10, 10, 8, 8, 0xFFFFFF, "abc");
    EXPECT_TRUE(lit(surface).empty());
    SDL_FreeFont(empty);
}

TEST_F(Layout, ScaledGlyphsAreResampled)
{
    EXPECT_EQ(SDL_GetFX(font, 3, 16), 1);
    EXPECT_EQ(SDL_GetFZ(font, 15, 16), 7);
    EXPECT_EQ(SDL_GetFX(font, 6, 7), 6);  // 48 / 7 = 6.86, cut to 6
    // At 16 by 16 every cell of 'b' becomes 2 by 2 pixels, from column and
    // row 0 on; the pen moves by the last lit column + 2.
    SDL_PrintTextScaled(surface, font, 0, 0, 16, 16, 0xFFFFFF, "bb");
    points expected;
    for (int x = 0; x < 4; x++)
        for (int y = 0; y < 4; y++)
            expected.insert({{x, y}, {x + 5, y}});
    EXPECT_EQ(lit(surface), expected);
    // Pixels outside the surface are dropped.
    SDL_FillRect(surface, nullptr, 0);
    SDL_PrintTextScaled(surface, font, -2, 270, 16, 16, 0xFFFFFF, "b");
    EXPECT_EQ(lit(surface), (points{{0, 270}, {1, 270}, {0, 271}, {1, 271}}));
}
