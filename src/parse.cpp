// The machine. There is no program counter: the cursor `lst` walks the token
// list, a token with a p-code is an instruction, and each instruction moves
// the cursor past its own operand. Jumps go to their label. The operands,
// continuations and label targets are decoded once before the run
// (decode.cpp); term stays as the operand search that the decoder mirrors.
#include "parse.h"

#include <cstdio>
#include <cstring>

#include "arith.h"
#include "debug.h"
#include "decode.h"
#include "halt.h"
#include "lex.h"
#include "main.h"
#include "services.h"
#include "stack.h"
#include "symtab.h"
#include "yield.h"

int64_t run_budget = -1;
bool run_budget_spent = false;

void getnext()
{
    if (lst)
        lst = lst->next_cell;
}

// The '$' number of a header that starts at `head`, '*=' and then the first
// '$' token after it; null when there is none.
static token_cell* header_address(token_cell* head)
{
    token_cell* c = head->next_cell;
    while (c && c->tok->tok_type != TOK_HEX)
        c = c->next_cell;
    return c;
}

token_cell* parse_start(token_cell* head)
{
    if (!head || head->tok->tok_type != TOK_OPERATOR)
        return head;
    token_cell* address = header_address(head);
    return address ? address->next_cell : nullptr;
}

// The optional header, '*=' and a '$' number: its value goes into `mode` and
// execution starts after it. Without a '$' number nothing runs.
static void read_header()
{
    if (!lst || lst->tok->tok_type != TOK_OPERATOR)
        return;
    if (token_cell* address = header_address(lst))
        _reg.mode = read_hex(address->tok->lexeme);
    lst = parse_start(lst);
}

int parse()
{
    parse_prepare();
    statement(lst);
    if (debug_mode == 1 || debug_mode == 2) {
        dump_reg();
        dump_memory();
    }
    return 0;
}

int32_t term(int& kind)
{
    for (;;) {
        getnext();
        if (!lst)
            return 0;
        const token* t = lst->tok;
        kind = t->tok_type;
        if (kind == TOK_HEX) {
            getnext();
            return read_hex(t->lexeme);
        }
        if (kind == TOK_IMMEDIATE) {
            getnext();
            return t->lexeme[0] == '$' ? read_hex(t->lexeme + 1) : read_dec(t->lexeme);
        }
        char first = t->lexeme[0];
        if (first == 'A' || first == 'X' || first == 'Y') {
            if (kind != TOK_WORD)
                return 0;  // no recognised kind; the cursor stays on the token
            kind = KIND_REGISTER;
            getnext();
            return first == 'A' ? _reg.A : first == 'X' ? _reg.X : _reg.Y;
        }
    }
}

// The value of a decoded operand: its constant, or the register it names.
static inline int32_t operand_value(const cell_code& k)
{
    switch (k.kind) {
    case OPERAND_A: return _reg.A;
    case OPERAND_X: return _reg.X;
    case OPERAND_Y: return _reg.Y;
    default: return k.value;
    }
}

// As the loads, cpx and cpy use an operand: memory for an address, the value
// itself for an immediate or a register.
static inline int32_t load_value(const cell_code& k)
{
    int32_t v = operand_value(k);
    return k.kind == OPERAND_ADDRESS ? mem_read(v) : v;
}

// As cmp and the arithmetic group use an operand: the number itself for an
// immediate, memory for an address or a register.
static inline int32_t memory_value(const cell_code& k)
{
    int32_t v = operand_value(k);
    return k.kind == OPERAND_IMMEDIATE ? v : mem_read(v);
}

static inline bool is_immediate(const cell_code& k)
{
    return k.kind == OPERAND_IMMEDIATE;
}

// Store A: above 254 it becomes 255 first.
static void store_a(int32_t at)
{
    if (_reg.A > 254)
        _reg.A = 255;
    mem_write(at, _reg.A & 0xFF);
}

// Z is 0 when the values are equal and 1 when they differ.
static inline void compare(int64_t p, int64_t q)
{
    _reg.flags[FLAG_Z] = p != q;
}

