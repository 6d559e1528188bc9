// Instruction codes: the mnemonic numbering (p-codes) and the table of 6502
// machine opcodes shown by the HTML listing.
#pragma once
#include <cstdint>

struct token_cell;

// p-codes of the mnemonics, their entry numbers in op_array.
enum {
    P_ADC = 1, P_AND, P_ASL, P_BCC, P_BCS, P_BEQ, P_BIT, P_BMI, P_BNE, P_BPL,
    P_BRK, P_BVC, P_BVS, P_CLC, P_CLD, P_CLI, P_CLV, P_CMP, P_CPX, P_CPY,
    P_DEC, P_DEX, P_DEY, P_EOR, P_INC, P_INT, P_INX, P_INY, P_JMP, P_JSR,
    P_LDA, P_LDM, P_LDX, P_LDY, P_LSR, P_NOP, P_ORA, P_PHA, P_PHP, P_PLA,
    P_PLP, P_ROL, P_ROR, P_RTI, P_RTS, P_SBC, P_SEC, P_SED, P_SEI, P_STA,
    P_STX, P_STY, P_TAX, P_TAY, P_TSX, P_TXA, P_TXS, P_TYA,
};

extern const char* const op_array[60];

int trans_opcode(char* text);
void strlower(char* s);

struct opcode_entry {
    uint8_t opcode;
    int admode;
    int pcode;
};

extern const opcode_entry code[];

int get_machine_opcode(token_cell* cell, int* mode);
const char* trans_admode(int mode);
