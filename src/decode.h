// The decoded form of the token list. Everything a pass of the interpreter
// needs that depends only on the list (which never changes between the end
// of lexing and the release of the table) is worked out once before a run
// and kept in each cell: what the cell does, its operand and where the
// cursor goes next. Only a register operand's value is read while running.
#pragma once
#include <cstdint>

struct symtab;
struct token;
struct token_cell;

// What a pass that starts at a cell does, one op per line of this list:
//   PASS  not an instruction, or one without effect: one cell forward
//   GOTO  the cursor goes to `to` and nothing else happens
// then one op per instruction that has an effect, and last
//   TRAP  a driver's stop: the cell's own op waits in `own_op`
#define CELL_OPS(X)                                                              \
    X(PASS) X(GOTO)                                                              \
    X(LDA) X(LDX) X(LDY) X(STA) X(STX) X(STY) X(CMP) X(CPX) X(CPY)               \
    X(ADC) X(SBC) X(AND) X(EOR) X(ORA) X(ASL) X(LSR) X(ROL) X(ROR)               \
    X(INT)                                                                       \
    X(BCC) X(BCS) X(BEQ) X(BNE) X(BMI) X(BPL) X(BVC) X(BVS)                      \
    X(JSR) X(RTS) X(PHA) X(PLA) X(PHP) X(PLP) X(LDM)                             \
    X(CLC) X(CLD) X(CLI) X(CLV) X(SEC) X(SED) X(SEI)                             \
    X(INX) X(INY) X(DEX) X(DEY) X(TAX) X(TAY)                                    \
    X(NOP) X(BRK)                                                                \
    X(TRAP)

enum cell_op : uint8_t {
#define CELL_OP_ENUM(name) OP_##name,
    CELL_OPS(CELL_OP_ENUM)
#undef CELL_OP_ENUM
    OP_COUNT
};

// The operand an operand search finds from a cell.
enum operand_kind : uint8_t {
    OPERAND_NONE,       // nothing usable: the search stopped elsewhere or ran off the end
    OPERAND_ADDRESS,    // a '$' token: `value` is the address
    OPERAND_IMMEDIATE,  // a '#' token: `value` is the number
    OPERAND_A,          // a register word: its value is read when the instruction runs
    OPERAND_X,
    OPERAND_Y,
};

// Per op, what `to` and `value` hold:
//   an instruction with an operand search: `to` is the cell after the
//     operand (where the search left the cursor), `value` the constant;
//   a branch: `to` is where a taken branch goes; not taken, the next cell;
//   jsr: `to` is the label's cell; ldm: `to` is the cell after the text and
//   `value` the text's length; every other op: `to` is the next cell.
struct cell_code {
    uint8_t op;
    uint8_t kind;
    uint8_t own_op;  // the op of a trapped cell
    int32_t value;
    token_cell* to;
};

// Makes a pass that starts at c stop for a driver first, or no longer; the
// rest of the cell's code stays as it is, so a cell without a trap costs
// nothing.
void decode_trap(token_cell* c);
void decode_untrap(token_cell* c);
// The cell's op, trapped or not.
int decode_own_op(const token_cell* c);

// Number texts of operands and the header: leading digits, kept modulo 2^32.
// Hex takes either letter case and an optional "0x"; no digits is 0.
int32_t read_hex(const char* text);
int32_t read_dec(const char* text);
// The number that a token of record t stands for, read by its record's
// type as the operand search reads it: a '$' record's address, a '#'
// record's number (hex after a '$' of its own), a bare number's digits.
// False for a record of any other type.
bool decode_number(const token* t, int32_t& value);

// Decodes the table's whole list in one walk; the labels it needs the table
// keeps already, as the list grows.
void decode_program(symtab* t);
// Whether the instruction of a p-code finds its operand by an operand search.
bool decode_searches(int pcode);
// Decodes the list unless it is decoded already and unchanged since.
void decode_if_needed(symtab* t);

// For tools that follow a program's paths without running it, such as the
// checker: what a pass from a decoded cell c may do next, as the run's loop
// moves the cursor. Fills `next` with the cells the next pass may start at
// and gives their number, at most two; the end of the list is left out.
// A jsr gives its label; the jsr's operand, the return point it pushes, is
// where an rts goes back to, which only the return stack knows: an rts
// gives only the cell after it, where it goes on with no call open. brk
// gives none.
int decode_next_passes(const token_cell* c, token_cell* next[2]);
// The flags a pass from c may write, as a mask of 1 << FLAG_N and the
// others (machine.h): Z for a compare and for an int that may be service
// 258, C and N for the arithmetic group's result rules, every flag for plp,
// and each flag's own clear and set.
unsigned decode_flags_written(const token_cell* c);
