// zorvik-play: a save starts the program again in every state a run can be
// in, the command line's errors, and the player's keys in-process: SDL hands
// each event to the player's filter before it queues it, as here.
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "display.h"
#include "layout.h"
#include "machine.h"
#include "play.h"
#include "play_keys.h"
#include "support.h"

void play_test_key(SDLKey key, Uint8 type)
{
    SDL_Event event{};
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    if (play_keys_filter(&event))
        SDL_PushEvent(&event);
}

namespace {

// The player in a child process, its standard input held open (a pipe).
struct player {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;
    std::string said;  // standard output so far
};

player start_player(const std::string& dir, const std::string& program)
{
    int in[2], out[2], err[2];
    EXPECT_EQ(pipe(in), 0);
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(err), 0);
    player p;
    p.pid = fork();
    if (p.pid == 0) {
        setsid();
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        execl(ZORVIK_PLAY_BIN, ZORVIK_PLAY_BIN, program.c_str(), (char*)nullptr);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    p.in = in[1];
    p.out = out[0];
    p.err = err[0];
    return p;
}

// Seconds until standard output has printed `line` after what it printed
// before, or a large number when it never does.
double seconds_until(player& p, const std::string& line)
{
    auto start = std::chrono::steady_clock::now();
    size_t from = p.said.size();
    for (int waited = 0; p.said.find(line, from) == std::string::npos && waited < 10000; waited += 20) {
        pollfd fd{p.out, POLLIN, 0};
        char buf[4096];
        ssize_t n = poll(&fd, 1, 20) > 0 ? read(p.out, buf, sizeof buf) : 0;
        if (n > 0)
            p.said.append(buf, (size_t)n);
    }
    if (p.said.find(line, from) == std::string::npos)
        return 1e9;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const std::string kPrints = "        lda #0\n        ldm \"";

// Prints `word` on a line, then `rest`.
std::string printing(const std::string& word, const std::string& rest)
{
    return kPrints + word + "\\n\"\n        ldx #0\n        ldy #" + std::to_string(word.size()) +
           "\n        int #1\n" + rest;
}

// Reads a word from the console and prints it on a line.
const std::string kEchoWord =
    "        ldx #16\n        int #2\n        dey\n        int #1\n"
    "        lda #40\n        ldm \"\\n\"\n        ldx #40\n        ldy #40\n        int #1\n";

}  // namespace

// Each save is seen within a second, whatever the program is doing: a busy
// loop that never refreshes, a console read waiting for input, a refresh
// loop; written in place or renamed into place. Each version runs once,
// the console read gets standard input back, and SIGTERM ends the player
// with 128 + 15.
TEST(Play, SavingTheSourceStartsItAgainInEveryState)
{
    std::string dir = make_temp_dir();
    std::string path = dir + "/prog.zvs";
    std::ofstream(path) << printing("one", "spin    jmp spin\n");
    player p = start_player(dir, "prog.zvs");
    ASSERT_LT(seconds_until(p, "one\n"), 1e9);

    std::ofstream(path) << printing("two", kEchoWord + "spin    jmp spin\n");
    EXPECT_LT(seconds_until(p, "two\n"), 1.0);

    std::ofstream(dir + "/new.zvs") << printing("three", kEchoWord + "spin    int #21\n        jmp spin\n");
    std::filesystem::rename(dir + "/new.zvs", path);
    EXPECT_LT(seconds_until(p, "three\n"), 1.0);
    ASSERT_EQ(write(p.in, "word\n", 5), 5);
    EXPECT_LT(seconds_until(p, "word\n"), 1.0);

    kill(p.pid, SIGTERM);
    int status = 0;
    waitpid(p.pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 143);
    EXPECT_EQ(p.said, "one\ntwo\nthree\nword\n");
    char buf[4096];
    ssize_t n = read(p.err, buf, sizeof buf);
    std::string note = "zorvik-play: prog.zvs changed; starting again\n";
    std::string err(buf, n > 0 ? (size_t)n : 0);
    EXPECT_EQ(err.substr(err.find("zorvik-play: prog")), note + note) << err;
    for (int fd : {p.in, p.out, p.err})
        close(fd);
}

// Usage errors are one line and status 2, and so is no display with status
// 1; --help lists the options and the keys; with --exit-on-end a program
// that ends ends the player with the machine's status and output.
TEST(Play, CommandLineErrorsHelpAndAPlainRun)
{
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/hi.zvs") << printing("hi", "");
    struct {
        std::vector<std::string> args;
        std::string err;
    } errors[] = {
        {{"--bogus", "hi.zvs"}, "unknown option '--bogus' (--help lists them)"},
        {{}, "no PROGRAM.zvs to play (--help lists the options)"},
        {{"missing.zvs"}, "cannot open source file 'missing.zvs': No such file or directory"},
        {{"hi.zvs", "--scale=9"}, "bad value '9' for --scale: a whole number from 1 to 8 is needed"},
        {{"hi.zvs", "--fps"}, "the value of --fps is missing (--help lists the options)"},
        {{"hi.zvs", "hi.zvs"}, "one PROGRAM only (--help lists the options)"},
    };
    for (const auto& e : errors) {
        RunResult r = run_binary(ZORVIK_PLAY_BIN, e.args, "", dir);
        EXPECT_EQ(r.status, 2) << e.err;
        EXPECT_EQ(r.err, "zorvik-play: " + e.err + "\n");
        EXPECT_EQ(r.out, "");
    }
    RunResult unseen = run_binary(ZORVIK_PLAY_BIN, {"hi.zvs"}, "", dir, "env -u DISPLAY -u SDL_VIDEODRIVER");
    EXPECT_EQ(unseen.status, 1);
    EXPECT_EQ(unseen.err, "zorvik-play: no display (DISPLAY is not set), and the player needs a window\n");
    EXPECT_EQ(unseen.out, "");
    RunResult help = run_binary(ZORVIK_PLAY_BIN, {"--help"}, "", dir);
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--scale N", "--fps N", "--full-speed", "--no-reload", "--exit-on-end", "F5", "F12"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;

    RunResult played = run_binary(ZORVIK_PLAY_BIN, {"--scale", "2", "--exit-on-end", "hi.zvs"}, "", dir);
    RunResult run = run_binary(ZORVIK_BIN, {"hi.zvs"}, "", dir);
    EXPECT_EQ(played.status, 0);
    EXPECT_EQ(played.out, "hi\n");
    EXPECT_EQ(played.out, run.out);
    EXPECT_EQ(played.err, "");
}

namespace {

int frames_shown = 0;
uint32_t red = 0;
std::vector<uint32_t> window_corner;  // the window's top-left 10 by 10 pixels, at frame 2
int cells_at_frame_4[3];              // the key cells of a, F12 and F5


// At frame 1, F12 and the letter a go down; at
// frame 4, F5 starts the program again; the run ends at frame 8.
bool typing_shown(SDL_Surface* surface)
{
    frames_shown++;
    if (frames_shown == 1) {
        red = ((uint32_t*)surface->pixels)[4 * surface->pitch / 4 + 3];
        play_test_key(SDLK_F12, SDL_KEYDOWN);  // held: a key the program saw would stay down
        play_test_key(SDLK_a, SDL_KEYDOWN);
    }
    if (frames_shown == 2) {
        SDL_Surface* window = SDL_GetVideoSurface();
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 10; x++)
                window_corner.push_back(((uint32_t*)((uint8_t*)window->pixels + y * window->pitch))[x]);
    }
    if (frames_shown == 4) {
        int keys[] = {SDLK_a, SDLK_F12, SDLK_F5};
        for (int i = 0; i < 3; i++)
            cells_at_frame_4[i] = _reg.memory[key_offset + keys[i]];
        play_test_key(SDLK_F5, SDL_KEYDOWN);
    }
    return play_shown(surface) || frames_shown >= 8;
}

}  // namespace