// A flag byte restored by plp may hold other values: it then satisfies
// neither test of a pair.
static inline bool flag_is(int flag, int value)
{
    return _reg.flags[flag] == value;
}

static void do_php()
{
    for (uint8_t f : _reg.flags)
        int_stack_push(&int_stack, f);
    int_stack_push(&int_stack, _reg.flag_extra);
}

static void do_plp()
{
    _reg.flag_extra = int_stack_pop(&int_stack);
    for (int i = 7; i >= 0; i--)
        _reg.flags[i] = int_stack_pop(&int_stack);
}

// Copies the text of the cell after c into memory at A; Y gets its length.
static void do_ldm(const token_cell* c)
{
    const char* text = c->next_cell->tok->lexeme;
    int32_t len = c->code.value;
    for (int32_t i = 0; i < len; i++)
        mem_write((int64_t)_reg.A + i, (uint8_t)text[i]);
    _reg.Y = (uint8_t)len;
}

#ifdef ZORVIK_COUNT_PASSES
// Passes of the interpreter loop, counted only in the benchmark build.
static uint64_t passes_run = 0;
#define COUNT_PASS() passes_run++
#else
#define COUNT_PASS() ((void)0)
#endif

#ifdef ZORVIK_WEB
// The page tells how many statements a run has run so far. Counting each
// pass would cost the loop a twentieth of its speed; the decoder knows how
// many statements follow each cell before a step that may jump, and the
// loop adds that where a run starts, lands after a jump, or goes on after
// a branch not taken. The count lives in the loop's local `statements` and
// goes out to run_statements where the loop gives way and where it returns.
#define COUNT_STRAIGHT(cell)                \
    do {                                    \
        if (cell)                           \
            statements += (cell)->straight; \
    } while (0)
#define TELLS_STATEMENTS true
#else
#define COUNT_STRAIGHT(cell) ((void)0)
#define TELLS_STATEMENTS false
#endif

// The interpreter loop over the decoded cells. The cursor lives in the
// local c and is written back to `lst` wherever something can see it: the
// trace, a service call (the overlay shows it), nop, and the end of the run,
// which this returns. The traced loop is a copy of its own, so the plain one
// tests nothing it does not need; so is the loop that runs one pass for a
// driver.
//
// Dispatch is by computed goto: each handler ends with a jump of its own to
// the next cell's handler, which the processor predicts far better than one
// shared jump. `next_pass` starts a pass at c.
#define vmcase(name) op_##name:
#define next_pass                                 \
    do {                                          \
        if (!c)                                   \
            return returned(RUN_ENDED, c);        \
        if (mode == LOOP_ONE_PASS)                \
            return returned(RUN_PASSED, c);       \
        if (mode == LOOP_HOOKED && run_pass_hook(c)) \
            return returned(RUN_TRAPPED, c);      \
        if (mode == LOOP_LOGGING)                 \
            log_pass(c);                          \
        if (mode == LOOP_COUNTING)                \
            count_pass(c);                        \
        COUNT_PASS();                             \
        if (trace) {                              \
            lst = c;                              \
            trace_instruction(c);                 \
        }                                         \
        goto* handlers[c->code.op];               \
    } while (0)
#define step(to_cell) \
    do {              \
        c = (to_cell); \
        next_pass;    \
    } while (0)
#ifdef ZORVIK_WEB
#define GIVE_WAY()                     \
    do {                               \
        if (--yield_countdown < 0) {   \
            run_statements = statements; \
            yield_slice();             \
        }                              \
    } while (0)
#else
#define GIVE_WAY() ((void)0)
#endif
// A step that may close a loop (a taken branch, a jump, a call, a return, a
// service call) also ends the run when a signal has asked for it or the
// budget is spent. On a host that shares its thread, it is also where the
// machine gives way (yield.h).
#define jump(to_cell)                          \
    do {                                       \
        token_cell* to_ = (to_cell);           \
        if (mode == LOOP_COUNTING)             \
            counts[c->number].taken++;         \
        c = to_;                               \
        COUNT_STRAIGHT(c);                     \
        GIVE_WAY();                            \
        if (halt_signal || --budget < 0) {     \
            run_budget_spent = budget < 0;     \
            return returned(RUN_HALTED, c);    \
        }                                      \
        next_pass;                             \
    } while (0)

