// The arithmetic, logic and shift group. Each instruction works on A or on a
// memory byte and then brings A back into range by the rule that D selects:
// unsigned (results above 255 overflow to 0) or signed (results outside
// -127..127 overflow to the far end). There is no carry in: C only records
// that a rule has seen an overflow.
#include "arith.h"

#include "machine.h"

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

static void result_rule()
{
    if (_reg.flags[FLAG_D] == 0)
        unsigned_rule();
    else
        signed_rule();
}

// Sums are formed wide and kept modulo 2^32, like the 32-bit register.
void arith_adc(int64_t operand)
{
    _reg.A = (int32_t)(_reg.A + operand);
    result_rule();
}

void arith_sbc(int64_t operand)
{
    _reg.A = (int32_t)(_reg.A - operand);
    result_rule();
}

void arith_and(int64_t operand)
{
    _reg.A = (int32_t)(_reg.A & operand);
    result_rule();
}

void arith_eor(int64_t operand)
{
    _reg.A = (int32_t)(_reg.A ^ operand);
    result_rule();
}

void arith_ora(int64_t operand)
{
    _reg.A = (int32_t)(_reg.A | operand);
    result_rule();
}

// A shift or rotation of the memory byte at v, or of the low byte of A for
// an immediate operand (whose value is then not used).
static void shift(int (*op)(int), int32_t v, bool on_a)
{
    if (on_a)
        _reg.A = op(_reg.A & 0xFF);
    else
        mem_write(v, op(mem_read(v)));
    result_rule();
}

static int shift_right(int byte)
{
    return (byte & 0xFF) >> 1;
}

void arith_asl(int32_t v, bool on_a)
{
    shift(do_asl, v, on_a);
}

void arith_rol(int32_t v, bool on_a)
{
    shift(do_rol, v, on_a);
}

void arith_ror(int32_t v, bool on_a)
{
    shift(do_ror, v, on_a);
}

// lsr of A is arithmetic: the sign bit is kept.
void arith_lsr(int32_t v, bool on_a)
{
    if (on_a) {
        _reg.A >>= 1;
        result_rule();
    } else {
        shift(shift_right, v, false);
    }
}
