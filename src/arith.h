// The arithmetic, logic and shift group and its byte helpers.
#pragma once
#include <cstdint>

// One routine per instruction, each followed by the result rule that D
// selects. The operand of adc, sbc, and, eor and ora is the memory byte or
// the immediate number itself; a shift works on memory[v], or on A when
// on_a (an immediate operand, whose value is then not used).
void arith_adc(int64_t operand);
void arith_sbc(int64_t operand);
void arith_and(int64_t operand);
void arith_eor(int64_t operand);
void arith_ora(int64_t operand);
void arith_asl(int32_t v, bool on_a);
void arith_lsr(int32_t v, bool on_a);
void arith_rol(int32_t v, bool on_a);
void arith_ror(int32_t v, bool on_a);

int do_asl(int byte);
int do_ror(int byte);
int do_rol(int byte);
int get_bit(int value, int position);
int set_bit(int value, int position);
