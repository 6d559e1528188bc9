// The services of `int`, called through do_interupt with the registers set
// by hand, under SDL's dummy video driver.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "display.h"
#include "keynames.h"
#include "mxfont.h"
#include "parse.h"
#include "pixelbuffer.h"
#include "random.h"
#include "screen.h"
#include "services.h"
#include "support.h"

namespace {

void set_regs(int x, int y, int a = 0)
{
    _reg.X = (uint8_t)x;
    _reg.Y = (uint8_t)y;
    _reg.A = a;
}

void push(Uint8 type, int sym = 0)
{
    SDL_Event ev{};
    ev.type = type;
    ev.key.keysym.sym = (SDLKey)sym;
    SDL_PushEvent(&ev);
}

uint32_t pixel(int x, int y)
{
    return getpixel(front, x, y, 32, front->pitch);
}

// A snapshot of the whole machine, to tell that a service changed nothing.
registers snapshot;

class Services : public testing::Test {
protected:
    void SetUp() override { memset(&_reg, 0, sizeof _reg); }
};

// An open 32-bit window; the text tests draw with a font in which every
// glyph lights only its top-left cell, so a text of n characters lights n
// pixels on one row, two apart.
class DisplayServices : public Services {
protected:
    void SetUp() override
    {
        Services::SetUp();
        open_test_display();
    }
    void TearDown() override { do_quit(); }
    void use_dot_font()
    {
        std::string file = font_file_bytes(-100, 1, 1, 0, [](int, int, int) { return 1; });
        the_font = SDL_InitFont(write_temp_file(file, "dot.mxf").c_str());
        active = 1;
    }
};

}  // namespace

TEST_F(Services, PrintWritesAnInclusiveRange)
{
    memcpy(_reg.memory + 10, "hello", 5);
    auto print = [](int x, int y) {
        set_regs(x, y);
        return capture_stdout([] { do_interupt(1); });
    };
    EXPECT_EQ(print(10, 14), "hello");
    EXPECT_EQ(print(12, 12), "l");
    EXPECT_EQ(print(14, 10), "");
}

TEST_F(Services, ReadWordStoresItWithoutTerminatorAndWrapsY)
{
    _reg.memory[15] = '!';
    std::string out;
    with_stdin("hello world " + std::string(300, 'w'), [&out] {
        set_regs(10, 0);
        do_interupt(2);
        out = capture_stdout([] { do_interupt(1); });  // the same X and Y
        EXPECT_EQ(_reg.Y, 15);

        set_regs(252, 0);
        do_interupt(2);
        EXPECT_EQ(std::string((char*)_reg.memory + 252, 5), "world");
        EXPECT_EQ(_reg.Y, 1);

        set_regs(0, 0);
        do_interupt(2);  // a long word comes in pieces of 255
        EXPECT_EQ(_reg.Y, 255);
        EXPECT_EQ(_reg.memory[254], 'w');
        EXPECT_EQ(_reg.memory[255], 'l');  // from "world": untouched
        do_interupt(2);
        EXPECT_EQ(_reg.Y, 45);

        _reg.memory[40] = 0x66;
        set_regs(40, 99);
        do_interupt(2);  // at the end of the input: nothing copied, Y = X
        EXPECT_EQ(_reg.Y, 40);
        EXPECT_EQ(_reg.memory[40], 0x66);
    });
    EXPECT_EQ(out, "hello!");
}

TEST_F(Services, ReadNumbersKeepTheirLowByte)
{
    auto read = [](int service, const std::string& input, int count) {
        with_stdin(input, [service, count] {
            for (int cell = 1; cell <= count; cell++) {
                _reg.memory[cell] = 0x99;
                set_regs(cell, 0);
                do_interupt(service);
            }
        });
        return std::vector<int>(_reg.memory + 1, _reg.memory + 1 + count);
    };
    EXPECT_EQ(read(3, "300 -1 7 zz", 4), (std::vector<int>{44, 255, 7, 0}));
    EXPECT_EQ(read(4, "1ff 2a", 3), (std::vector<int>{255, 0x2a, 0}));
}