run_return run_returned = RUN_ENDED;
bool (*run_trap_hook)(token_cell* c) = nullptr;
bool (*run_pass_hook)(token_cell* c) = nullptr;

// The loop's copies: the plain run, one pass for a driver, a run that
// asks the driver's hook before every pass, one that logs each pass's
// state, and one that counts passes.
enum loop_mode { LOOP_FREE, LOOP_ONE_PASS, LOOP_HOOKED, LOOP_LOGGING, LOOP_COUNTING };

bool run_counting = false;
std::vector<run_count> run_counts;
uint64_t run_statements = 0;
void (*run_call_hook)(token_cell* at, int depth) = nullptr;

run_snapshot* run_log = nullptr;
uint64_t run_log_mask = 0;
uint64_t run_log_count = 0;
uint32_t run_log_mark = 0;

static inline void fill_snapshot(run_snapshot& e, token_cell* c)
{
    e.at = c;
    e.A = _reg.A;
    e.mark = run_log_mark;
    memcpy(e.flags, _reg.flags, sizeof e.flags);
    e.X = _reg.X;
    e.Y = _reg.Y;
    e.flag_extra = _reg.flag_extra;
    e.depth = (uint8_t)the_stack.count;
    e.byte_depth = (uint8_t)int_stack.count;
}

static inline void log_pass(token_cell* c)
{
    fill_snapshot(run_log[run_log_count++ & run_log_mask], c);
}

void run_log_pass(token_cell* c)
{
    log_pass(c);
}

void run_snapshot_now(run_snapshot& e, token_cell* c)
{
    fill_snapshot(e, c);
}

// A counting run's pass: the counts and the statement total live in locals
// of the loop (`counts`, `statements`), the total written back to
// run_statements before the hook and at the end.
#define count_pass(cell)                         \
    do {                                         \
        counts[(cell)->number].passes++;         \
        statements += (cell)->code.op != OP_PASS; \
    } while (0)

// After a counting run's jsr or rts: the driver's hook sees where the run
// goes on and how deep the return stack is.
#define tell_call(at)                                \
    do {                                             \
        if (run_call_hook) {                         \
            run_statements = statements;             \
            run_call_hook((at), the_stack.count);    \
        }                                            \
    } while (0)

static inline token_cell* run_ends(run_return why, token_cell* c)
{
    run_returned = why;
    return c;
}
// Every way out of the loop: a counting run's total goes back first.
#define returned(why, cell) \
    (mode == LOOP_COUNTING || TELLS_STATEMENTS ? (void)(run_statements = statements) : (void)0, run_ends(why, cell))

