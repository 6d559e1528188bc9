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
