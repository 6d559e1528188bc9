// Pictures that carry their program: zorvik-capture's PNG gives back the
// program and its run byte for byte, a PNG with a broken text is refused
// with what is wrong, and zorvik-play plays a PNG's program, keeping its
// screenshots and runs of it as pictures and tests that carry it again.
#include <png.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "display.h"
#include "play.h"
#include "play_keys.h"
#include "pngtext.h"
#include "support.h"

namespace {

// Prints "f" each frame and "a" while the key a is down, for ever.
const std::string kFrames =
    "        int #19\n"
    "frame   lda #8\n        ldm \"fa\"\n        ldx #8\n        ldy #8\n        int #1\n"
    "        int #20\n        int #20\n        ldy #97\n        int #25\n        cpx #1\n"
    "        bne up\n        ldx #9\n        ldy #9\n        int #1\n"
    "up      int #21\n        jmp frame\n";

// A chunk with its length and CRC.
std::string chunk(const std::string& type, const std::string& data)
{
    std::string out;
    auto be32 = [&](uint32_t v) {
        for (int i = 3; i >= 0; i--)
            out += (char)(v >> (8 * i));
    };
    be32((uint32_t)data.size());
    std::string body = type + data;
    out += body;
    be32((uint32_t)crc32(0, (const Bytef*)body.data(), (uInt)body.size()));
    return out;
}

std::string zlib_of(const std::string& text)
{
    uLongf size = compressBound(text.size());
    std::string out(size, '\0');
    EXPECT_EQ(compress((Bytef*)out.data(), &size, (const Bytef*)text.data(), text.size()), Z_OK);
    out.resize(size);
    return out;
}

const std::string kSignature = "\x89PNG\r\n\x1a\n";

pngtext_program read_program(const std::string& path, std::string& error, std::string& run_error)
{
    pngtext_program p;
    EXPECT_TRUE(pngtext_program_read(read_file(path), p, error, run_error)) << path << ": " << error;
    return p;
}

}  // namespace