TEST_F(Services, RandomNumbersStayInTheirRanges)
{
    bool above_byte = false;
    for (int i = 0; i < 3000; i++) {
        do_interupt(23);
        ASSERT_TRUE(_reg.A >= 0 && _reg.A <= 254) << _reg.A;
        set_regs(200, 100);
        do_interupt(24);
        ASSERT_TRUE(_reg.A >= 200 && _reg.A <= 299) << _reg.A;
        above_byte |= _reg.A > 255;
    }
    EXPECT_TRUE(above_byte);  // not reduced to a byte
    set_regs(17, 0, -5);
    do_interupt(24);  // no range to draw from
    EXPECT_EQ(_reg.A, 17);
}

// The page's generator gives the C library's own sequence, seed for seed,
// the seeds that wrap a 32-bit word and the seed 0 included; natively the
// machine's numbers are rand()'s, and a fixed seed takes the clock's place.
TEST(Random, ThePagesGeneratorGivesTheCLibrarysSequence)
{
    for (unsigned seed : {0u, 1u, 2u, 12345u, 42u, 2147483647u, 2147483648u, 4294967295u, 1765411200u}) {
        random_glibc g;
        random_glibc_seed(g, seed);
        srand(seed);
        for (int i = 0; i < 1000; i++)
            ASSERT_EQ(random_glibc_next(g), rand()) << "seed " << seed << ", number " << i;
    }
    random_seed(12345);
    int first = random_next();
    srand(12345);
    EXPECT_EQ(first, rand());
    srand(7);
    int seventh = rand();
    random_fix_seed(true, 7);
    random_seed_from_clock();
    EXPECT_EQ(random_next(), seventh);
    random_fix_seed(false, 0);
}

TEST_F(Services, KeyTestSetsXOrClearsY)
{
    for (int value : {1, 0, 2}) {
        _reg.memory[key_offset + 97] = (uint8_t)value;
        set_regs(5, 97);
        do_interupt(25);
        EXPECT_EQ(_reg.X, value == 1 ? 1 : 5);
        EXPECT_EQ(_reg.Y, value == 1 ? 97 : 0);
    }
}

TEST_F(Services, IndexedLoadStoreAndTest)
{
    _reg.memory[300] = 0xAB;
    _reg.A = 300;
    do_interupt(256);
    EXPECT_EQ(_reg.A, 0xAB);
    for (int32_t outside : {-1, (int32_t)MEMORY_SIZE, INT32_MAX}) {
        _reg.A = outside;
        do_interupt(256);
        EXPECT_EQ(_reg.A, 0);
    }

    set_regs(200, 100, 0x1234);
    do_interupt(257);
    EXPECT_EQ(_reg.memory[300], 0x34);

    for (int value : {15, 0, 14, 255}) {
        _reg.memory[510] = (uint8_t)value;
        set_regs(255, 255);
        do_interupt(258);
        EXPECT_EQ(_reg.flags[FLAG_Z], value == 15 ? 0 : 1) << value;
    }
}

TEST_F(Services, UnknownNumbersChangeNothing)
{
    set_regs(1, 2, 3);
    memcpy(&snapshot, &_reg, sizeof _reg);
    for (int service : {0, 5, 26, 33, 255, 259, -1}) {
        EXPECT_EQ(do_interupt(service), 0);
        EXPECT_EQ(memcmp(&snapshot, &_reg, sizeof _reg), 0) << service;
    }
}

TEST_F(Services, CallbackLookupWalksTheActiveTableToItsEnd)
{
    EXPECT_EQ(get_callback(0), nullptr);  // no table yet
    static int called;
    static callback_entry table[] = {
        {[] { called = 1; }, 5},
        {[] { called = 2; }, 7},
        {[] { called = 3; }, 7},
        {nullptr, 9},  // the end: its key is never compared
    };
    set_callback(table);
    EXPECT_EQ(get_callback(9), nullptr);
    _reg.X = 7;
    do_interupt(87);
    EXPECT_EQ(called, 2);
    called = 0;
    _reg.X = 8;
    do_interupt(87);
    EXPECT_EQ(called, 0);
}

