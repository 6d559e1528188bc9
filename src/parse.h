// The run: the interpreter loop over the token list, from the cursor on.
#pragma once
#include <cstdint>
#include <vector>

#include "machine.h"

struct token_cell;

// Operand kinds reported by term: 17 address, 15 immediate, 18 register.
enum { KIND_IMMEDIATE = 15, KIND_ADDRESS = 17, KIND_REGISTER = 18 };

// How many loop-closing steps (taken branches, jumps, calls, returns and
// service calls) a run may take before it ends as if its list had; negative
// for no limit, the default. A hook for tests and fuzzing, which run
// programs that loop on purpose; the command line cannot set it.
extern int64_t run_budget;
// True when the last run ended because its budget was spent.
extern bool run_budget_spent;

// Counting runs, for coverage and profiles. While run_counting is set, a
// run counts in run_counts, by cell number (token_cell::number), the passes
// that start at each cell and the jumps taken from it (a branch taken, jmp,
// jsr, rts, a service call), and in run_statements every pass that starts
// a statement (a cell whose op is not PASS). run_call_hook, when set, is
// told of each jsr and rts once it has run: the cell the run goes on at and
// the return stack's depth. The counts are sized to the list before the
// run and kept after it; a run without counting runs the plain loop.
struct run_count {
    uint64_t passes;
    uint64_t taken;
};
extern bool run_counting;
extern std::vector<run_count> run_counts;
extern uint64_t run_statements;
extern void (*run_call_hook)(token_cell* at, int depth);

void getnext();
int parse();
void statement(token_cell* start);
int32_t term(int& kind);

// Driving the machine from a front end, through the same loop.
// How the last run returned to its driver: the program ended (the list's
// end, brk, or a service that ends the run), a trap cell was reached before
// it ran, the one pass asked for was done, or a signal or the budget
// stopped it.
enum run_return : uint8_t { RUN_ENDED, RUN_TRAPPED, RUN_PASSED, RUN_HALTED };
extern run_return run_returned;
// Called when a pass reaches a trap cell (decode_trap): true stops the run
// before the cell, false lets the cell's own op run. Null stops at every trap.
extern bool (*run_trap_hook)(token_cell* c);
// Sets up a run as parse does, without running: the cursor on the first
// statement, the machine cleared, the header read, the stacks empty, the
// list decoded.
void parse_prepare();
// The cell a run of the list from `head` starts at: `head` itself, or the
// cell after a header's '$' number; null when a header has none, and so
// nothing runs. What parse_prepare leaves the cursor on, without clearing
// the machine.
token_cell* parse_start(token_cell* head);
// Asked before every pass of a RUN_ASKING run: true stops the run before c.
extern bool (*run_pass_hook)(token_cell* c);
// Runs from c until the program ends or a trap stops it (RUN_FREE), for one
// pass only (RUN_ONE_PASS), or asking run_pass_hook before each pass
// (RUN_ASKING). With `resume`, a trap on c itself lets c run, and the hook
// is not asked about c. The cursor it returns is where the next pass starts.
// A RUN_LOGGING run runs free but first writes the state each pass starts
// from into the ring `run_log` (run_log_mask + 1 entries, a power of two),
// at the index run_log_count, which counts every entry ever written. A pass
// that a trap stops is taken out again. run_log_mark goes into each entry
// as it stands: a driver counts its own log of writes in it.
enum run_how { RUN_FREE, RUN_ONE_PASS, RUN_ASKING, RUN_LOGGING };
token_cell* run_from(token_cell* c, run_how how, bool resume);

struct run_snapshot {
    token_cell* at;
    int32_t A;
    uint32_t mark;
    uint8_t flags[8];
    uint8_t X, Y;
    uint8_t flag_extra;
    uint8_t depth;       // of the return stack
    uint8_t byte_depth;  // of the byte stack
};
extern run_snapshot* run_log;
extern uint64_t run_log_mask;
extern uint64_t run_log_count;
extern uint32_t run_log_mark;
// Writes the state a pass at c starts from as the next entry of the ring.
void run_log_pass(token_cell* c);
// The same state, into e.
void run_snapshot_now(run_snapshot& e, token_cell* c);
