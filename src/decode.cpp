// The decoder: works out, once before a run, everything about each cell of
// the token list that cannot change while the program runs. Label search
// and the operand search give the same answers every time for the same
// cell, so their answers are kept in the cells (see decode.h).
#include "decode.h"

#include <vector>

#include <cstring>

#include "icode.h"
#include "lex.h"
#include "machine.h"
#include "services.h"
#include "symtab.h"

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int32_t read_hex(const char* text)
{
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && hex_digit(text[2]) >= 0)
        text += 2;
    uint32_t v = 0;
    for (int d; (d = hex_digit(*text)) >= 0; text++)
        v = v * 16 + (uint32_t)d;
    return (int32_t)v;
}

int32_t read_dec(const char* text)
{
    uint32_t v = 0;
    for (; *text >= '0' && *text <= '9'; text++)
        v = v * 10 + (uint32_t)(*text - '0');
    return (int32_t)v;
}

bool decode_number(const token* t, int32_t& value)
{
    const char* text = t->lexeme;
    switch (t->tok_type) {
    case TOK_HEX: value = read_hex(text); return true;
    case TOK_IMMEDIATE: value = text[0] == '$' ? read_hex(text + 1) : read_dec(text); return true;
    case TOK_DIGIT: value = read_dec(text); return true;
    default: return false;
    }
}

// The op of an instruction that searches for its operand, or OP_PASS.
static cell_op search_op(int pcode)
{
    switch (pcode) {
    case P_LDA: return OP_LDA;
    case P_LDX: return OP_LDX;
    case P_LDY: return OP_LDY;
    case P_STA: return OP_STA;
    case P_STX: return OP_STX;
    case P_STY: return OP_STY;
    case P_CMP: return OP_CMP;
    case P_CPX: return OP_CPX;
    case P_CPY: return OP_CPY;
    case P_ADC: return OP_ADC;
    case P_SBC: return OP_SBC;
    case P_AND: return OP_AND;
    case P_EOR: return OP_EOR;
    case P_ORA: return OP_ORA;
    case P_ASL: return OP_ASL;
    case P_LSR: return OP_LSR;
    case P_ROL: return OP_ROL;
    case P_ROR: return OP_ROR;
    case P_INT: return OP_INT;
    default: return OP_PASS;
    }
}

// The op of a conditional branch, or OP_PASS.
static cell_op branch_op(int pcode)
{
    switch (pcode) {
    case P_BCC: return OP_BCC;
    case P_BCS: return OP_BCS;
    case P_BEQ: return OP_BEQ;
    case P_BNE: return OP_BNE;
    case P_BMI: return OP_BMI;
    case P_BPL: return OP_BPL;
    case P_BVC: return OP_BVC;
    case P_BVS: return OP_BVS;
    default: return OP_PASS;
    }
}

// The op of an instruction that works without an operand. bit, dec, inc,
// rti, tsx, txa, txs and tya have no effect and pass like any other token.
static cell_op plain_op(int pcode)
{
    switch (pcode) {
    case P_RTS: return OP_RTS;
    case P_PHA: return OP_PHA;
    case P_PLA: return OP_PLA;
    case P_PHP: return OP_PHP;
    case P_PLP: return OP_PLP;
    case P_CLC: return OP_CLC;
    case P_CLD: return OP_CLD;
    case P_CLI: return OP_CLI;
    case P_CLV: return OP_CLV;
    case P_SEC: return OP_SEC;
    case P_SED: return OP_SED;
    case P_SEI: return OP_SEI;
    case P_INX: return OP_INX;
    case P_INY: return OP_INY;
    case P_DEX: return OP_DEX;
    case P_DEY: return OP_DEY;
    case P_TAX: return OP_TAX;
    case P_TAY: return OP_TAY;
    case P_NOP: return OP_NOP;
    case P_BRK: return OP_BRK;
    default: return OP_PASS;
    }
}

