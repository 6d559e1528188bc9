// The session: the program loaded through the machine's own lexer, where
// its cells stand, its points armed as traps in the decoded cells, and the
// run driven through the engine between stops.
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>

#include "debugger.h"
#include "decode.h"
#include "halt.h"
#include "lex.h"
#include "parse.h"
#include "position.h"
#include "screen.h"
#include "stack.h"
#include "symtab.h"

dbg_session dbg;
FILE* dbg_out = stdout;
void (*dbg_pass_seen)(token_cell* c) = nullptr;
uint64_t dbg_frames_passed = 0;

static bool read_source(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    struct stat st{};
    // Only a regular file: a device or a pipe could be read for ever.
    if (!in || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            errno = EISDIR;
        else if (errno == 0 || in)
            errno = EINVAL;
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

static void replace_points();

static void build_program(dbg_program& p)
{
    std::vector<lex_note> notes = mlex_source(p.text);
    p.line_starts = position_line_starts(p.text);
    p.cells.clear();
    p.offsets.clear();
    p.index.clear();
    size_t i = 0;
    for (token_cell* c = symbols.head; c; c = c->next_cell, i++) {
        p.index.emplace(c, p.cells.size());
        p.cells.push_back(c);
        p.offsets.push_back(i < notes.size() ? notes[i].start : (long long)p.text.size());
    }
}

bool dbg_load(const std::string& path)
{
    std::string text;
    if (!read_source(path, text)) {
        fprintf(stderr, "zorvik-debug: cannot open source file '%s': %s\n", path.c_str(), strerror(errno));
        return false;
    }
    bool again = symbols.store != nullptr;  // a program was loaded before
    if (again)
        sym_free(&symbols);
    dbg.program.path = path;
    dbg.program.text = text;
    build_program(dbg.program);
    screen_watching = true;
    if (again) {
        decode_program(&symbols);
        replace_points();  // their cells were the old program's
    }
    return true;
}

long long dbg_line_of(const token_cell* c)
{
    auto at = dbg.program.index.find(c);
    if (at == dbg.program.index.end())
        return 0;
    return position_locate(dbg.program.line_starts, dbg.program.offsets[at->second]).line;
}

std::string dbg_place(const token_cell* c)
{
    const dbg_program& p = dbg.program;
    long long offset = (long long)p.text.size();
    if (c) {
        auto at = p.index.find(c);
        if (at != p.index.end())
            offset = p.offsets[at->second];
    }
    source_place w = position_locate(p.line_starts, offset);
    return p.path + ":" + std::to_string(w.line) + ":" + std::to_string(w.column);
}

std::string dbg_statement_text(const token_cell* c)
{
    const dbg_program& p = dbg.program;
    auto at = c ? p.index.find(c) : p.index.end();
    if (at == p.index.end())
        return "";
    long long from = p.offsets[at->second];
    std::string s = position_shown_line(p.text, from, from, DBG_LINE_SIDE);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    return s;
}

std::string dbg_shown(const std::string& text)
{
    return position_shown_line(text, 0, 0, DBG_LINE_SIDE);
}

void dbg_report(const dbg_stop& stop)
{
    token_cell* c = dbg.at;
    std::string text = stop.ended ? "" : dbg_statement_text(c);
    fprintf(dbg_out, "%s: %s%s%s\n", dbg_place(c).c_str(), stop.reason.c_str(), text.empty() ? "" : ": ",
            text.c_str());
    if (stop.ended)
        return;
    for (auto& [number, e] : dbg.displays) {
        int64_t v;
        std::string error;
        if (dbg_expr_eval(e, v, error))
            fprintf(dbg_out, "%d: %s = %lld ($%llx)\n", number, e.text.c_str(), (long long)v,
                    (unsigned long long)v & 0xFFFFFFFFull);
        else
            fprintf(dbg_out, "%d: %s: %s\n", number, e.text.c_str(), error.c_str());
    }
}

bool dbg_is_statement(const token_cell* c)
{
    return c && decode_own_op(c) != OP_PASS;
}

token_cell* dbg_statement_from(token_cell* c)
{
    while (c && !dbg_is_statement(c))
        c = c->next_cell;
    return c;
}

int dbg_frames()
{
    return dbg.started ? the_stack.count + 1 : 0;
}

token_cell* dbg_frame_cell(int n)
{
    if (n <= 0 || n > the_stack.count)
        return dbg.at;
    // The return point is the jsr's operand; the jsr is the cell before it.
    token_cell* back = the_stack.items[the_stack.count - n];
    auto at = dbg.program.index.find(back);
    return at != dbg.program.index.end() && at->second > 0 ? dbg.program.cells[at->second - 1] : back;
}

static bool all_digits(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

token_cell* dbg_locate(const std::string& loc, std::string& error)
{
    const dbg_program& p = dbg.program;
    std::string line_text = loc;
    size_t colon = loc.rfind(':');
    if (colon != std::string::npos && all_digits(loc.substr(colon + 1))) {
        std::string file = loc.substr(0, colon);
        if (file != p.path && file != p.path.substr(p.path.rfind('/') + 1)) {
            error = "no source file '" + file + "' in this session; it is " + p.path;
            return nullptr;
        }
        line_text = loc.substr(colon + 1);
    }
    if (all_digits(line_text)) {
        long long line = line_text.size() > 12 ? 0 : std::stoll(line_text);
        for (size_t i = 0; i < p.cells.size(); i++) {
            if (!dbg_is_statement(p.cells[i]))
                continue;
            long long l = position_locate(p.line_starts, p.offsets[i]).line;
            if (l == line)
                return p.cells[i];
            if (l > line)
                break;
        }
        error = "line " + line_text + " holds no statement";
        return nullptr;
    }
    // A label: where a jump to it lands, as the machine resolves it.
    for (token_cell* c : p.cells)
        if (c->tok->lexeme == loc) {
            if (!c->tok->label)
                break;
            token_cell* at = dbg_statement_from(c->tok->label->next_cell);
            if (!at) {
                error = "no statement follows label '" + loc + "'";
                return nullptr;
            }
            return at;
        }
    error = "no label '" + loc + "' is defined";
    return nullptr;
}

// Traps: a cell is trapped while an enabled breakpoint stands on it.
static void retrap(token_cell* c)
{
    if (!c)
        return;
    bool wanted = false;
    for (const dbg_point& q : dbg.points)
        wanted |= q.cell == c && q.enabled && (q.kind == POINT_LINE || q.kind == POINT_LABEL);
    if (wanted)
        decode_trap(c);
    else
        decode_untrap(c);
}

void dbg_arm(dbg_point& p)
{
    p.enabled = true;
    retrap(p.cell);
    if (p.kind == POINT_WATCH_MEMORY || p.kind == POINT_WATCH_EXPR)
        dbg_watch_refresh(p);
}

void dbg_disarm(dbg_point& p)
{
    p.enabled = false;
    retrap(p.cell);
}

void dbg_delete_point(size_t index)
{
    token_cell* c = dbg.points[index].cell;
    dbg.points.erase(dbg.points.begin() + (long)index);
    retrap(c);
}

dbg_point* dbg_point_numbered(int number)
{
    for (dbg_point& p : dbg.points)
        if (p.number == number)
            return &p;
    return nullptr;
}

void dbg_watch_refresh(dbg_point& p)
{
    if (p.kind == POINT_WATCH_MEMORY) {
        p.seen.resize((size_t)p.length);
        for (int64_t i = 0; i < p.length; i++)
            p.seen[(size_t)i] = mem_read(p.address + i);
    } else if (p.kind == POINT_WATCH_EXPR) {
        std::string error;
        p.valid = dbg_expr_eval(p.watched, p.value, error);
    }
}

// Whether a point's condition holds, and its ignore count is used up.
static bool point_fires(dbg_point& p)
{
    if (!p.condition.code.empty()) {
        int64_t v = 0;
        static std::string error;  // a condition that cannot be evaluated stops
        if (dbg_expr_eval(p.condition, v, error) && !v)
            return false;
    }
    if (p.ignore > 0) {
        p.ignore--;
        p.hits++;
        return false;
    }
    p.hits++;
    return true;
}

static std::string stop_reason;
static std::vector<int> stopped_temporaries;
void (*dbg_log_hook)(const std::string& message) = nullptr;

// A logpoint's message, each {EXPR} replaced by its value.
static std::string log_text(const std::string& message)
{
    std::string out;
    for (size_t i = 0; i < message.size(); i++) {
        size_t close = message[i] == '{' ? message.find('}', i) : std::string::npos;
        if (close == std::string::npos) {
            out += message[i];
            continue;
        }
        dbg_expr e;
        std::string error;
        size_t column;
        int64_t v = 0;
        if (dbg_expr_compile(message.substr(i + 1, close - i - 1), e, error, column) && dbg_expr_eval(e, v, error))
            out += std::to_string(v);
        else
            out += "{" + error + "}";
        i = close;
    }
    return out;
}

// A pass reached a trapped cell: the first breakpoint there that fires
// stops the run.
static bool breakpoint_stops(token_cell* c)
{
    for (dbg_point& p : dbg.points) {
        if (p.cell != c || !p.enabled || (p.kind != POINT_LINE && p.kind != POINT_LABEL) || !point_fires(p))
            continue;
        if (!p.log.empty()) {
            if (dbg_log_hook)
                dbg_log_hook(log_text(p.log) + "\n");
            continue;
        }
        stop_reason = (p.temporary ? "temporary breakpoint " : "breakpoint ") + std::to_string(p.number);
        if (p.temporary)
            stopped_temporaries.push_back(p.number);
        return true;
    }
    return false;
}

static std::string hex_text(int64_t v)
{
    char b[24];
    snprintf(b, sizeof b, "%llx", (long long)v);
    return b;
}

static std::string hex_value(int64_t v)
{
    char b[40];
    snprintf(b, sizeof b, "%lld", (long long)v);
    return b;
}

// After a pass: the first watchpoint whose bytes or value changed.
static bool watch_stops()
{
    for (dbg_point& p : dbg.points) {
        if (!p.enabled)
            continue;
        if (p.kind == POINT_WATCH_MEMORY) {
            for (int64_t i = 0; i < p.length; i++) {
                uint8_t now = mem_read(p.address + i), was = p.seen[(size_t)i];
                if (now == was)
                    continue;
                dbg_watch_refresh(p);
                if (!point_fires(p))
                    return false;
                char b[96];
                snprintf(b, sizeof b, "watchpoint %d: [$%llx] %u -> %u", p.number,
                         (unsigned long long)(p.address + i), was, now);
                stop_reason = b;
                return true;
            }
        } else if (p.kind == POINT_WATCH_EXPR) {
            int64_t was = p.value;
            bool was_valid = p.valid;
            dbg_watch_refresh(p);
            if (p.valid == was_valid && (!p.valid || p.value == was))
                continue;
            if (!point_fires(p))
                return false;
            stop_reason = "watchpoint " + std::to_string(p.number) + ": " + p.watched.text + " " +
                          (was_valid ? hex_value(was) : "?") + " -> " + (p.valid ? hex_value(p.value) : "?");
            return true;
        }
    }
    return false;
}

static bool any_watch()
{
    for (const dbg_point& p : dbg.points)
        if (p.enabled && (p.kind == POINT_WATCH_MEMORY || p.kind == POINT_WATCH_EXPR))
            return true;
    return false;
}

// The motion under way, for the pass hook and the replay: set once where it
// starts, so that going on live from the history's end keeps its aim.
static dbg_motion moving;
static int start_depth;
static token_cell* until_cell;
static uint64_t start_frames;

static bool motion_done(token_cell* c)
{
    if (!dbg_is_statement(c))
        return false;
    switch (moving) {
    case MOTION_STEP: stop_reason = "step"; return true;
    case MOTION_NEXT:
        if (the_stack.count > start_depth)
            return false;
        stop_reason = "next";
        return true;
    case MOTION_FINISH:
        if (the_stack.count >= start_depth)
            return false;
        stop_reason = "finish";
        return true;
    case MOTION_FRAME:
        if (dbg_frames_passed == start_frames)
            return false;
        stop_reason = "frame";
        return true;
    default: return false;
    }
}

// Asked before every pass of a hooked run: watchpoints see what the pass
// before did, then the motion and the breakpoints decide, and only a pass
// that runs is recorded.
static bool watching;  // any enabled watchpoint, for the motion under way

static bool pass_hook(token_cell* c)
{
    if (watching && watch_stops())
        return true;
    if (motion_done(c))
        return true;
    if (c == until_cell && dbg_is_statement(c)) {
        stop_reason = "until";
        return true;
    }
    if (c->code.op == OP_TRAP && breakpoint_stops(c))
        return true;
    if (history_on())
        history_before(c);
    if (dbg_pass_seen)
        dbg_pass_seen(c);
    return false;
}

// The usual conditional breakpoint, one comparison on the only breakpoint:
// its test runs right in the trap, and only a true one goes the long way.
static const dbg_point* quick_point = nullptr;

static bool quick_trap(token_cell* c)
{
    if (c == quick_point->cell && dbg_expr_fast_false(quick_point->condition))
        return false;
    return breakpoint_stops(c);
}

// The trap hook of a free run: the quick one where it can be.
static bool (*free_trap_hook())(token_cell*)
{
    quick_point = nullptr;
    int breakpoints = 0;
    for (const dbg_point& p : dbg.points)
        if (p.enabled && (p.kind == POINT_LINE || p.kind == POINT_LABEL)) {
            breakpoints++;
            quick_point = &p;
        }
    if (breakpoints == 1 && quick_point->condition.fast_source >= 0 && quick_point->ignore == 0 &&
        quick_point->log.empty())
        return quick_trap;
    return breakpoint_stops;
}

static bool no_second_look(token_cell*)
{
    return false;
}

static void drop_temporaries()
{
    for (int number : stopped_temporaries)
        for (size_t i = 0; i < dbg.points.size(); i++)
            if (dbg.points[i].number == number) {
                dbg_delete_point(i);
                break;
            }
    stopped_temporaries.clear();
}

// Going forward through the history after going back: no statement runs
// again, so console reads and random numbers are not asked for twice. Each
// pass done again is checked as the pass hook checks a live one.
static bool replay(dbg_stop& stop)
{
    bool watching = any_watch();
    for (bool moved = false;; moved = true) {
        token_cell* c = dbg.at;
        if (moved && ((watching && watch_stops()) || motion_done(c) || (c == until_cell && dbg_is_statement(c)) ||
                      (c && c->code.op == OP_TRAP && breakpoint_stops(c)))) {
            if (c == until_cell && stop_reason.empty())
                stop_reason = "until";
            stop.reason = stop_reason;
            return true;
        }
        if (history_info().back == 0)
            return false;  // the present: the run goes on live
        if (dbg_pass_seen)
            dbg_pass_seen(c);
        history_redo();
        dbg.at = history_cursor();
    }
}

// Whether there is a history to go back through; if not, `stop` says why.
static bool refuse_reverse(dbg_stop& stop)
{
    stop.refused = true;
    if (!dbg.started)
        stop.reason = "the program is not running: 'run' or 'start' starts it";
    else if (!history_on())
        stop.reason = "there is no history to go back through: 'record' keeps one from now on";
    else
        stop.refused = false;
    return stop.refused;
}

dbg_stop dbg_reverse(dbg_motion how)
{
    dbg_stop stop;
    if (refuse_reverse(stop))
        return stop;
    stop.refused = true;
    int depth = the_stack.count;
    if (how == MOTION_FINISH && depth == 0) {
        stop.reason = "the return stack is empty: no jsr called this part of the program";
        return stop;
    }
    stop_reason.clear();
    dbg.frame = 0;
    // One statement back is a step, whatever it wrote.
    bool moved = false, watching = how != MOTION_STEP && any_watch();
    if (dbg.ended && history_info().back == 0 && history_info().entries > 0)
        dbg.ended_in_present = true;
    while (history_undo()) {
        moved = true;
        dbg.ended = false;
        dbg.at = history_cursor();
        token_cell* c = dbg.at;
        if (watching && watch_stops())
            break;
        if (how == MOTION_CONTINUE && c->code.op == OP_TRAP && breakpoint_stops(c))
            break;
        if (!dbg_is_statement(c))
            continue;
        if (how == MOTION_STEP || (how == MOTION_NEXT && the_stack.count <= depth) ||
            (how == MOTION_FINISH && the_stack.count < depth)) {
            stop_reason = how == MOTION_FINISH ? "reverse finish" : how == MOTION_NEXT ? "reverse next" : "reverse step";
            break;
        }
    }
    drop_temporaries();
    for (dbg_point& p : dbg.points)
        if (p.enabled)
            dbg_watch_refresh(p);  // going forward again compares with the past
    if (!moved) {
        stop.reason = "already at the start of the history";
        return stop;
    }
    stop.refused = false;
    stop.reason = stop_reason.empty() ? "start of the history" : stop_reason;
    return stop;
}

dbg_stop dbg_reverse_to_writer(int64_t cell)
{
    dbg_stop stop;
    if (refuse_reverse(stop))
        return stop;
    uint64_t back = history_writer_back(cell);
    if (back == 0) {
        stop.refused = true;
        stop.reason = "no statement in the history wrote [$" + hex_text(cell) + "]";
        return stop;
    }
    if (dbg.ended && history_info().back == 0)
        dbg.ended_in_present = true;
    for (uint64_t i = 0; i < back && history_undo(); i++) {
        dbg.ended = false;
        dbg.at = history_cursor();
    }
    dbg.frame = 0;
    for (dbg_point& p : dbg.points)
        if (p.enabled)
            dbg_watch_refresh(p);
    stop.reason = "back to the last write of [$" + hex_text(cell) + "]";
    return stop;
}

// How the run ended: as the program ended it, or at a test's end frame.
static std::string end_reason()
{
    if (dbg_end_frame_reached())
        return "the run ends after shown frame " + std::to_string(dbg_shown_frames) + ", " + dbg_end_why;
    return "program ended with status " + std::to_string(dbg.status);
}

// Whether the program can move on; if not, `stop` says why.
static bool refuse_motion(dbg_stop& stop)
{
    if (dbg.started && (!dbg.ended || dbg.ended_in_present))
        return false;
    stop.reason = dbg.ended ? "the program has ended: 'run' starts it again"
                            : "the program is not running: 'run' or 'start' starts it";
    stop.refused = true;
    return true;
}

dbg_stop dbg_move(dbg_motion how, token_cell* until, long long count, bool resume)
{
    dbg_stop stop;
    if (refuse_motion(stop))
        return stop;
    stop_reason.clear();
    dbg.frame = 0;
    moving = how;
    start_depth = the_stack.count;
    until_cell = until;
    start_frames = dbg_frames_passed;
    token_cell* start = dbg.at;
    // continue N: this breakpoint is passed over N - 1 more times.
    if (how == MOTION_CONTINUE && count > 1 && start)
        for (dbg_point& p : dbg.points)
            if (p.cell == start && p.enabled)
                p.ignore = count - 1;
    if (replay(stop)) {
        drop_temporaries();
        return stop;
    }
    if (dbg.ended_in_present) {  // back in the present, where the run had ended
        dbg.ended_in_present = false;
        dbg.ended = true;
        stop.ended = true;
        stop.reason = end_reason();
        return stop;
    }
    if (until)
        decode_trap(until);
    watching = any_watch();
    // A recorded continue without watchpoints runs free, the engine writing
    // the history's states; every other motion with a history asks before
    // each pass.
    // A pass watcher (the profile), too, asks before each pass.
    bool logging = how == MOTION_CONTINUE && !watching && history_on() && !dbg_pass_seen;
    bool hooked = !logging && (how != MOTION_CONTINUE || history_on() || watching || dbg_pass_seen);
    run_trap_hook = hooked ? no_second_look : free_trap_hook();
    run_pass_hook = pass_hook;
    start = dbg.at;
    if (hooked && start && resume) {  // otherwise the hook is asked about start too
        if (history_on())
            history_before(start);
        if (dbg_pass_seen)
            dbg_pass_seen(start);
    }
    history_run_begins();
    token_cell* c = run_from(start, logging ? RUN_LOGGING : hooked ? RUN_ASKING : RUN_FREE, resume);
    if (until)
        retrap(until);
    run_trap_hook = nullptr;
    run_pass_hook = nullptr;
    history_seal();
    dbg.at = c;
    drop_temporaries();
    if (run_returned == RUN_TRAPPED) {
        stop.reason = stop_reason.empty() ? "stopped" : stop_reason;
        return stop;
    }
    if (run_returned == RUN_HALTED && halt_signal == SIGINT) {
        halt_signal = 0;
        stop.reason = "interrupted";
        return stop;
    }
    if (run_returned == RUN_HALTED)
        return stop;  // SIGTERM or SIGHUP: the debugger leaves
    if (any_watch() && watch_stops()) {
        stop.reason = stop_reason;  // the last statement changed a watched value
        dbg.at = c;
    }
    dbg.ended = true;
    dbg.status = 0;
    stop.ended = true;
    stop.reason = (stop.reason.empty() ? "" : stop.reason + "; ") + end_reason();
    return stop;
}

bool dbg_change()
{
    if (!history_fork())
        return false;
    dbg.ended_in_present = false;  // the end was in the dropped future
    return true;
}

dbg_stop dbg_continue_at(token_cell* c)
{
    dbg_stop stop;
    if (refuse_motion(stop))
        return stop;
    dbg_change();  // the recorded future went on from where the run was, not from c
    dbg.at = c;
    return dbg_move(MOTION_CONTINUE, nullptr, 1, false);
}

// Points that stand on cells are set again on their line or label; the ones
// that no longer fit are reported and dropped.
static void replace_points()
{
    for (size_t i = 0; i < dbg.points.size();) {
        dbg_point& p = dbg.points[i];
        if (p.kind == POINT_LINE || p.kind == POINT_LABEL) {
            std::string error;
            p.cell = dbg_locate(p.where, error);
            if (!p.cell) {
                fprintf(dbg_out, "breakpoint %d at %s no longer fits: %s; deleted\n", p.number, p.where.c_str(),
                        error.c_str());
                dbg.points.erase(dbg.points.begin() + (long)i);
                continue;
            }
            retrap(p.cell);
        }
        i++;
    }
}

void dbg_restart()
{
    std::string text;
    if (read_source(dbg.program.path, text) && text != dbg.program.text) {
        fprintf(dbg_out, "%s has changed: reading it again\n", dbg.program.path.c_str());
        sym_free(&symbols);
        dbg.program.text = text;
        build_program(dbg.program);
        parse_prepare();
        replace_points();
    } else {
        parse_prepare();
    }
    history_clear();
    dbg_run_starts();
    dbg.ended_in_present = false;
    for (dbg_point& p : dbg.points)
        if (p.enabled)
            dbg_watch_refresh(p);
    dbg.at = lst;
    dbg.started = true;
    dbg.ended = false;
    dbg.status = 0;
    dbg.frame = 0;
}

void dbg_kill()
{
    parse_prepare();
    history_clear();
    dbg.ended_in_present = false;
    dbg.at = nullptr;
    dbg.started = false;
    dbg.ended = false;
    dbg.status = 0;
    dbg.frame = 0;
    for (dbg_point& p : dbg.points)
        if (p.enabled)
            dbg_watch_refresh(p);
}
