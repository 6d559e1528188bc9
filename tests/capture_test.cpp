// zorvik-capture through the built program: the pixels of its PNGs and the
// frames of its GIFs (decoded with libpng and giflib), key scripts, errors,
// and the manual's pictures.
#include <gif_lib.h>
#include <png.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <set>

#include "support.h"

namespace fs = std::filesystem;

namespace {

struct picture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB, row by row
    uint32_t at(int x, int y) const { return rgb[(size_t)y * width + x]; }
};

picture read_png(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    picture p;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return p;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) {
        p.width = (int)image.width;
        p.height = (int)image.height;
        for (size_t i = 0; i + 2 < bytes.size(); i += 3)
            p.rgb.push_back((uint32_t)bytes[i] << 16 | (uint32_t)bytes[i + 1] << 8 | bytes[i + 2]);
    }
    return p;
}

// The GIF's frame count, and its last frame composed over the ones before.
picture read_gif(const std::string& path, int* frames)
{
    int error = 0;
    picture p;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
        *frames = -1;
        return p;
    }
    p.width = gif->SWidth;
    p.height = gif->SHeight;
    p.rgb.assign((size_t)p.width * p.height, 0);
    *frames = gif->ImageCount;
    for (int i = 0; i < gif->ImageCount; i++) {
        const SavedImage& f = gif->SavedImages[i];
        const ColorMapObject* map = f.ImageDesc.ColorMap ? f.ImageDesc.ColorMap : gif->SColorMap;
        for (int y = 0; y < f.ImageDesc.Height; y++)
            for (int x = 0; x < f.ImageDesc.Width; x++) {
                GifColorType c = map->Colors[f.RasterBits[(size_t)y * f.ImageDesc.Width + x]];
                p.rgb[(size_t)(f.ImageDesc.Top + y) * p.width + f.ImageDesc.Left + x] =
                    (uint32_t)c.Red << 16 | (uint32_t)c.Green << 8 | c.Blue;
            }
    }
    DGifCloseFile(gif, &error);
    return p;
}

RunResult capture(const std::vector<std::string>& args, const std::string& dir)
{
    return run_binary(ZORVIK_CAPTURE_BIN, args, "", dir);
}

// Two pixels, a text right of the screen area, one refresh.
const char* const kKnown =
    "        int #19\n"
    "        lda #6\n"        // red
    "        ldx #3\n"
    "        ldy #4\n"
    "        int #22\n"
    "        lda #24\n"       // green
    "        ldx #200\n"
    "        ldy #100\n"
    "        int #22\n"
    "        lda #96\n"       // blue text
    "        sta $1299\n"
    "        lda #250\n"
    "        sta $FFE13\n"
    "        lda #10\n"
    "        sta $FFE14\n"
    "        lda #10\n"
    "        ldm \"HI\"\n"
    "        ldx #0\n"
    "        int #86\n"       // at (260, 20)
    "        int #21\n";

TEST(Capture, PngHoldsExactPaletteColoursTextAndOverlay)
{
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/known.zvs") << kKnown;
    for (bool gfx : {false, true}) {
        std::vector<std::string> args = {"known.zvs", "out.png"};
        if (gfx)
            args.insert(args.begin(), "--debug=gfx");
        ASSERT_EQ(capture(args, dir).status, 0);
        picture p = read_png(dir + "/out.png");
        ASSERT_EQ(p.width, 480);
        ASSERT_EQ(p.height, 272);
        EXPECT_EQ(p.at(3, 4), 0xFF0000u);
        EXPECT_EQ(p.at(200, 100), 0x00FF00u);
        EXPECT_EQ(p.at(0, 0), 0u);
        std::set<uint32_t> colours(p.rgb.begin(), p.rgb.end());
        std::set<uint32_t> expected = {0u, 0xFF0000u, 0x00FF00u, 0x0000FFu};
        if (gfx)
            expected.insert(0xFFFFFFu);
        EXPECT_EQ(colours, expected) << "gfx " << gfx;
        int text = 0, overlay = 0;
        for (int y = 0; y < 272; y++)
            for (int x = 0; x < 480; x++) {
                text += p.at(x, y) == 0x0000FFu && x >= 260 && x < 280 && y >= 20 && y < 35;
                overlay += p.at(x, y) == 0xFFFFFFu && x >= 260 && x < 310 && y >= 100 && y < 150;
            }
        EXPECT_GT(text, 10);
        EXPECT_EQ(overlay > 10, gfx);
    }
}

TEST(Capture, GifHasEveryChangedFrameScaledAndEndsLikeThePng)
{
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/dots.zvs") << "        int #19\n        ldx #0\nloop    lda #126\n        ldy #7\n"
                                        "        int #22\n        int #21\n        int #21\n        inx\n"
                                        "        cpx #5\n        bne loop\n";
    ASSERT_EQ(capture({"--scale", "2", "dots.zvs", "dots.gif"}, dir).status, 0);
    ASSERT_EQ(capture({"--scale=2", "dots.zvs", "dots.png"}, dir).status, 0);
    int frames = 0;
    picture gif = read_gif(dir + "/dots.gif", &frames);
    EXPECT_EQ(frames, 5);  // ten refreshes, each shown twice
    EXPECT_EQ(gif.width, 960);
    EXPECT_EQ(gif.height, 544);
    picture png = read_png(dir + "/dots.png");
    EXPECT_TRUE(gif.rgb == png.rgb);
    EXPECT_EQ(png.at(8, 14), 0xFFFFFFu);  // pixel (4, 7), doubled

    // --frames ends a program that never ends; a run without frames is black.
    std::ofstream(dir + "/forever.zvs") << "loop int #21\n jmp loop\n";
    ASSERT_EQ(capture({"--frames", "3", "forever.zvs", "f.gif"}, dir).status, 0);
    read_gif(dir + "/f.gif", &frames);
    EXPECT_EQ(frames, 1);  // three identical frames, merged
    std::ofstream(dir + "/none.zvs") << "lda #1\n";
    RunResult none = capture({"none.zvs", "none.png"}, dir);
    EXPECT_EQ(none.status, 0);
    EXPECT_NE(none.err.find("no frame"), std::string::npos);
    EXPECT_EQ(read_png(dir + "/none.png").rgb, std::vector<uint32_t>(480 * 272, 0u));
}