// Whether an operand search that reaches cell d stops there, and with what:
// a '$' address, a '#' immediate, a register word, or (any other token
// whose text begins with 'A', 'X' or 'Y') nothing, with the cursor left on d.
static bool operand_at(token_cell* d, cell_code& found)
{
    const token* t = d->tok;
    const char* text = t->lexeme;
    found.value = 0;
    found.to = d->next_cell;
    if (t->tok_type == TOK_HEX || t->tok_type == TOK_IMMEDIATE) {
        found.kind = t->tok_type == TOK_HEX ? OPERAND_ADDRESS : OPERAND_IMMEDIATE;
        decode_number(t, found.value);
    } else if (text[0] == 'A' || text[0] == 'X' || text[0] == 'Y') {
        if (t->tok_type == TOK_WORD) {
            found.kind = text[0] == 'A' ? OPERAND_A : text[0] == 'X' ? OPERAND_X : OPERAND_Y;
        } else {
            found.kind = OPERAND_NONE;
            found.to = d;
        }
    } else {
        return false;
    }
    return true;
}

// Gives every instruction of the chain (linked through `to`) the operand
// its search stopped at. An instruction that found nothing usable has no
// effect and just moves the cursor, except int, which calls service 0.
static void settle(token_cell* pending, const cell_code& found)
{
    while (pending) {
        token_cell* next = pending->code.to;
        cell_code& k = pending->code;
        k.kind = found.kind;
        k.value = found.value;
        k.to = found.to;
        if (k.kind == OPERAND_NONE && k.op != OP_INT)
            k.op = OP_GOTO;
        pending = next;
    }
}

// Where a taken branch or jmp with operand cell o goes: past its label, or
// past the operand when there is no label.
static token_cell* branch_target(token_cell* o)
{
    if (!o)
        return nullptr;
    return o->tok->label ? o->tok->label->next_cell : o->next_cell;
}

// Decodes one cell. An operand search is settled later, when the walk
// reaches the cell it stops at; until then the cell waits in `pending`.
static void decode_cell(token_cell* c, token_cell*& pending)
{
    int pcode = c->tok->pcode;
    token_cell* o = c->next_cell;
    cell_code& k = c->code;
    k = cell_code{};
    k.to = o;
    if (cell_op op = search_op(pcode); op != OP_PASS) {
        k.op = op;
        k.to = pending;
        pending = c;
    } else if (cell_op op = branch_op(pcode); op != OP_PASS) {
        k.op = op;
        k.to = branch_target(o);
    } else if (pcode == P_JMP) {
        k.op = OP_GOTO;
        k.to = branch_target(o);
    } else if (pcode == P_JSR) {
        // Without a label the next pass starts at the operand.
        bool found = o && o->tok->label;
        k.op = found ? OP_JSR : OP_GOTO;
        k.to = found ? o->tok->label : o;
    } else if (pcode == P_LDM) {
        k.op = o ? OP_LDM : OP_GOTO;
        if (o) {
            k.value = (int32_t)strlen(o->tok->lexeme);
            k.to = o->next_cell;
        }
    } else {
        k.op = plain_op(pcode);
    }
}

// Labels need no work here: the token table keeps each text's label as the
// list grows.
#ifdef ZORVIK_WEB
// For the page's count of statements run: how many statements a run passes
// from each cell on before a step that may jump (a branch, a jump, a call,
// a return, a service, brk). The loop adds a cell's count where it lands
// after a jump, or after a branch not taken, rather than count each pass.
// Every straight step goes forward in the list, so one walk from its end
// finds them all.
static void decode_straight(symtab* t)
{
    std::vector<token_cell*> cells;
    for (token_cell* c = t->head; c; c = c->next_cell)
        cells.push_back(c);
    for (size_t i = cells.size(); i-- > 0;) {
        token_cell* c = cells[i];
        token_cell* next = nullptr;
        switch (c->code.op) {
        case OP_LDA: case OP_LDX: case OP_LDY: case OP_STA: case OP_STX: case OP_STY: case OP_CMP: case OP_CPX:
        case OP_CPY: case OP_ADC: case OP_SBC: case OP_AND: case OP_EOR: case OP_ORA: case OP_ASL: case OP_LSR:
        case OP_ROL: case OP_ROR: case OP_LDM:
            next = c->code.to;
            break;
        case OP_PASS: case OP_PHA: case OP_PLA: case OP_PHP: case OP_PLP: case OP_CLC: case OP_CLD: case OP_CLI:
        case OP_CLV: case OP_SEC: case OP_SED: case OP_SEI: case OP_INX: case OP_INY: case OP_DEX: case OP_DEY:
        case OP_TAX: case OP_TAY: case OP_NOP:
            next = c->next_cell;
            break;
        default: break;  // the step after this one may jump
        }
        c->straight = (c->code.op != OP_PASS) + (next ? next->straight : 0);
    }
}
#endif

