// The debugger's commands: one table of names, abbreviations, help and
// handlers, which `help` and the reader share. Names are gdb's.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstring>

#include "SDL.h"
#include "debugger.h"
#include "display.h"
#include "framerate.h"
#include "machine.h"
#include "position.h"
#include "screen.h"
#include "stack.h"
#include "symtab.h"

namespace {

struct command {
    const char* name;
    const char* aliases;  // blank-separated
    bool repeats;         // an empty line runs it again
    const char* usage;
    const char* help;
    void (*run)(const std::string& args);
};

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...)
{
    va_list list;
    va_start(list, format);
    vfprintf(dbg_out, format, list);
    va_end(list);
}

std::string trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string first_word(const std::string& s, std::string* rest)
{
    std::string t = trim(s);
    size_t blank = t.find_first_of(" \t");
    if (rest)
        *rest = blank == std::string::npos ? "" : trim(t.substr(blank));
    return t.substr(0, blank);
}

// Compiles and evaluates, or says where the text went wrong.
bool compile(const std::string& text, dbg_expr& e)
{
    std::string error;
    size_t column = 0;
    if (dbg_expr_compile(text, e, error, column))
        return true;
    say("bad expression: %s\n  %s\n  %*s^\n", error.c_str(), text.c_str(), (int)column - 1, "");
    return false;
}

bool evaluate(const std::string& text, int64_t& value)
{
    dbg_expr e;
    if (!compile(text, e))
        return false;
    std::string error;
    if (!dbg_expr_eval(e, value, error)) {
        say("cannot evaluate '%s': %s\n", text.c_str(), error.c_str());
        return false;
    }
    return true;
}