// The program never sees the player's keys, and sees the others; F12 writes
// the frame shown beside the screenshots already there; the window is the
// picture twice as large, with sharp pixels; F5 starts the program again.
TEST(Play, PlayersKeysNeverReachTheProgram)
{
    std::string dir = enter_run_dir();
    std::ofstream(dir + "/prog.zvs") << printing("go", "        int #19\n        lda #6\n        ldx #3\n"
                                                       "        ldy #4\n        int #22\n"
                                                       "frame   int #21\n        int #20\n        int #20\n        jmp frame\n");
    std::ofstream(dir + "/prog-1.png") << "kept";
    frames_shown = 0;
    window_corner.clear();
    play.program = "prog.zvs";
    play.stem = "prog";
    play_window_install(2);
    front = display_start();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->w, 480);
    EXPECT_EQ(front->h, 272);
    EXPECT_EQ(SDL_GetVideoSurface()->w, 960);
    EXPECT_EQ(SDL_GetVideoSurface()->h, 544);
    display_shown_hook = typing_shown;
    play.exit_on_end = true;  // the run that ends at frame 8 ends the player
    mlex_file source{};
    ASSERT_EQ(mlex_init_file(&source, "prog.zvs"), 1);
    int status = -1;
    std::string out = capture_stdout([&] { status = play_run(&source); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "go\ngo\n");
    EXPECT_EQ(cells_at_frame_4[0], 1) << "a";
    EXPECT_EQ(cells_at_frame_4[1], 0) << "F12";
    EXPECT_EQ(cells_at_frame_4[2], 0) << "F5";

    // Pixel (3, 4) of the picture is the square (6..7, 8..9) of the window.
    ASSERT_EQ(window_corner.size(), 100u);
    EXPECT_NE(red, 0u);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 10; x++)
            EXPECT_EQ(window_corner[y * 10 + x], x / 2 == 3 && y / 2 == 4 ? red : 0u) << x << "," << y;

    EXPECT_EQ(read_file(dir + "/prog-1.png"), "kept");
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir + "/prog-2.png").c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    ASSERT_EQ(image.width, 480u);
    ASSERT_EQ(image.height, 272u);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        bool at_pixel = i / 3 == 4 * 480 + 3;
        uint32_t value = (uint32_t)rgb[i] << 16 | (uint32_t)rgb[i + 1] << 8 | rgb[i + 2];
        ASSERT_EQ(value, at_pixel ? 0xFF0000u : 0u) << i / 3;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/prog-3.png"));
    do_quit();
}

