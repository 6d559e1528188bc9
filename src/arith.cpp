// The arithmetic, logic and shift group. Each instruction works on A or on a
// memory byte and then brings A back into range by the rule that D selects:
// unsigned (results above 255 overflow to 0) or signed (results outside
// -127..127 overflow to the far end). There is no carry in: C only records
// that a rule has seen an overflow.
#include "arith.h"

#include "icode.h"
#include "parse.h"

int do_asl(int byte)
{
    return (byte << 1) & 0xFF;
}

int do_ror(int byte)
{
    byte &= 0xFF;
    return ((byte >> 1) | (byte << 7)) & 0xFF;
}

int do_rol(int byte)
{
    byte &= 0xFF;
    return ((byte << 1) | (byte >> 7)) & 0xFF;
}

int get_bit(int value, int position)
{
    if (position < 0 || position > 7)
        return 0;
    return ((value & 0xFF) >> position) & 1;
}

int set_bit(int value, int position)
{
    if (position < 0 || position > 7)
        return value & 0xFF;
    return (value & 0xFF) | (1 << position);
}

static void unsigned_rule()
{
    if (_reg.A > 255) {
        _reg.A = 0;
        _reg.flags[FLAG_C] = 1;
    }
}

static void signed_rule()
{
    if (_reg.A > 127) {
        _reg.A = -128;
        _reg.flags[FLAG_C] = 1;
        _reg.flags[FLAG_N] = 1;
    } else if (_reg.A < -127) {
        _reg.A = 128;
        _reg.flags[FLAG_C] = 1;
        _reg.flags[FLAG_N] = 0;
    } else if (_reg.A > 0) {
        _reg.flags[FLAG_N] = 0;
    } else if (_reg.A < 0) {
        _reg.flags[FLAG_N] = 1;
    }
}

// A shift or rotation of a memory byte, or of the low byte of A for an
// immediate operand (whose value is then not used).
static void shift(int (*op)(int), bool on_a, int32_t v)
{
    if (on_a)
        _reg.A = op(_reg.A & 0xFF);
    else
        mem_write(v, op(mem_read(v)));
}

static int shift_right(int byte)
{
    return (byte & 0xFF) >> 1;
}

void do_arith(int pcode)
{
    int kind = 0;
    int32_t v = term(kind);
    if (kind != KIND_ADDRESS && kind != KIND_IMMEDIATE && kind != KIND_REGISTER)
        return;
    bool imm = kind == KIND_IMMEDIATE;
    // Sums are formed wide and kept modulo 2^32, like the 32-bit register.
    int64_t operand = imm ? v : mem_read(v);
    int64_t a = _reg.A;
    switch (pcode) {
    case P_ADC: _reg.A = (int32_t)(a + operand); break;
    case P_SBC: _reg.A = (int32_t)(a - operand); break;
    case P_AND: _reg.A = (int32_t)(a & operand); break;
    case P_EOR: _reg.A = (int32_t)(a ^ operand); break;
    case P_ORA: _reg.A = (int32_t)(a | operand); break;
    case P_ASL: shift(do_asl, imm, v); break;
    case P_ROL: shift(do_rol, imm, v); break;
    case P_ROR: shift(do_ror, imm, v); break;
    case P_LSR:
        if (imm)
            _reg.A >>= 1;  // arithmetic: the sign bit is kept
        else
            shift(shift_right, false, v);
        break;
    }
    if (_reg.flags[FLAG_D] == 0)
        unsigned_rule();
    else
        signed_rule();
}