// Runs from c. With `resume`, a trap on c itself lets c's own op run, and
// the hook is not asked about c.
template <bool trace, loop_mode mode>
static token_cell* run_cells(token_cell* c, bool pause, bool resume)
{
    int64_t budget = run_budget < 0 ? INT64_MAX : run_budget;
    run_count* counts = mode == LOOP_COUNTING ? run_counts.data() : nullptr;
    uint64_t statements = run_statements;
    static const void* const handlers[OP_COUNT] = {
#define CELL_OP_LABEL(name) &&op_##name,
        CELL_OPS(CELL_OP_LABEL)
#undef CELL_OP_LABEL
    };
    if (!c)
        return returned(RUN_ENDED, c);
    if (mode == LOOP_HOOKED && !resume && run_pass_hook(c))
        return returned(RUN_TRAPPED, c);
    if (mode == LOOP_LOGGING)
        log_pass(c);
    if (mode == LOOP_COUNTING)
        count_pass(c);
    COUNT_PASS();
    COUNT_STRAIGHT(c);
    if (trace) {
        lst = c;
        trace_instruction(c);
    }
    goto* handlers[resume ? decode_own_op(c) : c->code.op];

    vmcase(PASS) step(c->next_cell);  // labels and other words
    vmcase(GOTO) jump(c->code.to);
    vmcase(LDA) _reg.A = load_value(c->code); step(c->code.to);
    vmcase(LDX) _reg.X = (uint8_t)load_value(c->code); step(c->code.to);
    vmcase(LDY) _reg.Y = (uint8_t)load_value(c->code); step(c->code.to);
    vmcase(STA) store_a(operand_value(c->code)); step(c->code.to);
    vmcase(STX) mem_write(operand_value(c->code), _reg.X); step(c->code.to);
    vmcase(STY) mem_write(operand_value(c->code), _reg.Y); step(c->code.to);
    vmcase(CMP) compare(_reg.A, memory_value(c->code)); step(c->code.to);
    vmcase(CPX) compare(_reg.X, load_value(c->code)); step(c->code.to);
    vmcase(CPY) compare(_reg.Y, load_value(c->code)); step(c->code.to);
    vmcase(ADC) arith_adc(memory_value(c->code)); step(c->code.to);
    vmcase(SBC) arith_sbc(memory_value(c->code)); step(c->code.to);
    vmcase(AND) arith_and(memory_value(c->code)); step(c->code.to);
    vmcase(EOR) arith_eor(memory_value(c->code)); step(c->code.to);
    vmcase(ORA) arith_ora(memory_value(c->code)); step(c->code.to);
    vmcase(ASL) arith_asl(operand_value(c->code), is_immediate(c->code)); step(c->code.to);
    vmcase(LSR) arith_lsr(operand_value(c->code), is_immediate(c->code)); step(c->code.to);
    vmcase(ROL) arith_rol(operand_value(c->code), is_immediate(c->code)); step(c->code.to);
    vmcase(ROR) arith_ror(operand_value(c->code), is_immediate(c->code)); step(c->code.to);
    vmcase(INT)
        lst = c->code.to;  // a service sees the cursor past the operand
        if (TELLS_STATEMENTS)
            run_statements = statements;  // a refresh may wait for the page, which then shows the count
        if (do_interupt(operand_value(c->code)) == 1)
            return returned(RUN_ENDED, lst);
        jump(c->code.to);
    // A branch not taken leaves the cursor on its operand.
#define not_taken() COUNT_STRAIGHT(c->next_cell)
    vmcase(BCC) if (flag_is(FLAG_C, 0)) jump(c->code.to); not_taken(); step(c->next_cell);
    vmcase(BCS) if (flag_is(FLAG_C, 1)) jump(c->code.to); not_taken(); step(c->next_cell);
    vmcase(BEQ) if (flag_is(FLAG_Z, 0)) jump(c->code.to); not_taken(); step(c->next_cell);
    vmcase(BNE) if (flag_is(FLAG_Z, 1)) jump(c->code.to); not_taken(); step(c->next_cell);
    vmcase(BMI) if (flag_is(FLAG_N, 1)) jump(c->code.to); not_taken(); step(c->next_cell);
    vmcase(BPL) if (flag_is(FLAG_N, 0)) jump(c->code.to); not_taken(); step(c->next_cell);
    vmcase(BVC) if (flag_is(FLAG_V, 0)) jump(c->code.to); not_taken(); step(c->next_cell);
    vmcase(BVS) if (flag_is(FLAG_V, 1)) jump(c->code.to); not_taken(); step(c->next_cell);
    // The return point is the jsr's operand, which the next pass passes over.
    vmcase(JSR)
        stack_push(&the_stack, c->next_cell);
        if (mode == LOOP_COUNTING)
            tell_call(c->code.to);
        jump(c->code.to);
    vmcase(RTS) {
        token_cell* back = stack_pop(&the_stack);
        if (mode == LOOP_COUNTING)
            tell_call(back ? back : c->next_cell);
        jump(back ? back : c->next_cell);
    }
    vmcase(PHA) int_stack_push(&int_stack, (uint8_t)(_reg.A & 0xFF)); step(c->next_cell);
    vmcase(PLA) _reg.A = int_stack_pop(&int_stack); step(c->next_cell);
    vmcase(PHP) do_php(); step(c->next_cell);
    vmcase(PLP) do_plp(); step(c->next_cell);
    vmcase(LDM) do_ldm(c); step(c->code.to);
    vmcase(CLC) _reg.flags[FLAG_C] = 0; step(c->next_cell);
    vmcase(CLD) _reg.flags[FLAG_D] = 0; step(c->next_cell);
    vmcase(CLI) _reg.flags[FLAG_I] = 0; step(c->next_cell);
    vmcase(CLV) _reg.flags[FLAG_V] = 0; step(c->next_cell);
    vmcase(SEC) _reg.flags[FLAG_C] = 1; step(c->next_cell);
    vmcase(SED) _reg.flags[FLAG_D] = 1; step(c->next_cell);
    vmcase(SEI) _reg.flags[FLAG_I] = 1; step(c->next_cell);
    vmcase(INX) _reg.X++; step(c->next_cell);
    vmcase(INY) _reg.Y++; step(c->next_cell);
    vmcase(DEX) _reg.X--; step(c->next_cell);
    vmcase(DEY) _reg.Y--; step(c->next_cell);
    vmcase(TAX) _reg.X = (uint8_t)(_reg.A & 0xFF); step(c->next_cell);
    vmcase(TAY) _reg.Y = (uint8_t)(_reg.A & 0xFF); step(c->next_cell);
    vmcase(NOP)
        if (pause) {
            lst = c;
            dump_reg();
            step_pause();
        }
        step(c->next_cell);
    vmcase(BRK) return returned(RUN_ENDED, c);  // the cursor stays on the brk
    // A driver's stop, before the cell runs, unless its hook lets it run.
    vmcase(TRAP)
        if (!run_trap_hook || run_trap_hook(c)) {
            if (mode == LOOP_LOGGING)
                run_log_count--;  // the pass does not run
            return returned(RUN_TRAPPED, c);
        }
        goto* handlers[c->code.own_op];
}

