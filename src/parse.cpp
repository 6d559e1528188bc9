// The machine. There is no program counter: the cursor `lst` walks the token
// list, a token with a p-code is an instruction, and each instruction moves
// the cursor past its own operand. Jumps find their label by searching the
// list.
#include "parse.h"

#include <cstring>

#include "arith.h"
#include "debug.h"
#include "icode.h"
#include "lex.h"
#include "main.h"
#include "services.h"
#include "stack.h"
#include "symtab.h"

registers _reg;
token_cell* lst = nullptr;

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

// Leading hex digits in either case, after an optional "0x"; no digits is 0.
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

void getnext()
{
    if (lst)
        lst = lst->next_cell;
}

// The optional header, '*=' and a '$' number: its value goes into `mode` and
// execution starts after it. Without a '$' number nothing runs.
static void read_header()
{
    if (!lst || lst->tok->tok_type != TOK_OPERATOR)
        return;
    do
        getnext();
    while (lst && lst->tok->tok_type != TOK_HEX);
    if (lst) {
        _reg.mode = read_hex(lst->tok->lexeme);
        getnext();
    }
}

int parse()
{
    lst = symbols.head;
    memset(&_reg, 0, sizeof _reg);
    read_header();
    stack_init(&the_stack);
    int_stack_init(&int_stack);
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

static bool recognised(int kind)
{
    return kind == KIND_ADDRESS || kind == KIND_IMMEDIATE || kind == KIND_REGISTER;
}

// Z is 0 when the values are equal and 1 when they differ.
static void compare(int64_t p, int64_t q)
{
    _reg.flags[FLAG_Z] = p != q;
}

// A, X or Y from an operand: a memory byte for an address, the value itself
// for an immediate or a register.
static bool load_operand(int32_t& out)
{
    int kind = 0;
    int32_t v = term(kind);
    if (!recognised(kind))
        return false;
    out = kind == KIND_ADDRESS ? mem_read(v) : v;
    return true;
}

static void do_store(uint8_t value)
{
    int kind = 0;
    int32_t v = term(kind);
    if (recognised(kind))
        mem_write(v, value);
}

static void do_sta()
{
    int kind = 0;
    int32_t v = term(kind);
    if (!recognised(kind))
        return;
    if (_reg.A > 254)
        _reg.A = 255;
    mem_write(v, _reg.A & 0xFF);
}

// cmp reads memory for a register operand; cpx and cpy compare with its value.
static void do_compare(int64_t reg, bool register_is_address)
{
    int kind = 0;
    int32_t v = term(kind);
    if (kind == KIND_ADDRESS || (kind == KIND_REGISTER && register_is_address))
        compare(reg, mem_read(v));
    else if (recognised(kind))
        compare(reg, v);
}

// Branches, jmp: the operand is the very next token. A label that is not
// found lets execution go on after the operand.
static void do_branch(bool taken)
{
    getnext();
    if (!lst || !taken)
        return;
    token_cell* label = sym_list_look(&symbols, symbols.head, lst->tok->lexeme);
    if (label)
        lst = label;
    getnext();
}

// A flag byte restored by plp may hold other values: it then satisfies
// neither test of a pair.
static bool flag_is(int flag, int value)
{
    return _reg.flags[flag] == value;
}

static void do_jsr()
{
    getnext();
    if (!lst)
        return;
    token_cell* label = sym_list_look(&symbols, symbols.head, lst->tok->lexeme);
    if (!label)
        return;  // the next pass passes over the operand
    stack_push(&the_stack, lst);
    lst = label;
}

static void do_rts()
{
    token_cell* back = stack_pop(&the_stack);
    if (back)
        lst = back;  // the jsr's operand, which the next pass passes over
    else
        getnext();
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

// Copies the next token's text into memory at A; Y gets its length.
static void do_ldm()
{
    getnext();
    if (!lst)
        return;
    const char* text = lst->tok->lexeme;
    size_t len = strlen(text);
    for (size_t i = 0; i < len; i++)
        mem_write((int64_t)_reg.A + (int64_t)i, (uint8_t)text[i]);
    _reg.Y = (uint8_t)len;
    getnext();
}

static void set_flag(int flag, uint8_t value)
{
    _reg.flags[flag] = value;
    getnext();
}

// Executes the instruction under the cursor; false ends the run.
static bool execute(int pcode)
{
    int32_t v;
    switch (pcode) {
    case P_ADC: case P_AND: case P_ASL: case P_EOR: case P_LSR:
    case P_ORA: case P_ROL: case P_ROR: case P_SBC:
        do_arith(pcode);
        break;
    case P_LDA:
        if (load_operand(v))
            _reg.A = v;
        break;
    case P_LDX:
        if (load_operand(v))
            _reg.X = (uint8_t)v;
        break;
    case P_LDY:
        if (load_operand(v))
            _reg.Y = (uint8_t)v;
        break;
    case P_STA: do_sta(); break;
    case P_STX: do_store(_reg.X); break;
    case P_STY: do_store(_reg.Y); break;
    case P_CMP: do_compare(_reg.A, true); break;
    case P_CPX: do_compare(_reg.X, false); break;
    case P_CPY: do_compare(_reg.Y, false); break;
    case P_INT: {
        int kind = 0;
        int32_t service = term(kind);
        if (do_interupt(service) == 1)
            return false;
        break;
    }
    case P_BCC: do_branch(flag_is(FLAG_C, 0)); break;
    case P_BCS: do_branch(flag_is(FLAG_C, 1)); break;
    case P_BEQ: do_branch(flag_is(FLAG_Z, 0)); break;
    case P_BNE: do_branch(flag_is(FLAG_Z, 1)); break;
    case P_BMI: do_branch(flag_is(FLAG_N, 1)); break;
    case P_BPL: do_branch(flag_is(FLAG_N, 0)); break;
    case P_BVC: do_branch(flag_is(FLAG_V, 0)); break;
    case P_BVS: do_branch(flag_is(FLAG_V, 1)); break;
    case P_JMP: do_branch(true); break;
    case P_JSR: do_jsr(); break;
    case P_RTS: do_rts(); break;
    case P_PHA: int_stack_push(&int_stack, (uint8_t)(_reg.A & 0xFF)); getnext(); break;
    case P_PLA: _reg.A = int_stack_pop(&int_stack); getnext(); break;
    case P_PHP: do_php(); getnext(); break;
    case P_PLP: do_plp(); getnext(); break;
    case P_LDM: do_ldm(); break;
    case P_CLC: set_flag(FLAG_C, 0); break;
    case P_CLD: set_flag(FLAG_D, 0); break;
    case P_CLI: set_flag(FLAG_I, 0); break;
    case P_CLV: set_flag(FLAG_V, 0); break;
    case P_SEC: set_flag(FLAG_C, 1); break;
    case P_SED: set_flag(FLAG_D, 1); break;
    case P_SEI: set_flag(FLAG_I, 1); break;
    case P_INX: _reg.X++; getnext(); break;
    case P_INY: _reg.Y++; getnext(); break;
    case P_DEX: _reg.X--; getnext(); break;
    case P_DEY: _reg.Y--; getnext(); break;
    case P_TAX: _reg.X = (uint8_t)(_reg.A & 0xFF); getnext(); break;
    case P_TAY: _reg.Y = (uint8_t)(_reg.A & 0xFF); getnext(); break;
    case P_NOP:
        if (debug_mode == 1 || debug_mode == 2) {
            dump_reg();
            step_pause();
        }
        getnext();
        break;
    case P_BRK:
        return false;
    default:  // bit, dec, inc, rti, tsx, txa, txs, tya: no effect
        getnext();
        break;
    }
    return true;
}

void statement(token_cell*)
{
    while (lst) {
        if (debug_mode == 1)
            trace_instruction(lst);
        int pcode = lst->tok->pcode;
        // Labels and any other token without a p-code are passed over.
        if (pcode == 0)
            getnext();
        else if (!execute(pcode))
            return;
    }
}
