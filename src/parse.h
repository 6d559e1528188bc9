// The run: the interpreter loop over the token list, from the cursor on.
#pragma once
#include <cstdint>

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
// Asked before every pass of a RUN_ASKING run: true stops the run before c.
extern bool (*run_pass_hook)(token_cell* c);
// Runs from c until the program ends or a trap stops it (RUN_FREE), for one
// pass only (RUN_ONE_PASS), or asking run_pass_hook before each pass
// (RUN_ASKING). With `resume`, a trap on c itself lets c run, and the hook
// is not asked about c. The cursor it returns is where the next pass starts.
enum run_how { RUN_FREE, RUN_ONE_PASS, RUN_ASKING };
token_cell* run_from(token_cell* c, run_how how, bool resume);