TEST_F(DisplayServices, CallbackZeroOfTheBuiltInTableClearsTheSurface)
{
    set_callback(calls);
    SDL_FillRect(front, nullptr, 0x123456);
    _reg.X = 1;
    do_interupt(87);
    EXPECT_EQ(pixel(400, 200), 0x123456u);
    _reg.X = 0;
    do_interupt(87);
    EXPECT_EQ(pixel(400, 200), 0u);
}

TEST_F(DisplayServices, PollingFillsTheKeyStateAreaOneEventAtATime)
{
    push(SDL_KEYDOWN, SDLK_a);
    push(SDL_KEYDOWN, SDLK_UP);
    push(SDL_USEREVENT);
    push(SDL_KEYUP, SDLK_a);
    active = 1;

    EXPECT_EQ(do_interupt(20), 0);
    EXPECT_EQ(_reg.memory[key_offset + SDLK_a], 1);
    EXPECT_EQ(_reg.memory[65808], 0);
    EXPECT_EQ(do_interupt(20), 0);
    EXPECT_EQ(_reg.memory[65808], 1);  // the up arrow, 273
    EXPECT_EQ(do_interupt(20), 0);     // another kind of event is dropped
    EXPECT_EQ(do_interupt(20), 0);
    EXPECT_EQ(_reg.memory[key_offset + SDLK_a], 0);

    memcpy(&snapshot, &_reg, sizeof _reg);
    EXPECT_EQ(do_interupt(20), 0);  // an empty queue changes nothing
    EXPECT_EQ(memcmp(&snapshot, &_reg, sizeof _reg), 0);
    EXPECT_NE(front, nullptr);
}

// The one cell that a service changed from 0, or -1.
int64_t changed_cell()
{
    int64_t found = -1;
    for (int64_t i = 0; i < MEMORY_SIZE; i++)
        if (_reg.memory[i]) {
            EXPECT_EQ(found, -1) << "a second cell changed: " << i;
            found = i;
        }
    return found;
}

// What the layout says of a cell is where the services write: the pixel
// that service 22 stores, the key that service 20 records, and no further.
TEST_F(DisplayServices, LayoutPlacesAreTheCellsTheServicesWrite)
{
    for (auto [x, y] : {std::pair{0, 0}, {254, 0}, {186, 9}, {27, 136}, {0, 254}, {254, 254}}) {
        set_regs(x, y, 0x2A);
        do_interupt(22);
        int64_t cell = changed_cell();
        layout_place p = layout_place_of(cell);
        EXPECT_TRUE(p.shown && p.screen_x == x && p.screen_y == y) << x << ", " << y << " is at " << cell;
        _reg.memory[cell] = 0;
        if (x == 254) {
            layout_place after = layout_place_of(cell + 1);
            EXPECT_FALSE(after.shown);
            EXPECT_EQ(after.screen_y, y == 254 ? -1 : y) << "past the last column shown of row " << y;
        }
    }
    active = 1;
    for (int key : {(int)SDLK_ESCAPE, (int)SDLK_BACKQUOTE, (int)SDLK_UP, SDLK_LAST - 1}) {
        push(SDL_KEYDOWN, key);
        do_interupt(20);
        int64_t cell = changed_cell();
        EXPECT_EQ(layout_place_of(cell).key, key);
        EXPECT_EQ(key_name(layout_place_of(cell).key), SDL_GetKeyName((SDLKey)key));
        _reg.memory[cell] = 0;
    }
    EXPECT_EQ(layout_place_of(key_offset + KEY_SYMBOLS).key, -1);
    EXPECT_EQ(layout_place_of(key_offset - 1).key, -1);
    EXPECT_FALSE(layout_place_of(MEMORY_SIZE).in_memory);
    EXPECT_FALSE(layout_place_of(-1).in_memory);
}

