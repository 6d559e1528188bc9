// The debugger's history against live runs, in-process on the debugger's
// own engine: every point of a run reached by going back from later, then
// any motion forward or back, gives the very stop and state (registers,
// flags, both stacks, memory with the screen area) that reaching the point
// by running from the start and making that motion gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "debugger.h"
#include "display.h"
#include "machine.h"
#include "services.h"
#include "stack.h"

namespace {

// The stop and the state after a motion, as one comparable text; memory as
// a hash of the part the programs use, the screen area inside it.
std::string seen(const dbg_stop& stop)
{
    char b[160];
    snprintf(b, sizeof b, "%s%s | %s | A=%d X=%u Y=%u F=", stop.refused ? "refused: " : "", stop.reason.c_str(),
             dbg_place(dbg.at).c_str(), _reg.A, _reg.X, _reg.Y);
    std::string s = b;
    for (uint8_t f : _reg.flags)
        s += std::to_string(f);
    s += " E=" + std::to_string(_reg.flag_extra) + " calls=";
    for (int i = 0; i < the_stack.count; i++)
        s += dbg_place(the_stack.items[i]) + ",";
    s += " bytes=";
    for (int i = 0; i < int_stack.count; i++)
        s += std::to_string(int_stack.items[i]) + ",";
    uint64_t hash = 1469598103934665603ull;
    for (int64_t i = 0; i < 0x20000; i++)
        hash = (hash ^ _reg.memory[i]) * 1099511628211ull;
    return s + " memory=" + std::to_string(hash);
}

struct motion {
    const char* name;
    std::function<dbg_stop()> go;
    bool reverse;
};

// From the start again; `continue 2` leaves no ignore count behind it.
void restart()
{
    dbg_restart();
    for (dbg_point& p : dbg.points)
        p.ignore = 0;
}

// Steps from the start: the number of statements before the one that ends
// the run.
long long statements_in_run()
{
    restart();
    long long n = 0;
    while (!dbg_move(MOTION_STEP).ended)
        n++;
    return n;
}

void steps(long long n, bool back = false)
{
    for (long long i = 0; i < n; i++) {
        dbg_stop s = back ? dbg_reverse(MOTION_STEP) : dbg_move(MOTION_STEP);
        ASSERT_FALSE(s.refused || s.ended) << i << " of " << n << ": " << s.reason;
    }
}

// Every point `stride` statements apart, each way of coming back to it,
// every motion: as from a live run to that point.
void check_timeline(const std::string& name, const std::string& text, const std::vector<std::string>& breaks,
                    const std::string& watch, const std::string& until, int64_t drawn_cell, int stride)
{
    std::string path = testing::TempDir() + name;
    std::ofstream(path) << text;
    while (!dbg.points.empty())
        dbg_delete_point(dbg.points.size() - 1);
    ASSERT_TRUE(dbg_load(path));
    dbg_restart();  // decodes the list, which placing points needs
    for (const std::string& where : breaks) {
        size_t bar = where.find('|');
        dbg_point p;
        p.number = dbg.next_number++;
        p.kind = POINT_LINE;
        p.where = where.substr(0, bar);
        std::string error;
        size_t column;
        p.cell = dbg_locate(p.where, error);
        ASSERT_NE(p.cell, nullptr) << error;
        if (bar != std::string::npos) {
            ASSERT_TRUE(dbg_expr_compile(where.substr(bar + 1), p.condition, error, column)) << error;
        }
        dbg.points.push_back(p);
    }
    if (!watch.empty()) {
        dbg_point p;
        p.number = dbg.next_number++;
        p.kind = POINT_WATCH_MEMORY;
        p.address = strtol(watch.c_str() + 1, nullptr, 16);
        p.length = 1;
        dbg.points.push_back(p);
    }
    for (dbg_point& p : dbg.points)
        dbg_arm(p);
    std::string error;
    token_cell* until_cell = dbg_locate(until, error);
    ASSERT_NE(until_cell, nullptr) << error;

    const std::vector<motion> motions = {
        {"step", [] { return dbg_move(MOTION_STEP); }, false},
        {"next", [] { return dbg_move(MOTION_NEXT); }, false},
        {"finish", [] { return the_stack.count ? dbg_move(MOTION_FINISH) : dbg_stop{"no frame", false, true}; }, false},
        {"until", [&] { return dbg_move(MOTION_UNTIL, until_cell); }, false},
        {"continue", [] { return dbg_move(MOTION_CONTINUE); }, false},
        {"continue 2", [] { return dbg_move(MOTION_CONTINUE, nullptr, 2); }, false},
        {"next frame", [] { return dbg_move(MOTION_FRAME); }, false},
        {"reverse-step", [] { return dbg_reverse(MOTION_STEP); }, true},
        {"reverse-next", [] { return dbg_reverse(MOTION_NEXT); }, true},
        {"reverse-finish", [] { return dbg_reverse(MOTION_FINISH); }, true},
        {"reverse-continue", [] { return dbg_reverse(MOTION_CONTINUE); }, true},
        {"back to the writer", [&] { return dbg_reverse_to_writer(drawn_cell); }, true},
    };
    history_start(4096);
    long long length = statements_in_run();
    ASSERT_GT(length, 100);
    int compared = 0;
    for (long long at = 0; at <= length; at += stride) {
        for (const motion& m : motions) {
            // Live: recorded from the start only where the motion goes back.
            if (m.reverse)
                history_start(4096);
            else
                history_stop();
            restart();
            steps(at);
            std::string there = seen({});
            std::string live = seen(m.go());

            history_start(4096);
            for (long long later : {1LL, 9LL, length + 1 - at}) {
                restart();
                if (later == length + 1 - at) {
                    // To the end at full speed, the engine writing the history.
                    for (dbg_point& p : dbg.points)
                        dbg_disarm(p);
                    ASSERT_TRUE(dbg_move(MOTION_CONTINUE).ended);
                    for (dbg_point& p : dbg.points)
                        dbg_arm(p);
                } else if (at + later <= length) {
                    steps(at + later);
                } else {
                    continue;
                }
                steps(later, true);
                ASSERT_EQ(seen({}), there) << name << ": statement " << at << ", back " << later;
                EXPECT_EQ(seen(m.go()), live) << there << "\n" << name << ": statement " << at << ", back " << later << ", then "
                                              << m.name;
                compared++;
            }
        }
    }
    EXPECT_GT(compared, 200);
    history_stop();
}

void start_machine()
{
    srand(1);
    set_callback(calls);
    front = display_start();
    dbg_out = fopen("/dev/null", "w");
}

// A bar drawn a pixel a frame through a subroutine that keeps A and the
// flags on the byte stack and calls another.
const char* const kFrames = R"(        int #19
        ldx #0
frame   jsr plot
        jsr wait
        int #21
        inx
        cpx #12
        bne frame
        brk
plot    pha
        php
        lda #$7E
        ldy #4
        int #22
        stx $20
        jsr count
        plp
        pla
        rts
count   lda $21
        adc #1
        sta $21
        rts
wait    ldy #3
spin    dey
        cpy #0
        bne spin
        rts
)";

// A subroutine that calls itself five deep, three times over.
const char* const kRecursion = R"(        int #19
        ldx #0
again   lda #0
        ldy #5
        jsr down
        inx
        int #32
        cpx #3
        bne again
        brk
down    pha
        cpy #0
        beq bottom
        dey
        lda $31
        adc #3
        sta $31
        sta $7E2
        jsr down
bottom  pla
        rts
)";

TEST(Timeline, GoingBackThenAnyMotionIsAsLive)
{
    start_machine();
    check_timeline("frames.zvs", kFrames, {"5", "21|[$21] == 5"}, "$20", "17", 255 + 3 + 480 * 4, 7);
    check_timeline("recursion.zvs", kRecursion, {"20|Y == 2", "6"}, "", "12", 0x7E2, 5);
}

}  // namespace