bool whole_number(const std::string& s, long long& v)
{
    if (s.empty() || s.size() > 15 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    v = std::stoll(s);
    return true;
}

// $HEX, with a sign where it is negative.
std::string hex(int64_t v)
{
    char b[40];
    snprintf(b, sizeof b, "%s$%llx", v < 0 ? "-" : "", (unsigned long long)(v < 0 ? -(uint64_t)v : (uint64_t)v));
    return b;
}

bool inside_memory(int64_t at)
{
    if (at >= 0 && at < MEMORY_SIZE)
        return true;
    say("%s is outside memory, which is $0 to $ffffff\n", hex(at).c_str());
    return false;
}

// A value in one of gdb's formats: x hex, d signed, u unsigned, t binary,
// c the character of its low byte. Its low `bytes` bytes count; a memory
// unit (`unit`) is shown with all its digits and d takes its sign from
// its top bit.
std::string formatted(int64_t v, char format, int bytes, bool unit)
{
    uint64_t u = bytes >= 8 ? (uint64_t)v : (uint64_t)v & ((1ull << (8 * bytes)) - 1);
    char b[80];
    if (format == 'x') {
        if (unit)
            snprintf(b, sizeof b, "%0*llx", 2 * bytes, (unsigned long long)u);
        else
            snprintf(b, sizeof b, "$%llx", (unsigned long long)u);
    } else if (format == 'd') {
        int shift = bytes >= 8 ? 0 : 64 - 8 * bytes;
        snprintf(b, sizeof b, "%lld", unit ? (long long)((int64_t)(u << shift) >> shift) : (long long)v);
    } else if (format == 'u') {
        snprintf(b, sizeof b, "%llu", (unsigned long long)u);
    } else if (format == 't') {
        std::string bits;
        for (int i = 8 * bytes - 1; i >= 0; i--)
            if (unit || !bits.empty() || (u >> i & 1) || i == 0)
                bits += (u >> i & 1) ? '1' : '0';
        return bits;
    } else {
        unsigned c = (unsigned)(u & 0xFF);
        int width = unit ? 3 : 1;  // a memory unit's number in a column
        if (c == '\'' || c == '\\')
            snprintf(b, sizeof b, "%*u '\\%c'", width, c, (char)c);
        else if (c >= 0x20 && c < 0x7F)
            snprintf(b, sizeof b, "%*u '%c'", width, c, (char)c);
        else
            snprintf(b, sizeof b, "%*u '\\x%02X'", width, c, c);
    }
    return b;
}

void show_stop(const dbg_stop& stop)
{
    if (stop.refused)
        say("%s\n", stop.reason.c_str());
    else
        dbg_report(stop);
}

void move(dbg_motion how, const std::string& args)
{
    long long n = 1;
    if (!args.empty() && !whole_number(args, n)) {
        say("'%s' is not a count\n", args.c_str());
        return;
    }
    if (how == MOTION_CONTINUE) {
        show_stop(dbg_move(how, nullptr, n));
        return;
    }
    const char* done = how == MOTION_STEP ? "step" : "next";
    for (long long i = 0; i < n; i++) {
        dbg_stop stop = dbg_move(how);
        if (stop.refused || stop.ended || stop.reason != done || i + 1 == n) {
            show_stop(stop);
            return;
        }
    }
}

void cmd_step(const std::string& a) { move(MOTION_STEP, a); }
void cmd_next(const std::string& a) { move(MOTION_NEXT, a); }
void cmd_continue(const std::string& a) { move(MOTION_CONTINUE, a); }

void cmd_finish(const std::string&)
{
    if (the_stack.count == 0) {
        say("'finish' needs a subroutine: the return stack is empty\n");
        return;
    }
    show_stop(dbg_move(MOTION_FINISH));
}

// Where LOC stops, or null after saying why (COMMAND names the asker).
token_cell* locate_or_say(const std::string& loc, const char* command)
{
    if (loc.empty()) {
        say("%s needs a place: LINE, FILE:LINE or a label\n", command);
        return nullptr;
    }
    std::string error;
    token_cell* c = dbg_locate(loc, error);
    if (!c)
        say("%s\n", error.c_str());
    return c;
}

void cmd_until(const std::string& a)
{
    if (a.empty()) {
        dbg_stop stop = dbg_move(MOTION_NEXT);
        if (stop.reason == "next")
            stop.reason = "until";
        show_stop(stop);
        return;
    }
    if (token_cell* c = locate_or_say(a, "until"))
        show_stop(dbg_move(MOTION_UNTIL, c));
}

void add_breakpoint(const std::string& loc, bool temporary)
{
    token_cell* c = locate_or_say(loc, "break");
    if (!c)
        return;
    dbg_point p;
    p.number = dbg.next_number++;
    p.kind = isdigit((unsigned char)loc.back()) ? POINT_LINE : POINT_LABEL;
    p.where = loc;
    p.temporary = temporary;
    p.cell = c;
    dbg.points.push_back(p);
    dbg_arm(dbg.points.back());
    say("%s %d at %s: %s\n", temporary ? "Temporary breakpoint" : "Breakpoint", p.number, dbg_place(c).c_str(),
        dbg_statement_text(c).c_str());
}

void cmd_break(const std::string& a) { add_breakpoint(a, false); }
void cmd_tbreak(const std::string& a) { add_breakpoint(a, true); }

dbg_point* numbered(const std::string& text)
{
    long long n = 0;
    dbg_point* p = whole_number(text, n) && n < 1000000000 ? dbg_point_numbered((int)n) : nullptr;
    if (!p)
        say("no breakpoint or watchpoint number '%s'\n", text.c_str());
    return p;
}

void cmd_condition(const std::string& a)
{
    std::string rest, n = first_word(a, &rest);
    dbg_point* p = numbered(n);
    if (!p)
        return;
    if (rest.empty()) {
        p->condition = dbg_expr{};
        say("breakpoint %d is unconditional now\n", p->number);
        return;
    }
    dbg_expr e;
    if (compile(rest, e))
        p->condition = e;
}

void cmd_ignore(const std::string& a)
{
    std::string rest, n = first_word(a, &rest);
    dbg_point* p = numbered(n);
    long long count = 0;
    if (!p)
        return;
    if (!whole_number(rest, count)) {
        say("ignore needs a count: ignore N COUNT\n");
        return;
    }
    p->ignore = count;
    say("will ignore the next %lld crossings of breakpoint %d\n", count, p->number);
}

void for_each_numbered(const std::string& a, void (*act)(dbg_point&))
{
    std::string rest = a;
    while (!trim(rest).empty()) {
        std::string n = first_word(rest, &rest);
        if (dbg_point* p = numbered(n))
            act(*p);
    }
}

void cmd_delete(const std::string& a)
{
    if (trim(a).empty()) {
        while (!dbg.points.empty())
            dbg_delete_point(dbg.points.size() - 1);
        return;
    }
    std::string rest = a;
    while (!trim(rest).empty()) {
        std::string n = first_word(rest, &rest);
        if (dbg_point* p = numbered(n))
            dbg_delete_point((size_t)(p - dbg.points.data()));
    }
}

void cmd_disable(const std::string& a) { for_each_numbered(a, dbg_disarm); }
void cmd_enable(const std::string& a) { for_each_numbered(a, dbg_arm); }

// watch ADDR[,LEN] watches memory; any other expression its value.
void cmd_watch(const std::string& a)
{
    std::string text = trim(a), length_text;
    size_t comma = text.rfind(',');
    if (comma != std::string::npos) {
        length_text = trim(text.substr(comma + 1));
        text = trim(text.substr(0, comma));
    }
    dbg_expr e;
    if (text.empty()) {
        say("watch needs an address or an expression\n");
        return;
    }
    if (!compile(text, e))
        return;
    dbg_point p;
    p.number = dbg.next_number;
    p.where = a;
    if (dbg_expr_constant(e)) {
        int64_t address = 0, length = 1;
        std::string error;
        dbg_expr_eval(e, address, error);
        if (!length_text.empty() && !evaluate(length_text, length))
            return;
        if (length < 1) {
            say("watch needs a length of at least 1: watch ADDR,LEN\n");
            return;
        }
        if (!inside_memory(address))
            return;
        if (length > MEMORY_SIZE - address) {
            say("cannot watch %lld bytes at %s: memory ends at $ffffff\n", (long long)length, hex(address).c_str());
            return;
        }
        p.kind = POINT_WATCH_MEMORY;
        p.address = address;
        p.length = length;
    } else if (!length_text.empty()) {
        say("a length goes with an address: watch ADDR,LEN\n");
        return;
    } else {
        p.kind = POINT_WATCH_EXPR;
        p.watched = e;
    }
    dbg.next_number++;
    dbg.points.push_back(p);
    dbg_arm(dbg.points.back());
    say("Watchpoint %d: %s\n", p.number, trim(a).c_str());
}

// print/F EXPR: F is x, d, u, t or c; the value is taken as 32 bits wide,
// as $HEX shows it, but d shows it as it is.
void cmd_print(const std::string& a)
{
    std::string format, text = trim(a);
    if (!text.empty() && text[0] == '/') {
        format = first_word(text.substr(1), &text);
        if (format.size() != 1 || std::string("xdutc").find(format[0]) == std::string::npos) {
            say("print/%s: the format is one letter of x (hex), d (signed), u (unsigned), t (binary) or c "
                "(character)\n",
                format.c_str());
            return;
        }
    }
    int64_t v;
    if (text.empty()) {
        say("print needs an expression\n");
        return;
    }
    if (!evaluate(text, v))
        return;
    if (format.empty())
        say("%s = %lld ($%llx)\n", text.c_str(), (long long)v, (unsigned long long)v & 0xFFFFFFFFull);
    else
        say("%s = %s\n", text.c_str(), formatted(v, format[0], 4, false).c_str());
}

void cmd_display(const std::string& a)
{
    if (trim(a).empty()) {
        for (auto& [n, e] : dbg.displays)
            say("%d: %s\n", n, e.text.c_str());
        return;
    }
    dbg_expr e;
    if (!compile(trim(a), e))
        return;
    dbg.displays.push_back({dbg.next_display++, e});
    int64_t v;
    std::string error;
    if (dbg_expr_eval(e, v, error))
        say("%d: %s = %lld ($%llx)\n", dbg.displays.back().first, e.text.c_str(), (long long)v,
            (unsigned long long)v & 0xFFFFFFFFull);
}

void cmd_undisplay(const std::string& a)
{
    long long n = 0;
    if (trim(a).empty()) {
        dbg.displays.clear();
        return;
    }
    for (size_t i = 0; i < dbg.displays.size(); i++)
        if (whole_number(trim(a), n) && dbg.displays[i].first == n) {
            dbg.displays.erase(dbg.displays.begin() + (long)i);
            return;
        }
    say("no display number '%s'\n", trim(a).c_str());
}

// A change where the run has gone back drops the recorded future, and
// says so.
void note_change()
{
    if (dbg_change())
        say("%s\n", DBG_FORKED);
}

// set var LOC = EXPR, LOC being A, X, Y, a flag or [ADDR].
void cmd_set(const std::string& a)
{
    std::string rest, word = first_word(a, &rest);
    if (word == "full-speed") {
        std::string value = trim(rest);
        if (value != "on" && value != "off") {
            say("set full-speed needs on or off; it is %s\n", framerate_full_speed ? "on" : "off");
            return;
        }
        framerate_full_speed = value == "on";
        say("Refreshes in the window %s.\n", framerate_full_speed ? "no longer wait: full speed"
                                                               : "wait for their frame: 60 a second");
        return;
    }
    std::string text = word == "var" || word == "variable" ? rest : trim(a);
    size_t eq = text.find('=');
    if (eq == std::string::npos || (eq + 1 < text.size() && text[eq + 1] == '=')) {
        say("set var needs LOC = EXPR, LOC being A, X, Y, a flag or [ADDR]\n");
        return;
    }
    std::string target = trim(text.substr(0, eq));
    int64_t v;
    if (!evaluate(trim(text.substr(eq + 1)), v))
        return;
    static const char flags[] = "NV-BDIZC";
    std::string up = target;
    for (char& c : up)
        c = (char)toupper((unsigned char)c);
    bool flag = up.size() == 1 && up != "-" && strchr(flags, up[0]);
    int64_t at = 0;
    if (target.size() > 2 && target.front() == '[' && target.back() == ']') {
        if (!evaluate(target.substr(1, target.size() - 2), at))
            return;
        if (at < 0 || at >= MEMORY_SIZE) {
            say("$%llx is past the end of memory ($ffffff)\n", (unsigned long long)at);
            return;
        }
    } else if (up != "A" && up != "X" && up != "Y" && !flag) {
        say("cannot set '%s': use A, X, Y, a flag (N V B D I Z C) or [ADDR]\n", target.c_str());
        return;
    }
    note_change();
    if (up == "A")
        _reg.A = (int32_t)v;
    else if (up == "X")
        _reg.X = (uint8_t)v;
    else if (up == "Y")
        _reg.Y = (uint8_t)v;
    else if (flag)
        _reg.flags[strchr(flags, up[0]) - flags] = (uint8_t)v;
    else
        mem_write(at, (int)(v & 0xFF));
    for (dbg_point& p : dbg.points)
        if (p.enabled)
            dbg_watch_refresh(p);
}

// Which of `count` units of `size` bytes at `at` one x shows: those in
// memory, and at most MAX_SHOWN bytes. Says where it cut the rest off.
constexpr int64_t MAX_SHOWN = 65536;

int64_t units_shown(int64_t at, int64_t count, int size)
{
    int64_t fit = std::min((MEMORY_SIZE - at) / size, MAX_SHOWN / size);
    return std::min(count, fit);
}

void say_cut(int64_t at, int64_t count, int64_t shown, int size)
{
    if (shown >= count)
        return;
    int64_t next = at + shown * size;
    if (next + size > MEMORY_SIZE)
        say("(cut after %s: memory ends there)\n", hex(next - 1).c_str());
    else
        say("(cut after %s: one x shows at most %lld bytes; x %s goes on)\n", hex(next - 1).c_str(),
            (long long)MAX_SHOWN, hex(next).c_str());
}

// x ADDR [COUNT]: bytes with their characters.
void dump(int64_t at, int64_t count)
{
    int64_t shown = units_shown(at, count, 1);
    for (int64_t row = 0; row < shown; row += 16) {
        std::string chars;
        say("$%06llx:", (unsigned long long)(at + row));
        for (int64_t i = row; i < row + 16 && i < shown; i++) {
            uint8_t b = mem_read(at + i);
            say(" %02x", b);
            chars += b >= 0x20 && b < 0x7F ? (char)b : '.';
        }
        say("%*s  %s\n", (int)(3 * (16 - std::min<int64_t>(16, shown - row))), "", chars.c_str());
    }
    say_cut(at, count, shown, 1);
}

// x/NFU ADDR as gdb reads it: N units (1 by default) of U bytes (b 1, h 2,
// w 4, g 8; little-endian) in format F (x d u t c). F and U stay for the
// next x/ that leaves them out.
char x_format = 'x', x_unit = 'b';

void examine(const std::string& nfu, const std::string& where)
{
    size_t digits = nfu.find_first_not_of("0123456789");
    std::string count_text = nfu.substr(0, digits), letters = digits == std::string::npos ? "" : nfu.substr(digits);
    long long count = 1;
    if (!count_text.empty() && !whole_number(count_text, count)) {
        say("x/%s: the count has too many digits\n", nfu.c_str());
        return;
    }
    char format = x_format, unit = x_unit;
    for (char c : letters) {
        if (std::string("xdutc").find(c) != std::string::npos)
            format = c;
        else if (std::string("bhwg").find(c) != std::string::npos)
            unit = c;
        else {
            say("x/%s: '%c' is no format (x d u t c) or unit (b h w g)\n", nfu.c_str(), c);
            return;
        }
    }
    int64_t at;
    if (where.empty()) {
        say("x/%s needs an address\n", nfu.c_str());
        return;
    }
    if (!evaluate(where, at) || !inside_memory(at))
        return;
    if (count < 1) {
        say("x needs a count of at least 1\n");
        return;
    }
    x_format = format;
    x_unit = unit;
    int size = unit == 'b' ? 1 : unit == 'h' ? 2 : unit == 'w' ? 4 : 8;
    int64_t shown = units_shown(at, count, size);
    if (shown == 0) {
        say("a %d-byte unit at %s runs past the end of memory ($ffffff)\n", size, hex(at).c_str());
        return;
    }
    int per_row = (format == 't' || format == 'c' ? 8 : 16) / size;
    per_row = std::max(per_row, 1);
    int width = format == 'd' ? (size == 1 ? 4 : size == 2 ? 6 : size == 4 ? 11 : 20)
                : format == 'u' ? (size == 1 ? 3 : size == 2 ? 5 : size == 4 ? 10 : 20)
                                 : 0;
    for (int64_t i = 0; i < shown; i++) {
        int64_t cell = at + i * size;
        if (i % per_row == 0)
            say("%s$%06llx:", i ? "\n" : "", (unsigned long long)cell);
        uint64_t u = 0;
        for (int k = 0; k < size; k++)
            u |= (uint64_t)mem_read(cell + k) << (8 * k);
        say(" %*s", width, formatted((int64_t)u, format, size, true).c_str());
    }
    say("\n");
    say_cut(at, count, shown, size);
}

void cmd_x(const std::string& a)
{
    std::string text = trim(a);
    if (!text.empty() && text[0] == '/') {
        std::string where, nfu = first_word(text.substr(1), &where);
        examine(nfu, where);
        return;
    }
    std::string rest, where = first_word(text, &rest);
    int64_t at = 0, count = 16;
    if (where.empty()) {
        say("x needs an address: x ADDR [COUNT] or x/NFU ADDR\n");
        return;
    }
    if (!evaluate(where, at) || (!rest.empty() && !evaluate(rest, count)) || !inside_memory(at))
        return;
    if (count < 1) {
        say("x needs a count of at least 1\n");
        return;
    }
    dump(at, count);
}

void info_registers()
{
    static const char flags[] = "NV-BDIZC";
    say("A = %d ($%x)  X = %u ($%02x)  Y = %u ($%02x)\n", _reg.A, (unsigned)_reg.A, _reg.X, _reg.X, _reg.Y, _reg.Y);
    for (int i = 0; i < 8; i++)
        if (flags[i] != '-')
            say("%c = %u%s", flags[i], _reg.flags[i], i < 7 ? "  " : "\n");
}

void info_stack()
{
    say("return stack: %d of %d\n", the_stack.count, STACK_LIMIT);
    for (int i = the_stack.count - 1; i >= 0; i--)
        say("  %d: returns to %s\n", i, dbg_place(the_stack.items[i]).c_str());
    say("byte stack: %d of %d\n", int_stack.count, STACK_LIMIT);
    if (int_stack.count) {
        say(" ");
        for (int i = int_stack.count - 1; i >= 0; i--)
            say(" %02x", int_stack.items[i]);
        say("  (top first)\n");
    }
}

void info_breakpoints()
{
    if (dbg.points.empty()) {
        say("no breakpoints or watchpoints\n");
        return;
    }
    say("Num  Type        Enb  Hits  Where\n");
    for (const dbg_point& p : dbg.points) {
        const char* type = p.kind == POINT_LINE || p.kind == POINT_LABEL ? (p.temporary ? "tbreakpoint" : "breakpoint")
                                                                         : "watchpoint";
        std::string where = p.cell ? dbg_place(p.cell) + " (" + p.where + ")" : trim(p.where);
        say("%-4d %-11s %-4s %-5lld %s\n", p.number, type, p.enabled ? "y" : "n", p.hits, where.c_str());
        if (!p.condition.code.empty())
            say("     stop only if %s\n", p.condition.text.c_str());
        if (p.ignore)
            say("     ignore the next %lld hits\n", p.ignore);
    }
}

void info_pixel(const std::string& a)
{
    std::string y_text, x_text = first_word(a, &y_text);
    int64_t x, y;
    if (x_text.empty() || y_text.empty()) {
        say("info pixel needs X and Y\n");
        return;
    }
    if (!evaluate(x_text, x) || !evaluate(y_text, y))
        return;
    if (x < 0 || x >= SCREEN_SIDE || y < 0 || y >= SCREEN_SIDE) {
        say("pixel (%lld, %lld) is outside the screen area: X and Y are 0 to %d\n", (long long)x, (long long)y,
            SCREEN_SIDE - 1);
        return;
    }
    int64_t cell = memory_offset + x + SCREEN_ROW * y;
    uint8_t b = mem_read(cell);
    say("pixel (%lld, %lld): cell $%llx = %u ($%02x), colour #%06x", (long long)x, (long long)y,
        (unsigned long long)cell, b, b, palette_rgb(b));
    if (history_on()) {
        token_cell* w = history_writer(cell);
        if (w)
            say(", last written by %s: %s", dbg_place(w).c_str(), dbg_statement_text(w).c_str());
        else
            say(", not written within the history");
    }
    say("\n");
}

void info_display(const std::string&) { cmd_display(""); }

// The parts that make the run the same when played again.
void info_run()
{
    say("seed %u\n", dbg_seed);
    size_t keys = dbg_key_count();
    if (keys)
        say("key script: %zu key event%s, %zu of them after the frames shown so far\n", keys, keys == 1 ? "" : "s",
            dbg_keys_played());
    else
        say("key script: none\n");
    say("console input: %s\n", dbg_input_name.empty() ? "none given" : dbg_input_name.c_str());
    say("frames shown: %lld\n", dbg_shown_frames);
    if (dbg_end_frame > 0)
        say("the run ends after shown frame %lld, %s\n", dbg_end_frame, dbg_end_why.c_str());
}

void info_frame();

void cmd_info(const std::string& a)
{
    std::string rest, what = first_word(a, &rest);
    if (what == "registers" || what == "reg" || what == "r")
        info_registers();
    else if (what == "stack" || what == "s")
        info_stack();
    else if (what == "breakpoints" || what == "break" || what == "b" || what == "watchpoints")
        info_breakpoints();
    else if (what == "pixel")
        info_pixel(rest);
    else if (what == "display")
        info_display(rest);
    else if (what == "frame" || what == "f")
        info_frame();
    else if (what == "profile")
        say("%s", dbg_profile_table().c_str());
    else if (what == "run")
        info_run();
    else
        say("info what? registers, stack, breakpoints, pixel X Y, display, frame, profile or run\n");
}

bool have_frames()
{
    if (dbg_frames() > 0)
        return true;
    say("no stack: the program is not running\n");
    return false;
}

// "#N  PLACE: TEXT", as backtrace shows a frame.
std::string frame_line(int n)
{
    token_cell* c = dbg_frame_cell(n);
    std::string line = std::string("#").append(std::to_string(n)).append("  ").append(dbg_place(c)).append(": ");
    return line.append(n == 0 && dbg.ended ? std::string("(ended)") : dbg_statement_text(c));
}

int selected_frame()
{
    return std::min(dbg.frame, dbg_frames() - 1);
}

void cmd_backtrace(const std::string&)
{
    if (!have_frames())
        return;
    for (int n = 0; n < dbg_frames(); n++)
        say("%s\n", frame_line(n).c_str());
}

void cmd_frame(const std::string& a)
{
    long long n = selected_frame();
    if (!have_frames())
        return;
    if (!a.empty() && !whole_number(a, n)) {
        say("'%s' is not a frame number: backtrace lists them\n", a.c_str());
        return;
    }
    if (n >= dbg_frames()) {
        say("no frame #%lld: the frames are #0 to #%d\n", n, dbg_frames() - 1);
        return;
    }
    dbg.frame = (int)n;
    say("%s\n", frame_line(dbg.frame).c_str());
}

// up N goes N frames toward the outermost, down N back toward #0; both
// stop at the last frame there is.
void shift_frame(const std::string& a, int direction)
{
    long long n = 1;
    if (!have_frames())
        return;
    if (!a.empty() && !whole_number(a, n)) {
        say("'%s' is not a count\n", a.c_str());
        return;
    }
    int from = selected_frame();
    long long to = std::clamp<long long>(from + direction * n, 0, dbg_frames() - 1);
    if (to == from && n > 0) {
        if (direction > 0)
            say("#%d is the outermost frame: no jsr called it\n", from);
        else
            say("#0 is the innermost frame: the program stands there\n");
        return;
    }
    dbg.frame = (int)to;
    say("%s\n", frame_line(dbg.frame).c_str());
}

void cmd_up(const std::string& a) { shift_frame(a, 1); }
void cmd_down(const std::string& a) { shift_frame(a, -1); }

// The subroutine frame n (1 and up) called: its jsr's operand, which is
// also where the rts returns to.
token_cell* called_by(int n)
{
    return the_stack.items[the_stack.count - n];
}

void info_frame()
{
    if (!have_frames())
        return;
    int n = selected_frame(), frames = dbg_frames();
    std::string line = frame_line(n);
    say("Stack level %d, %s\n", n, line.substr(line.find("  ") + 2).c_str());
    if (n + 1 < frames)
        say("  in %s, called by frame %d at %s\n", dbg_shown(called_by(n + 1)->tok->lexeme).c_str(), n + 1,
            dbg_place(dbg_frame_cell(n + 1)).c_str());
    else
        say("  in the main program, the outermost frame\n");
    if (n == 0) {
        say("  return stack depth %d\n", the_stack.count);
        return;
    }
    token_cell* back = dbg_statement_from(called_by(n)->next_cell);
    say("  caller of frame %d: jsr to %s, which returns to %s%s%s\n", n - 1,
        dbg_shown(called_by(n)->tok->lexeme).c_str(), back ? dbg_place(back).c_str() : "the end of the program",
        back ? ": " : "", back ? dbg_statement_text(back).c_str() : "");
    say("  return stack slot %d of depth %d\n", the_stack.count - n, the_stack.count);
}

long long offset_of(const token_cell* c)
{
    auto at = c ? dbg.program.index.find(c) : dbg.program.index.end();
    return at == dbg.program.index.end() ? -1 : dbg.program.offsets[at->second];
}

// Each line as the terminal may show it; the frame's line is cut around
// its statement, the others from their start.
void cmd_list(const std::string& a)
{
    token_cell* frame = dbg_frames() ? dbg_frame_cell(selected_frame()) : nullptr;
    long long center = frame ? dbg_line_of(frame) : 1;
    if (!trim(a).empty()) {
        std::string error;
        token_cell* c = dbg_locate(trim(a), error);
        long long n = 0;
        if (c)
            center = dbg_line_of(c);
        else if (whole_number(trim(a), n))
            center = n;
        else {
            say("%s\n", error.c_str());
            return;
        }
    }
    const dbg_program& p = dbg.program;
    long long lines = (long long)p.line_starts.size(), here = dbg.at && !dbg.ended ? dbg_line_of(dbg.at) : 0;
    long long from = std::max(1LL, center - 5), to = std::min(lines, center + 4);
    long long place = offset_of(frame), place_line = frame ? dbg_line_of(frame) : 0;
    for (long long l = from; l <= to; l++) {
        long long start = p.line_starts[(size_t)l - 1];
        std::string text = position_shown_line(p.text, start, l == place_line ? place : start, DBG_LINE_SIDE);
        say("%s%5lld  %s\n", l == here ? "=>" : "  ", l, text.c_str());
    }
}

void cmd_screen(const std::string&)
{
    if (!front) {
        say("there is no window\n");
        return;
    }
    screen_refresh();
    say("the screen area is in the window\n");
}

bool no_arguments(const char* command, const std::string& a)
{
    if (a.empty())
        return true;
    say("%s takes no arguments\n", command);
    return false;
}

// run: from the start again, as far as the first breakpoint or the end;
// start: from the start again, stopped before the first statement.
void cmd_run(const std::string& a)
{
    if (!no_arguments("run", a))
        return;
    dbg_restart();
    show_stop(dbg_continue_at(dbg.at));
}

void cmd_start(const std::string& a)
{
    if (!no_arguments("start", a))
        return;
    dbg_restart();
    dbg_report({"start", false, false});
}

void cmd_kill(const std::string& a)
{
    if (!no_arguments("kill", a))
        return;
    if (!dbg.started || dbg.ended) {
        say("the program is not running\n");
        return;
    }
    dbg_kill();
    say("the run is ended; the points stay: 'run' or 'start' starts it again\n");
}

// jump LOC: the run goes on at LOC, the stacks as they are; a breakpoint
// at LOC stops it there at once.
void cmd_jump(const std::string& a)
{
    token_cell* c = locate_or_say(a, "jump");
    if (!c)
        return;
    if (dbg.started && !dbg.ended)
        note_change();
    show_stop(dbg_continue_at(c));
}

void cmd_record(const std::string& a)
{
    if (trim(a) == "stop") {
        history_stop();
        say("recording stopped; the history is gone\n");
        return;
    }
    if (!trim(a).empty()) {
        say("record or record stop\n");
        return;
    }
    if (!history_on())
        history_start(history_limit);
    say("recording the last %zu statements\n", history_limit);
}

void reverse(dbg_motion how) { show_stop(dbg_reverse(how)); }
void cmd_reverse_step(const std::string&) { reverse(MOTION_STEP); }
void cmd_reverse_next(const std::string&) { reverse(MOTION_NEXT); }
void cmd_reverse_finish(const std::string&) { reverse(MOTION_FINISH); }
void cmd_reverse_continue(const std::string&) { reverse(MOTION_CONTINUE); }

void cmd_profile(const std::string& a)
{
    std::string what = trim(a);
    if (what == "on") {
        dbg_profile_start();
        say("profiling: each statement run counts, by subroutine and line; 'info profile' shows them\n");
    } else if (what == "off") {
        dbg_profile_stop();
        say("profiling stopped; 'info profile' shows what it counted\n");
    } else {
        say("profile on or profile off\n");
    }
}

void cmd_help(const std::string& a);
void cmd_quit(const std::string&) {}

const command commands[] = {
    {"break", "b br", false, "break LOC", "stop before the first statement of line LOC (LINE or FILE:LINE), or where a jump to label LOC lands", cmd_break},
    {"tbreak", "tb", false, "tbreak LOC", "a breakpoint that is deleted when it first stops the program", cmd_tbreak},
    {"condition", "cond", false, "condition N [EXPR]", "stop at point N only when EXPR is not 0; without EXPR, always", cmd_condition},
    {"ignore", "", false, "ignore N COUNT", "pass over point N its next COUNT times", cmd_ignore},
    {"delete", "d", false, "delete [N...]", "delete the points numbered, or all of them", cmd_delete},
    {"disable", "disa", false, "disable N...", "keep the points but do not stop at them", cmd_disable},
    {"enable", "en", false, "enable N...", "stop at the points again", cmd_enable},
    {"watch", "wa", false, "watch ADDR[,LEN] | watch EXPR", "stop after the statement that changes LEN bytes of memory at ADDR (1 by default), or the value of EXPR; shows the old and new values", cmd_watch},
    {"step", "s stepi si", true, "step [N]", "run one statement (N statements); a jsr goes into its subroutine", cmd_step},
    {"next", "n nexti ni", true, "next [N]", "run one statement, a jsr with its whole subroutine", cmd_next},
    {"finish", "fin", true, "finish", "run until the current subroutine returns", cmd_finish},
    {"until", "u", true, "until [LINE]", "run until LINE (or the next line) is reached", cmd_until},
    {"continue", "c cont", true, "continue [N]", "run on; N passes over the breakpoint stopped at N-1 more times", cmd_continue},
    {"record", "rec", false, "record | record stop", "keep a history of the last statements (--history N) so that the reverse commands can undo them; console output and key events are not undone", cmd_record},
    {"reverse-step", "rs", true, "reverse-step", "undo one statement", cmd_reverse_step},
    {"reverse-next", "rn", true, "reverse-next", "undo one statement, a whole jsr call as one", cmd_reverse_next},
    {"reverse-finish", "", true, "reverse-finish", "go back to the jsr that called the current subroutine", cmd_reverse_finish},
    {"reverse-continue", "rc", true, "reverse-continue", "go back to the last breakpoint or watchpoint hit, or to the start of the history", cmd_reverse_continue},
    {"print", "p inspect", false, "print[/F] EXPR", "print a value as EXPR = DEC ($HEX), or in format F: x hex, d signed, u unsigned, t binary, c character; EXPR takes $2a and 42, A X Y, the flags N V B D I Z C, [ADDR] and C's operators", cmd_print},
    {"display", "disp", false, "display [EXPR]", "print EXPR at every stop; without EXPR, list the displays", cmd_display},
    {"undisplay", "und", false, "undisplay [N]", "stop printing display N, or every display", cmd_undisplay},
    {"set", "", false, "set var LOC = EXPR | set full-speed on|off",
     "change A, X, Y, a flag or a memory byte [ADDR], dropping the recorded future where the run has gone back; or let refreshes run unpaced", cmd_set},
    {"x", "", false, "x ADDR [COUNT] | x/NFU ADDR", "memory as hex bytes with their characters, 16 to a row (COUNT bytes, 16 by default); or N units (1) of U bytes (b 1, h 2, w 4, g 8) in format F (x d u t c), F and U as last time when left out", cmd_x},
    {"profile", "", false, "profile on|off", "count the statements run from now on by subroutine (the labels jsr reached) and by line, afresh, or stop counting; info profile shows them", cmd_profile},
    {"info", "i", false, "info registers|stack|breakpoints|pixel X Y|display|frame|profile|run", "registers and flags; both stacks; the points with their hits; a screen pixel's cell, byte and palette colour, and with recording on the statement that last wrote it; the displays; the selected frame; the profile's subroutines by inclusive and exclusive statements, and its ten busiest lines; the run's seed, key script, console input and frames shown", cmd_info},
    {"backtrace", "bt where", false, "backtrace", "the current statement, then the jsrs still waiting for their rts, innermost first", cmd_backtrace},
    {"frame", "f", false, "frame [N]", "select frame N of the backtrace (0 the current statement), or show the one selected; list shows its source", cmd_frame},
    {"up", "", false, "up [N]", "select the frame N (1) further out, toward the outermost caller", cmd_up},
    {"down", "do", false, "down [N]", "select the frame N (1) further in, toward #0", cmd_down},
    {"list", "l", false, "list [LOC]", "the source around a place, the current line marked =>", cmd_list},
    {"screen", "", false, "screen", "copy the screen area to the window now", cmd_screen},
    {"run", "r", false, "run", "run the program from its first statement with a cleared machine until a breakpoint or the end, keeping the points; a run under way starts again; a source changed on disk is read again", cmd_run},
    {"start", "", false, "start", "start the program from its first statement with a cleared machine, as run does, and stop before that statement", cmd_start},
    {"kill", "k", false, "kill", "end the run, keeping the points; run or start starts it again", cmd_kill},
    {"jump", "j", false, "jump LOC", "go on running at LOC rather than where the program stands (the stacks stay as they are), as far as a breakpoint or the end; a breakpoint at LOC stops it there", cmd_jump},
    {"help", "h", false, "help [COMMAND]", "the commands, or one of them", cmd_help},
    {"quit", "q exit", false, "quit", "leave the debugger", cmd_quit},
};

const command* find_command(const std::string& word)
{
    const command* prefix = nullptr;
    int prefixes = 0;
    for (const command& c : commands) {
        if (word == c.name)
            return &c;
        std::string aliases = std::string(" ") + c.aliases + " ";
        if (aliases.find(" " + word + " ") != std::string::npos)
            return &c;
        if (std::string(c.name).compare(0, word.size(), word) == 0) {
            prefix = &c;
            prefixes++;
        }
    }
    return prefixes == 1 ? prefix : nullptr;
}

void cmd_help(const std::string& a)
{
    if (!trim(a).empty()) {
        const command* c = find_command(trim(a));
        if (!c) {
            say("no command '%s'; 'help' lists them\n", trim(a).c_str());
            return;
        }
        say("%s\n  %s\n", c->usage, c->help);
        if (*c->aliases)
            say("  also: %s\n", c->aliases);
        return;
    }
    for (const command& c : commands)
        say("  %-34s %s\n", c.usage, c.help);
    say("LOC is LINE, FILE:LINE or a label. Going back undoes the machine's state; console output and key events "
        "are not undone. Going forward again replays the history, then runs on live; a change made in the past "
        "(set var, jump) drops the recorded future after it.\n");
}

}  // namespace

bool dbg_command(const std::string& input)
{
    std::string line = trim(input);
    if (line.empty()) {
        if (dbg.last_command.empty())
            return true;
        line = dbg.last_command;
    }
    if (line[0] == '#')
        return true;
    std::string args, word = first_word(line, &args);
    // print/x and x/16xb: the format goes to the command with its slash.
    size_t slash = word.find('/');
    if (slash != std::string::npos && slash > 0) {
        args = word.substr(slash) + (args.empty() ? "" : " " + args);
        word.erase(slash);
    }
    const command* c = find_command(word);
    if (!c) {
        say("unknown command '%s'; 'help' lists the commands\n", word.c_str());
        return true;
    }
    if (!args.empty() && args[0] == '/' && c->run != cmd_print && c->run != cmd_x) {
        say("%s takes no /FORMAT; print/F and x/NFU do\n", c->name);
        return true;
    }
    if (c->run == cmd_quit)
        return false;
    dbg.last_command = c->repeats ? line : "";
    c->run(args);
    fflush(dbg_out);
    return true;
}