TEST_F(DisplayServices, QuitEventEndsTheRunAtThePollWithTheDisplayClosed)
{
    enter_run_dir();
    push(SDL_QUIT);
    run_source("int #19\nlda #1\nint #20\nlda #2\n");
    EXPECT_EQ(_reg.A, 1);
    EXPECT_EQ(_reg.X, 0);
    EXPECT_EQ(front, nullptr);
    EXPECT_EQ(the_font, nullptr);
    EXPECT_EQ(active, 1);  // closing leaves it as it was
}

TEST_F(DisplayServices, PollingBeforeTheDisplayServiceShutsTheDisplayDown)
{
    _reg.X = 9;
    EXPECT_EQ(do_interupt(20), 0);
    EXPECT_EQ(front, nullptr);
    EXPECT_EQ(_reg.X, 0);
}

TEST_F(DisplayServices, OpenDisplayLoadsTheFontOnEveryCall)
{
    enter_run_dir();
    _reg.X = 7;
    for (int call = 0; call < 2; call++) {  // the font before is released
        do_interupt(19);
        EXPECT_NE(the_font, nullptr);
        EXPECT_EQ(active, 1);
        EXPECT_EQ(_reg.X, 7);
    }
    // A closed window is opened again, with its caption.
    do_quit();
    do_interupt(19);
    ASSERT_NE(front, nullptr);
    EXPECT_EQ(_reg.X, 0);
    char* title = nullptr;
    SDL_WM_GetCaption(&title, nullptr);
    EXPECT_STREQ(title, "Zorvik VM");
    EXPECT_NE(the_font, nullptr);
}

TEST(ServicesNoDisplay, NothingIsDrawnWhenNoWindowCanBeOpened)
{
    memset(&_reg, 0, sizeof _reg);
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    do_interupt(19);
    EXPECT_EQ(_reg.X, 1);
    EXPECT_EQ(active, 0);
    EXPECT_EQ(front, nullptr);
    EXPECT_EQ(the_font, nullptr);
    active = 1;
    set_regs(0, 5);
    for (int service : {21, 32, 86, 87, 88})
        EXPECT_EQ(do_interupt(service), 0);
    EXPECT_EQ(trans_color(0x7E), 0u);
    do_quit();
}

TEST_F(DisplayServices, DrawTextTakesItsPlaceAndColourFromMemory)
{
    use_dot_font();
    _reg.memory[0xFFE13] = 100;   // x before A is added
    _reg.memory[0xFFE14] = 50;    // y before A is added
    _reg.memory[4761] = 0x06;     // red: the text colour
    _reg.memory[0xFFE15] = 0x18;  // the number colour, not used here
    memcpy(_reg.memory + 13, "ab\0d", 4);
    set_regs(10, 14, 3);          // memory[A + 10] up to memory[A + 13]
    do_interupt(86);
    EXPECT_EQ(pixel(103, 53), trans_color(0x06));
    EXPECT_EQ(pixel(105, 53), trans_color(0x06));
    EXPECT_EQ(pixel(107, 53), 0u);  // after the zero byte

    SDL_FillRect(front, nullptr, 0);
    set_regs(14, 10, 3);  // Y <= X: the empty text
    do_interupt(86);
    set_regs(200, 255, INT32_MAX);  // text and place far outside
    do_interupt(86);
    active = 2;  // only 1 lets text be drawn
    set_regs(10, 14, 3);
    do_interupt(86);
    EXPECT_EQ(pixel(103, 53), 0u);
}

TEST_F(DisplayServices, DrawNumberGoesToXPlusAAndY)
{
    use_dot_font();
    _reg.memory[0xFFE17] = 123;
    _reg.memory[0xFFE15] = 0x60;  // blue
    _reg.memory[4761] = 0x06;     // the text colour, not used here
    set_regs(200, 20, 100);
    do_interupt(88);
    for (int x : {300, 302, 304})  // three digits, one dot each
        EXPECT_EQ(pixel(x, 20), trans_color(0x60));
    EXPECT_EQ(pixel(306, 20), 0u);
}