#undef vmcase
#undef next_pass
#undef step
#undef jump
#undef count_pass
#undef tell_call
#undef not_taken
#undef returned

// Runs the program from the cursor until the list ends, a brk, or a service
// that ends the run. The list is decoded first, once per table.
void statement(token_cell*)
{
    decode_if_needed(&symbols);
    run_budget_spent = false;
    if (halt_signal)
        return;
    bool pause = debug_mode == 1 || debug_mode == 2;
#ifndef ZORVIK_WEB
    // The page never counts, and its module carries no counting loop.
    if (run_counting) {
        // Sized before the loop, so that counting allocates nothing per pass.
        run_counts.assign((size_t)symbols.token_count, run_count{});
        run_statements = 0;
        if (debug_mode == 1)
            lst = run_cells<true, LOOP_COUNTING>(lst, pause, false);
        else
            lst = run_cells<false, LOOP_COUNTING>(lst, pause, false);
    } else
#endif
    if (debug_mode == 1) {
        lst = run_cells<true, LOOP_FREE>(lst, pause, false);
    } else {
        lst = run_cells<false, LOOP_FREE>(lst, pause, false);
    }
#ifdef ZORVIK_COUNT_PASSES
    fprintf(stderr, "passes: %llu\n", (unsigned long long)passes_run);
#endif
}

token_cell* run_from(token_cell* c, run_how how, bool resume)
{
    run_budget_spent = false;
    switch (how) {
    case RUN_ONE_PASS: return run_cells<false, LOOP_ONE_PASS>(c, false, resume);
    case RUN_ASKING: return run_cells<false, LOOP_HOOKED>(c, false, resume);
    case RUN_LOGGING: return run_cells<false, LOOP_LOGGING>(c, false, resume);
    default: return run_cells<false, LOOP_FREE>(c, false, resume);
    }
}

void parse_prepare()
{
    lst = symbols.head;
    machine_clear();
    read_header();
    stack_init(&the_stack);
    int_stack_init(&int_stack);
    decode_if_needed(&symbols);
}