// The program's bytes come back exactly, non-UTF-8 bytes and CRLF lines
// too, with its name and the run that --keys, --seed and --input made; the
// picture is a plain PNG to libpng; without those options only the program
// is carried; a program with a zero byte is not carried, and says so.
TEST(PngText, CaptureCarriesTheProgramAndItsRunByteForByte)
{
    std::string dir = enter_run_dir();
    std::string source = "; caf\xe9 \xff\xfe\r\n" + kFrames + "; \x80\x01 end\r\n";
    std::ofstream(dir + "/dodge.zvs", std::ios::binary) << source;
    std::ofstream(dir + "/in.txt", std::ios::binary) << "x\xffy\n";
    RunResult r = run_binary(ZORVIK_CAPTURE_BIN,
                             {"--keys", "1:a:down, 2:A:UP", "--seed", "9", "--input", "in.txt", "--frame", "3",
                              "dodge.zvs", "shot.png"},
                             "", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string error, run_error;
    pngtext_program p = read_program(dir + "/shot.png", error, run_error);
    EXPECT_EQ(p.source, source);
    EXPECT_EQ(p.name, "dodge.zvs");
    ASSERT_TRUE(p.has_run) << run_error;
    EXPECT_EQ(p.seed, 9u);
    EXPECT_EQ(p.keys, "1:a:down,2:A:UP");
    EXPECT_EQ(p.input, "x\xffy\n");
    EXPECT_EQ(p.frame, 3);

    // Image tools read the pixels as before; the texts are all zTXt, as
    // none is empty.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir + "/shot.png").c_str()));
    EXPECT_EQ(image.width, 480u);
    png_image_free(&image);
    std::vector<pngtext_item> items;
    ASSERT_TRUE(pngtext_read(read_file(dir + "/shot.png"), items, error));
    EXPECT_EQ(items.size(), 6u);
    std::string bytes = read_file(dir + "/shot.png");
    EXPECT_EQ(bytes.find("tEXt"), std::string::npos);
    EXPECT_LT(bytes.find("IDAT"), bytes.find("zTXtZorvik program"));

    // The run carried replays to the same picture.
    RunResult again = run_binary(ZORVIK_CAPTURE_BIN,
                                 {"--keys", p.keys, "--seed", std::to_string(p.seed), "--input", "in.txt",
                                  "--frames", std::to_string(p.frame), "dodge.zvs", "again.png"},
                                 "", dir);
    ASSERT_EQ(again.status, 0) << again.err;
    std::string replayed = read_file(dir + "/again.png");
    EXPECT_EQ(replayed.substr(0, replayed.find("zTXt")), bytes.substr(0, bytes.find("zTXt")));

    r = run_binary(ZORVIK_CAPTURE_BIN, {"--frames", "2", "dodge.zvs", "plain.png"}, "", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    p = read_program(dir + "/plain.png", error, run_error);
    EXPECT_EQ(p.source, source);
    EXPECT_FALSE(p.has_run);

    std::ofstream(dir + "/zero.zvs", std::ios::binary) << std::string("; a \0 byte\n", 11) + kFrames;
    r = run_binary(ZORVIK_CAPTURE_BIN, {"--frames", "2", "zero.zvs", "zero.png"}, "", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("zorvik-capture: the program holds a zero byte, which PNG text cannot; the picture does "
                         "not carry it\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(pngtext_program_read(read_file(dir + "/zero.png"), p, error, run_error));
    EXPECT_EQ(error, "it holds no program (no \"Zorvik program\" text)");
}

// A text cut short, one that inflates past 16 MiB, a PNG with no program:
// zorvik-play refuses each as it refuses a source it cannot open, naming
// what is wrong. The reader takes tEXt as well, the first of a keyword
// twice, and only a plain file name; it refuses damaged chunks, a stream
// that ends early and files that are no PNG.
TEST(PngText, BrokenPicturesAreRefusedWithWhatIsWrong)
{
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/prog.zvs") << kFrames;
    ASSERT_EQ(run_binary(ZORVIK_CAPTURE_BIN, {"--frames", "1", "prog.zvs", "good.png"}, "", dir).status, 0);
    std::string good = read_file(dir + "/good.png");
    size_t text = good.find("zTXtZorvik program") - 4;
    std::string header = good.substr(0, 8 + 25);  // the signature and IHDR
    std::string iend = chunk("IEND", "");
    std::string bomb = header + chunk("zTXt", std::string("Zorvik program\0\0", 16) +
                                                  zlib_of(std::string(PNGTEXT_MOST + 1, ';'))) + iend;
    std::ofstream(dir + "/cut.png", std::ios::binary) << good.substr(0, text + 40);
    std::ofstream(dir + "/bomb.png", std::ios::binary) << bomb;
    std::ofstream(dir + "/none.png", std::ios::binary) << header + chunk("tEXt", std::string("Title\0x", 7)) + iend;
    struct {
        const char* file;
        std::string why;
    } refused[] = {
        {"cut.png", "the zTXt chunk \"Zorvik program\" at byte " + std::to_string(text) + " is cut short: it says " +
                        std::to_string((unsigned char)good[text + 2] << 8 | (unsigned char)good[text + 3]) +
                        " bytes, and the file has 28 more"},
        {"bomb.png", "the zTXt chunk \"Zorvik program\" inflates past 16 MiB"},
        {"none.png", "it holds no program (no \"Zorvik program\" text)"},
    };
    for (const auto& e : refused) {
        RunResult r = run_binary(ZORVIK_PLAY_BIN, {"--exit-on-end", e.file}, "", dir);
        EXPECT_EQ(r.status, 2) << e.file;
        EXPECT_EQ(r.err, std::string("zorvik-play: cannot play '") + e.file + "': " + e.why + "\n");
        EXPECT_EQ(r.out, "");
    }

    pngtext_program p;
    std::string error, run_error;
    std::string texts = chunk("tEXt", std::string("Zorvik program\0first", 20)) +
                        chunk("zTXt", std::string("Zorvik program\0\0", 16) + zlib_of("second")) +
                        chunk("tEXt", std::string("Zorvik name\0../up.zvs", 21)) +
                        chunk("tEXt", std::string("Zorvik seed\0" "12", 14)) +
                        chunk("tEXt", std::string("Zorvik frame\0x", 14));
    ASSERT_TRUE(pngtext_program_read(header + texts + iend, p, error, run_error)) << error;
    EXPECT_EQ(p.source, "first");
    EXPECT_EQ(p.name, "");
    EXPECT_FALSE(p.has_run);
    EXPECT_EQ(run_error, "its frame, 'x', is not a number");

    std::string damaged = good;
    damaged[text + 30] ^= 1;
    std::string early = chunk("zTXt", std::string("Zorvik program\0\0", 16) + zlib_of(kFrames).substr(0, 20));
    struct {
        std::string png;
        std::string why;
    } broken[] = {
        {damaged, "the zTXt chunk at byte " + std::to_string(text) + " is damaged (its CRC does not match)"},
        {header + early + iend, "the zTXt chunk \"Zorvik program\" is cut short (its compressed text ends early)"},
        {header + chunk("zTXt", std::string("Zorvik program\0\1x", 17)) + iend,
         "the zTXt chunk \"Zorvik program\" is compressed by an unknown method"},
        {header + chunk("tEXt", "no keyword") + iend, "the tEXt chunk at byte 33 has no keyword of 1 to 79 bytes"},
        {header + texts, "it ends before its IEND chunk"},
        {"GIF89a", "it is not a PNG (its signature is missing)"},
        {kSignature + std::string(2, '\0'), "it is cut short: the chunk at byte 8 is not whole"},
        {header + std::string("\xff\xff\xff\xf0IDAT", 8) + std::string(8, 'x'),
         "the IDAT chunk at byte 33 is cut short: it says 4294967280 bytes, and the file has 4 more"},
    };
    for (const auto& e : broken) {
        EXPECT_FALSE(pngtext_program_read(e.png, p, error, run_error)) << e.why;
        EXPECT_EQ(error, e.why);
    }
}

namespace {

int frames_shown = 0;

// a goes down after frame 1; F10 and F12 after frame 2; the run ends at
// frame 4.
bool shooting_shown(SDL_Surface* surface)
{
    frames_shown++;
    bool end = play_shown(surface);
    if (frames_shown == 1)
        play_test_key(SDLK_a, SDL_KEYDOWN);
    if (frames_shown == 2)
        for (SDLKey key : {SDLK_F10, SDLK_F12}) {
            play_test_key(key, SDL_KEYDOWN);
            play_test_key(key, SDL_KEYUP);
        }
    return end || frames_shown >= 4;
}

}  // namespace

// zorvik-play runs the program a PNG carries. A screenshot of it carries
// it under its own name with the run so far; F10 keeps the run beside the
// PNG with the program as NAME-N.zvs, which zorvik-test replays, the
// carried texts of the expected frame making no difference.
TEST(PngText, PlayerPlaysThePictureProgramAndKeepsItsRuns)
{
    std::string dir = enter_run_dir();
    std::filesystem::create_directory(dir + "/shots");
    std::ofstream(dir + "/hi.zvs") << "        lda #0\n        ldm \"hi\\n\"\n        ldx #0\n        ldy #2\n"
                                      "        int #1\n";
    std::string source = "; dodge\r\n" + kFrames;
    std::ofstream(dir + "/dodge.zvs", std::ios::binary) << source;
    ASSERT_EQ(run_binary(ZORVIK_CAPTURE_BIN, {"hi.zvs", "hi.png"}, "", dir).status, 0);
    ASSERT_EQ(run_binary(ZORVIK_CAPTURE_BIN, {"--frames", "2", "dodge.zvs", "shots/shot.png"}, "", dir).status, 0);
    std::filesystem::remove(dir + "/dodge.zvs");
    RunResult played = run_binary(ZORVIK_PLAY_BIN, {"--exit-on-end", "hi.png"}, "", dir);
    EXPECT_EQ(played.status, 0) << played.err;
    EXPECT_EQ(played.out, "hi\n");

    frames_shown = 0;
    play.program = "shots/shot.png";
    play.from_png = true;
    play.seed_given = true;
    play.seed = 7;
    play.exit_on_end = true;
    mlex_file file{};
    std::string error;
    ASSERT_EQ(play_program_open(&file, error), 1) << error;
    play_console_install();
    play_window_install(1);
    front = display_start();
    ASSERT_TRUE(front);
    display_shown_hook = shooting_shown;
    std::string err;
    std::string out = capture_stdout([&] { err = capture_stderr([&] { play_run(&file); }); });
    do_quit();
    EXPECT_EQ(out, "ffafafa");
    EXPECT_NE(err.find("zorvik-play: wrote dodge-1.png\n"), std::string::npos) << err;
    EXPECT_NE(err.find("as shots/dodge-1.test, shots/dodge-1.keys, shots/dodge-1.out, shots/dodge-1.png and "
                       "shots/dodge-1.zvs\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(read_file(dir + "/shots/dodge-1.zvs"), source);
    EXPECT_EQ(read_file(dir + "/shots/dodge-1.test"),
              "# A run of dodge.zvs from shot.png kept by zorvik-play; zorvik-test replays it.\n"
              "program = dodge-1.zvs\nseed = 7\nstop-after-frame = 3\n");

    std::string run_error;
    pngtext_program shot = read_program(dir + "/dodge-1.png", error, run_error);
    EXPECT_EQ(shot.source, source);
    EXPECT_EQ(shot.name, "dodge.zvs");
    EXPECT_TRUE(shot.has_run);
    EXPECT_EQ(shot.seed, 7u);
    EXPECT_EQ(shot.keys, "1:a:down");
    EXPECT_EQ(shot.frame, 3);
    pngtext_program kept = read_program(dir + "/shots/dodge-1.png", error, run_error);
    EXPECT_EQ(kept.source, source);
    EXPECT_EQ(kept.name, "dodge-1.zvs");

    RunResult replay = run_binary(ZORVIK_TEST_BIN, {"shots"}, "", dir);
    EXPECT_EQ(replay.status, 0) << replay.out;
    EXPECT_NE(replay.out.find("1 passed, 0 failed"), std::string::npos) << replay.out;
}
