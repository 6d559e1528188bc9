// The arithmetic, logic and shift group and its byte helpers.
#pragma once

void do_arith(int pcode);
int do_asl(int byte);
int do_ror(int byte);
int do_rol(int byte);
int get_bit(int value, int position);
int set_bit(int value, int position);
