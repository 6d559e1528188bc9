// zorvik-debug: runs a program on the machine's own engine, stops it where
// asked, shows and changes its state, and steps forward and back. The
// session (session.cpp) owns the program and the run, the history
// (history.cpp) records and undoes statements, the commands (commands.cpp)
// are one table, and main.cpp reads them.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

struct token_cell;

// A compiled expression (expr.cpp).
struct dbg_expr {
    std::string text;
    std::vector<int64_t> code;
    int stack = 0;
    // A comparison of one register, flag or memory byte with a number, the
    // usual condition, is evaluated without the code.
    int64_t fast_source = -1;  // an E_ op; -1: none
    int64_t fast_index = 0;    // the flag, or the address
    int64_t fast_compare = 0;  // an E_ comparison
    int64_t fast_number = 0;
};
// False with the message and the 1-based column where the text went wrong.
bool dbg_expr_compile(const std::string& text, dbg_expr& out, std::string& error, size_t& column);
bool dbg_expr_eval(const dbg_expr& e, int64_t& value, std::string& error);
// For an expression of the fast form: whether it is 0 now.
bool dbg_expr_fast_false(const dbg_expr& e);
// Whether the value can never change: no register, flag or memory in it.
bool dbg_expr_constant(const dbg_expr& e);
// Whether the expression is one memory byte, [ADDR], with ADDR inside
// memory: then `address` is the cell it reads now.
bool dbg_expr_memory_cell(const dbg_expr& e, int64_t& address);

// The program under the debugger: its text and where each cell stands.
struct dbg_program {
    std::string path;                // as given
    std::string text;
    std::vector<long long> line_starts;
    std::vector<token_cell*> cells;  // list order
    std::vector<long long> offsets;  // of each cell
    std::unordered_map<const token_cell*, size_t> index;
};

enum dbg_point_kind { POINT_LINE, POINT_LABEL, POINT_WATCH_MEMORY, POINT_WATCH_EXPR };

// A breakpoint or a watchpoint; both are numbered in one sequence.
struct dbg_point {
    int number;
    dbg_point_kind kind;
    std::string where;         // as the user wrote it
    bool enabled = true;
    bool temporary = false;
    long long hits = 0;
    long long ignore = 0;
    dbg_expr condition;        // empty code: none
    std::string log;           // a logpoint's message: it prints rather than stops
    token_cell* cell = nullptr;  // breakpoints: the trapped cell
    int64_t address = 0;       // memory watchpoints
    int64_t length = 0;
    std::vector<uint8_t> seen; // the watched bytes as last seen
    dbg_expr watched;          // expression watchpoints
    int64_t value = 0;
    bool valid = false;
};

// Why the program stopped.
struct dbg_stop {
    std::string reason;
    bool ended = false;
    bool refused = false;  // nothing moved: `reason` says why
};

// The session (session.cpp).
struct dbg_session {
    dbg_program program;
    std::vector<dbg_point> points;
    int next_number = 1;
    std::vector<std::pair<int, dbg_expr>> displays;
    int next_display = 1;
    bool started = false;     // a run is under way
    bool ended = false;       // the run has ended; `run` starts it again
    token_cell* at = nullptr; // where the next pass starts
    int status = 0;           // the machine's exit status, once ended
    bool ended_in_present = false;  // gone back from an ended run
    std::string last_command; // repeated by an empty line, when it steps
    bool batch = false;
    int frame = 0;            // the frame selected: 0 the current statement, N the Nth waiting jsr
};
extern dbg_session dbg;
extern FILE* dbg_out;

// Loads the source: false, after the machine's message, when it cannot be read.
bool dbg_load(const std::string& path);
// Starts the program again from its first statement with a cleared machine;
// reloads the source first when it changed on disk.
void dbg_restart();
// Ends the run: the machine is cleared and nothing runs until a restart;
// the points stay.
void dbg_kill();
// Where a cell stands: "FILE:LINE:COL".
std::string dbg_place(const token_cell* c);
long long dbg_line_of(const token_cell* c);
// How many bytes of a source line the debugger shows on either side of
// the place it shows them for; the rest is cut with "...".
constexpr long long DBG_LINE_SIDE = 100;
// The source text of the statement at c, up to the end of its line, safe
// to print: control bytes and bytes that are no UTF-8 as \xNN, a long
// line cut.
std::string dbg_statement_text(const token_cell* c);
// Any text from the source (a label's name), shown the same way.
std::string dbg_shown(const std::string& text);
// Prints the stop line and the displays.
void dbg_report(const dbg_stop& stop);

// Finds where LOC (LINE, FILE:LINE or a label) stops: the first statement
// on the line, or where a jump to the label lands. Null with a message.
token_cell* dbg_locate(const std::string& loc, std::string& error);
// Whether a pass that starts at c is a statement the debugger stops at (not
// a label or other word that passes).
bool dbg_is_statement(const token_cell* c);
// The first statement from c on, following the list; null at its end.
token_cell* dbg_statement_from(token_cell* c);
// The frames: 0 is the current statement, 1 to N the jsrs still waiting
// for their rts, innermost first. None while no run is under way.
int dbg_frames();
token_cell* dbg_frame_cell(int n);