namespace {

// Taps inside one frame, each a key down and up between two refreshes: at
// frame 2 the key a and F12 twice, at frame 4 a again. At frame 6 the
// window is closed just after the player's look at the frame, so the
// program's next poll takes the closing.
bool tapping_shown(SDL_Surface* surface)
{
    frames_shown++;
    for (SDLKey key : {SDLK_a, SDLK_F12, SDLK_F12}) {
        if (frames_shown == 2 || (frames_shown == 4 && key == SDLK_a)) {
            play_test_key(key, SDL_KEYDOWN);
            play_test_key(key, SDL_KEYUP);
        }
    }
    if (frames_shown == 6) {
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        if (play_keys_filter(&quit))
            SDL_PushEvent(&quit);
        return false;
    }
    return play_shown(surface);
}

}  // namespace

// No tap is lost: the program sees each press of a at the poll after it
// and the release at the next, and F12 twice in a frame writes two
// pictures. Closing the window ends the player, which does not wait as
// after a program's own end, also when the program's poll took the closing.
TEST(Play, TapsShorterThanAFrameEachCount)
{
    std::string dir = enter_run_dir();
    std::filesystem::copy_file(std::string(ZORVIK_SOURCE_DIR) + "/tests/window/presses.zvs", dir + "/prog.zvs");
    frames_shown = 0;
    play.program = "prog.zvs";
    play.stem = "prog";
    play_window_install(1);
    front = display_start();
    ASSERT_TRUE(front);
    display_shown_hook = tapping_shown;
    mlex_file source{};
    ASSERT_EQ(mlex_init_file(&source, "prog.zvs"), 1);
    alarm(60);  // a player that kept waiting fails here rather than at ctest's limit
    int status = -1;
    std::string out = capture_stdout([&] { status = play_run(&source); });
    alarm(0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "a\na\n");
    EXPECT_EQ(frames_shown, 6);
    EXPECT_TRUE(std::filesystem::exists(dir + "/prog-2.png"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/prog-3.png"));
    do_quit();
}

namespace {

// The key a goes down after frame 1 and up after frame 3; F10 is pressed
// after frame 2 and after frame 4, so that the run is kept at frames 3 and
// 5. After frame 6 a goes down and F5 starts the program again, which
// finds a in the queue; F10 after its frame 2 keeps that run at its frame
// 3. The pointer's events never reach the program. The second run ends at
// its frame 4.
bool keeping_shown(SDL_Surface* surface)
{
    frames_shown++;
    bool end = play_shown(surface);
    if (frames_shown == 1 || frames_shown == 6)
        play_test_key(SDLK_a, SDL_KEYDOWN);
    if (frames_shown == 3)
        play_test_key(SDLK_a, SDL_KEYUP);
    if (frames_shown == 6)
        play_test_key(SDLK_F5, SDL_KEYDOWN);
    if (frames_shown == 2 || frames_shown == 4 || frames_shown == 8) {
        play_test_key(SDLK_F10, SDL_KEYDOWN);
        play_test_key(SDLK_F10, SDL_KEYUP);
        SDL_Event motion{};
        motion.type = SDL_MOUSEMOTION;
        EXPECT_EQ(play_keys_filter(&motion), 0);
    }
    return end || frames_shown >= 10;
}

}  // namespace

// F10 keeps the run up to the frame it acts at, beside the program under the
// first number none of whose files exists: the key events before that
// frame, the output up to it, no input file for a run that read none, and
// the frame. A run starts at a restart, with the keys the last one left in
// the queue. zorvik-test replays every kept run as the same run.
TEST(Play, KeptRunsReplayUnderTheTestRunner)
{
    std::string dir = enter_run_dir();
    std::filesystem::create_directory(dir + "/games");
    // "go", then each frame "f", and "a" while the key a is down.
    std::ofstream(dir + "/games/prog.zvs")
        << printing("go", "        int #19\n"
                          "frame   lda #8\n        ldm \"fa\"\n        ldx #8\n        ldy #8\n        int #1\n"
                          "        int #20\n        int #20\n        ldy #97\n        int #25\n        cpx #1\n"
                          "        bne up\n        ldx #9\n        ldy #9\n        int #1\n"
                          "up      int #21\n        jmp frame\n");
    std::ofstream(dir + "/games/prog-1.in") << "kept";
    frames_shown = 0;
    play.program = "games/prog.zvs";
    play.stem = "prog";
    play.seed_given = true;
    play.seed = 7;
    play_console_install();
    play_window_install(1);
    front = display_start();
    ASSERT_TRUE(front);
    display_shown_hook = keeping_shown;
    play.exit_on_end = true;
    mlex_file source{};
    ASSERT_EQ(mlex_init_file(&source, "games/prog.zvs"), 1);
    std::string err;
    std::string out = capture_stdout([&] { err = capture_stderr([&] { play_run(&source); }); });
    do_quit();
    EXPECT_EQ(out, "go\nffafafffgo\nfafafafa");

    std::string kept = dir + "/games/prog-";
    EXPECT_EQ(read_file(kept + "1.in"), "kept");
    EXPECT_EQ(read_file(kept + "2.test"), "# A run of prog.zvs kept by zorvik-play; zorvik-test replays it.\n"
                                          "program = prog.zvs\nseed = 7\nstop-after-frame = 3\n");
    EXPECT_EQ(read_file(kept + "2.keys"), "1:a:down\n");
    EXPECT_EQ(read_file(kept + "2.out"), "go\nffafa");
    EXPECT_EQ(read_file(kept + "3.keys"), "1:a:down\n3:a:up\n");
    EXPECT_EQ(read_file(kept + "3.out"), "go\nffafaff");
    EXPECT_EQ(read_file(kept + "4.keys"), "0:a:down\n");
    EXPECT_EQ(read_file(kept + "4.out"), "go\nfafafa");
    for (const char* absent : {"2.in", "3.in", "4.in", "5.test"})
        EXPECT_FALSE(std::filesystem::exists(kept + absent)) << absent;
    EXPECT_NE(err.find("zorvik-play: kept the run so far (seed 7, 3 shown frames) as games/prog-2.test, "
                       "games/prog-2.keys, games/prog-2.out and games/prog-2.png\n"
                       "zorvik-play: kept the run so far (seed 7, 5 shown frames) as games/prog-3.test, "
                       "games/prog-3.keys, games/prog-3.out and games/prog-3.png\n"
                       "zorvik-play: kept the run so far (seed 7, 3 shown frames) as games/prog-4.test, "
                       "games/prog-4.keys, games/prog-4.out and games/prog-4.png\n"),
              std::string::npos)
        << err;

    RunResult replay = run_binary(ZORVIK_TEST_BIN, {"games"}, "", dir);
    EXPECT_EQ(replay.status, 0) << replay.out;
    EXPECT_NE(replay.out.find("3 passed, 0 failed"), std::string::npos) << replay.out;
}
