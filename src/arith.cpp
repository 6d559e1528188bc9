// The arithmetic, logic and shift group.
#include "arith.h"

void do_arith(int)
{
}

int do_asl(int byte) { return (byte << 1) & 0xFF; }
int do_ror(int byte) { return byte & 0xFF; }
int do_rol(int byte) { return byte & 0xFF; }
int get_bit(int value, int position) { return ((value & 0xFF) >> position) & 1; }
int set_bit(int value, int position) { return (value & 0xFF) | (1 << position); }