TEST(Capture, KeyScriptMovesTheSquareOfTheKeysExample)
{
    std::string dir = enter_run_dir();
    std::string keys = std::string(ZORVIK_SOURCE_DIR) + "/examples/keys.zvs";
    // Right held from the start until frame 10 shown: ten steps of one pixel.
    ASSERT_EQ(capture({"--frames", "20", "--keys", "0:right:down,10:right:up", keys, "k.png"}, dir).status, 0);
    picture p = read_png(dir + "/k.png");
    ASSERT_EQ(p.width, 480);
    int left = 480, top = 272;
    for (int y = 0; y < 255; y++)
        for (int x = 0; x < 255; x++)
            if (p.at(x, y) == 0xFFFFFFu) {
                left = std::min(left, x);
                top = std::min(top, y);
            }
    EXPECT_EQ(left, 134);
    EXPECT_EQ(top, 124);
}

TEST(Capture, BadOptionsScriptsAndFilesFail)
{
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/p.zvs") << "int #21\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--scale", "9", "p.zvs", "o.png"},
             {"--fps", "0", "p.zvs", "o.gif"},
             {"--bogus", "p.zvs", "o.png"},
             {"p.zvs", "o.bmp"},
             {"p.zvs"},
             {"--keys", "5:space:down,x:up:down", "p.zvs", "o.png"},
             {"p.zvs", "no/such/dir/o.png"},
             {"--steps", "0", "p.zvs", "o.png"},
             {"--seconds", "0", "p.zvs", "o.png"}}) {
        RunResult r = capture(args, dir);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n') >= 1, true);
    }
    RunResult last = capture({"p.zvs", "o.png", "--keys"}, dir);
    EXPECT_EQ(last.status, 2);
    EXPECT_EQ(last.err, "zorvik-capture: the value of --keys is missing (--help lists the options)\n");
    RunResult bad_key = capture({"--keys", "1:spcae:down", "p.zvs", "o.png"}, dir);
    EXPECT_EQ(bad_key.status, 2);
    EXPECT_NE(bad_key.err.find("'1:spcae:down'"), std::string::npos) << bad_key.err;
    RunResult missing = capture({"missing.zvs", "o.png"}, dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "zorvik: cannot open source file 'missing.zvs': No such file or directory\n");
}

// Programs that never end nor refresh again end by themselves within the
// default limits, the two at once since each takes seconds; the picture is
// written, the status is 0, and standard error names the limit and the key
// events that never played.
TEST(Capture, EveryRunEndsByItselfAndSaysWhichLimitEndedIt)
{
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/spin.zvs") << "spin jmp spin\n";
    std::ofstream(dir + "/poll.zvs") << "int #19\nint #21\npoll int #20\njmp poll\n";
    auto spin = std::async(std::launch::async, [&] { return capture({"spin.zvs", "spin.png"}, dir); });
    RunResult poll = capture({"--keys", "0:RIGHT:down, 1:Escape:UP,2:ESCAPE:Down", "poll.zvs", "poll.png"}, dir);
    RunResult spun = spin.get();
    for (const RunResult& r : {spun, poll}) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.err.find("the run reached the step limit (--steps 5000000000)") != std::string::npos ||
                    r.err.find("the run reached the time limit (--seconds 30)") != std::string::npos)
            << r.err;
    }
    EXPECT_EQ(read_png(dir + "/spin.png").width, 480);
    EXPECT_EQ(read_png(dir + "/poll.png").width, 480);
    EXPECT_NE(poll.err.find("after 1 shown frame\n"), std::string::npos) << poll.err;
    EXPECT_NE(poll.err.find("1 key event never played, as the run ended after 1 shown frame: 2:ESCAPE:Down\n"),
              std::string::npos)
        << poll.err;

    RunResult frames = capture({"--frames", "1", "--seconds", "0.5", "poll.zvs", "f.png"}, dir);
    EXPECT_EQ(frames.err, "zorvik-capture: the run reached the frame limit (--frames 1)\n");
    RunResult steps = capture({"--steps=1000", "spin.zvs", "s.png"}, dir);
    EXPECT_NE(steps.err.find("the run reached the step limit (--steps 1000) after 0 shown frames\n"),
              std::string::npos);
}

// The pictures are redrawn and must not have drifted from their programs.
TEST(Capture, ManualPicturesAreCurrent)
{
    std::string out = make_temp_dir();
    std::string cmd = std::string(ZORVIK_SOURCE_DIR) + "/scripts/pictures.sh " + ZORVIK_CAPTURE_BIN + " " +
                      ZORVIK_RUN_DIR + " " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    int pictures = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(read_file(entry.path().string()) ==
                    read_file(std::string(ZORVIK_SOURCE_DIR) + "/docs/pictures/" + name))
            << "docs/pictures/" << name << " is out of date: cmake --build BUILD --target pictures";
        pictures++;
    }
    EXPECT_GE(pictures, 6);
}

}  // namespace