void decode_program(symtab* t)
{
    token_cell* pending = nullptr;
    cell_code found{};
    for (token_cell* c = t->head; c; c = c->next_cell) {
        // The searches of the instructions before c stop at c or go on past it.
        if (pending && operand_at(c, found)) {
            settle(pending, found);
            pending = nullptr;
        }
        decode_cell(c, pending);
    }
    settle(pending, cell_code{});  // these searches ran off the end of the list
#ifdef ZORVIK_WEB
    decode_straight(t);
#endif
    t->decoded = true;
}

bool decode_searches(int pcode)
{
    return search_op(pcode) != OP_PASS;
}

void decode_if_needed(symtab* t)
{
    if (!t->decoded)
        decode_program(t);
}

int decode_next_passes(const token_cell* c, token_cell* next[2])
{
    int n = 0;
    auto go = [&](token_cell* to) {
        if (to)
            next[n++] = to;
    };
    switch (decode_own_op(c)) {
    case OP_BRK:
        break;
    case OP_BCC: case OP_BCS: case OP_BEQ: case OP_BNE: case OP_BMI: case OP_BPL: case OP_BVC: case OP_BVS:
        go(c->code.to);
        go(c->next_cell);  // not taken
        break;
    case OP_PASS: case OP_RTS: case OP_PHA: case OP_PLA: case OP_PHP: case OP_PLP: case OP_CLC: case OP_CLD:
    case OP_CLI: case OP_CLV: case OP_SEC: case OP_SED: case OP_SEI: case OP_INX: case OP_INY: case OP_DEX:
    case OP_DEY: case OP_TAX: case OP_TAY: case OP_NOP:
        go(c->next_cell);
        break;
    default:  // the searches, int, ldm, jmp and jsr
        go(c->code.to);
        break;
    }
    return n;
}

// The one flag of an op that clears or sets it, or -1.
static int own_flag(int op)
{
    switch (op) {
    case OP_CLC: case OP_SEC: return FLAG_C;
    case OP_CLD: case OP_SED: return FLAG_D;
    case OP_CLI: case OP_SEI: return FLAG_I;
    case OP_CLV: return FLAG_V;
    default: return -1;
    }
}

unsigned decode_flags_written(const token_cell* c)
{
    const cell_code& k = c->code;
    int op = decode_own_op(c);
    switch (op) {
    case OP_CMP: case OP_CPX: case OP_CPY:
        return 1u << FLAG_Z;
    case OP_ADC: case OP_SBC: case OP_AND: case OP_EOR: case OP_ORA: case OP_ASL: case OP_LSR: case OP_ROL:
    case OP_ROR:
        return 1u << FLAG_C | 1u << FLAG_N;
    case OP_INT: {
        bool may_test = k.kind == OPERAND_A || k.kind == OPERAND_X || k.kind == OPERAND_Y ||
                        (k.kind != OPERAND_NONE && k.value == SERVICE_TEST_INDEXED);
        return may_test ? 1u << FLAG_Z : 0;
    }
    case OP_PLP:
        return 0xFFu;
    default:
        return own_flag(op) >= 0 ? 1u << own_flag(op) : 0;
    }
}

void decode_trap(token_cell* c)
{
    if (c->code.op != OP_TRAP) {
        c->code.own_op = c->code.op;
        c->code.op = OP_TRAP;
    }
}

void decode_untrap(token_cell* c)
{
    if (c->code.op == OP_TRAP)
        c->code.op = c->code.own_op;
}

int decode_own_op(const token_cell* c)
{
    return c->code.op == OP_TRAP ? c->code.own_op : c->code.op;
}