// Running (session.cpp). Each runs until the program ends or a stop holds
// and says why.
// Without `resume`, a breakpoint on the statement the run starts at stops
// it at once.
// A motion goes forward through the history while the run stands in it and
// runs on live past its end, stopping exactly where a live run would.
// MOTION_FRAME stops at the first statement after the next frame drawn.
enum dbg_motion { MOTION_CONTINUE, MOTION_STEP, MOTION_NEXT, MOTION_FINISH, MOTION_UNTIL, MOTION_FRAME };
dbg_stop dbg_move(dbg_motion how, token_cell* until = nullptr, long long count = 1, bool resume = true);
// Continues at c rather than where the run stands (run, jump): a
// breakpoint on c stops it there first. In the history it forks first.
dbg_stop dbg_continue_at(token_cell* c);
// Before a change to the registers, the flags, memory, a stack or where the
// run stands: where the run has gone back, the recorded future is dropped,
// so that the change holds and the run goes on live from it (true, and the
// front end says DBG_FORKED).
bool dbg_change();
constexpr const char* DBG_FORKED = "the history after this statement is dropped";
// Frames drawn as the run went forward, live or through the history.
extern uint64_t dbg_frames_passed;
// Going back through the history: one statement (MOTION_STEP), a whole
// call (MOTION_NEXT), to the calling jsr (MOTION_FINISH), or to the last
// breakpoint or watchpoint (MOTION_CONTINUE).
dbg_stop dbg_reverse(dbg_motion how);
// Goes back to the statement that last wrote a memory cell, before it runs.
dbg_stop dbg_reverse_to_writer(int64_t cell);
// Where logpoints print: the message with each {EXPR} replaced by its value.
extern void (*dbg_log_hook)(const std::string& message);
// The points: traps follow their enabled state.
void dbg_arm(dbg_point& p);
void dbg_disarm(dbg_point& p);
dbg_point* dbg_point_numbered(int number);
// Deletes the point at `index` of dbg.points; its cell stays trapped only
// while another enabled breakpoint stands on it.
void dbg_delete_point(size_t index);
// Sets a watchpoint's remembered value from the machine as it is.
void dbg_watch_refresh(dbg_point& p);

// Told of every pass that runs while it is set, as a pass runs; runs then
// ask before each pass, as stepping does. The profile sets it.
extern void (*dbg_pass_seen)(token_cell* c);

// The profile (profiling.cpp): statements run by subroutine and by line,
// counted while it is on. Starting clears it; stopping keeps it for the
// table.
void dbg_profile_start();
void dbg_profile_stop();
// The subroutines by inclusive and exclusive statements, and the busiest lines.
std::string dbg_profile_table();

// The history (history.cpp).
struct dbg_history_info {
    bool recording;
    size_t entries;     // recorded statements
    size_t back;        // how many of them have been undone
};
void history_start(size_t limit);
void history_stop();
void history_clear();
bool history_on();
dbg_history_info history_info();
// Before each pass of a hooked run while recording: notes the state that
// the pass starts from (a free recorded run has the engine do it).
void history_before(token_cell* c);
// A run starts, and its writes belong to its statements; it is over, and
// later writes (a client's, set var) are changes between statements.
void history_run_begins();
void history_seal();
// Undoes one statement, or does it again after going back; false at either
// end of the history.
bool history_undo();
bool history_redo();
// Drops the recorded future, once the run has gone back: the statement the
// run stands before and all after it. The run goes on live from there.
// False when the run stands in the present.
bool history_fork();
// The cell where the statement undone or redone last starts.
token_cell* history_cursor();
// The statement that last wrote a memory cell, within the history, and
// how many statements back it stands: undoing that many stands before it.
// Null and 0 when no statement the history holds wrote the cell.
token_cell* history_writer(int64_t cell);
uint64_t history_writer_back(int64_t cell);
extern size_t history_limit;

// The run's parts (replay.cpp): its seed, its key events by shown frame
// and its console input, so that a run is played the same every time. Each
// start of the run seeds the random numbers with dbg_seed again, reads a
// given input from its beginning and plays the script from its start.
extern unsigned dbg_seed;
// The frames shown in the run up to where it stands: a live refresh counts
// one on, and a statement that drew a frame counts it back when it is
// undone and on again when it is done again.
// The key events after frame N go into the queue when a live refresh shows
// frame N; a replay from the history plays none, as it holds their effects.
extern long long dbg_shown_frames;
// The shown frame after which the run ends, as a test's run ends there
// (0: none), and why, for the stop line.
extern long long dbg_end_frame;
extern std::string dbg_end_why;
// The console input's name, for info run; empty: none given.
extern std::string dbg_input_name;
// Reads a key file's text: items separated by commas or lines, '#'
// comments. False with "line N: MESSAGE", the script unchanged.
bool dbg_keys_read(const std::string& text, std::string& error);
size_t dbg_key_count();
// The first key event that comes after one of a later frame, named, or empty.
std::string dbg_keys_out_of_order();
size_t dbg_keys_played();  // those due by the frames shown so far
// The console input is the file NAME, standing on standard input already;
// an empty NAME: none was given, and standard input is not rewound.
void dbg_input_from_file(const std::string& name);
// The console input is this text.
bool dbg_input_text(const std::string& text, std::string& error);
// Called as a run starts (dbg_restart), and for each frame a live refresh
// shows (the history's frame watch).
void dbg_run_starts();
void dbg_frame_shown_live();
// Whether the run stands at or after its end frame: a live refresh that
// shows that frame ends the run.
bool dbg_end_frame_reached();
// Puts the end of a test's run into the display's frame hook, after the
// front end's own; once the front end has set its hook.
void dbg_replay_install();

// The commands (commands.cpp): runs one line; false to leave.
bool dbg_command(const std::string& line);
