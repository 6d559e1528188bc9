// Instruction codes: the mnemonic table that numbers the instructions
// (p-codes) and the 6502 opcode table that the HTML listing shows.
#include "icode.h"

#include <cstring>

#include "symtab.h"

const char* const op_array[60] = {
    nullptr,
    "adc", "and", "asl", "bcc", "bcs", "beq", "bit", "bmi", "bne", "bpl",
    "brk", "bvc", "bvs", "clc", "cld", "cli", "clv", "cmp", "cpx", "cpy",
    "dec", "dex", "dey", "eor", "inc", "int", "inx", "iny", "jmp", "jsr",
    "lda", "ldm", "ldx", "ldy", "lsr", "nop", "ora", "pha", "php", "pla",
    "plp", "rol", "ror", "rti", "rts", "sbc", "sec", "sed", "sei", "sta",
    "stx", "sty", "tax", "tay", "tsx", "txa", "txs", "tya",
    nullptr,
};

void strlower(char* s)
{
    for (; *s; s++)
        if (*s >= 'A' && *s <= 'Z')
            *s = (char)(*s - 'A' + 'a');
}

int trans_opcode(char* text)
{
    strlower(text);
    // Every mnemonic has three letters: other texts need no comparison.
    if (strlen(text) != 3)
        return 0;
    for (int i = 1; op_array[i]; i++)
        if (strcmp(op_array[i], text) == 0)
            return i;
    return 0;
}

// Address-mode numbers used by the table below.
enum {
    AM_IMMEDIATE = 1, AM_ZERO_PAGE, AM_ZERO_PAGE_X, AM_ZERO_PAGE_Y, AM_ABSOLUTE,
    AM_ABSOLUTE_X, AM_ABSOLUTE_Y, AM_IMPLIED, AM_RELATIVE, AM_INDIRECT_INDEX,
    AM_INDEXED_INDIRECT, AM_ACCUMULATOR, AM_INDIRECT,
};

// The 6502 instruction set, grouped by p-code; ended by an all-zero row.
// The NMOS opcode of every pairing of a mnemonic with an addressing mode;
// int and ldm are not 6502 instructions and have no rows.
const opcode_entry code[] = {
    // adc
    {0x69, AM_IMMEDIATE, P_ADC}, {0x65, AM_ZERO_PAGE, P_ADC}, {0x75, AM_ZERO_PAGE_X, P_ADC},
    {0x6d, AM_ABSOLUTE, P_ADC}, {0x7d, AM_ABSOLUTE_X, P_ADC}, {0x79, AM_ABSOLUTE_Y, P_ADC},
    {0x61, AM_INDEXED_INDIRECT, P_ADC}, {0x71, AM_INDIRECT_INDEX, P_ADC},
    // and
    {0x29, AM_IMMEDIATE, P_AND}, {0x25, AM_ZERO_PAGE, P_AND}, {0x35, AM_ZERO_PAGE_X, P_AND},
    {0x2d, AM_ABSOLUTE, P_AND}, {0x3d, AM_ABSOLUTE_X, P_AND}, {0x39, AM_ABSOLUTE_Y, P_AND},
    {0x21, AM_INDEXED_INDIRECT, P_AND}, {0x31, AM_INDIRECT_INDEX, P_AND},
    // asl
    {0x0a, AM_ACCUMULATOR, P_ASL}, {0x06, AM_ZERO_PAGE, P_ASL}, {0x16, AM_ZERO_PAGE_X, P_ASL},
    {0x0e, AM_ABSOLUTE, P_ASL}, {0x1e, AM_ABSOLUTE_X, P_ASL},
    // bcc, bcs, beq
    {0x90, AM_RELATIVE, P_BCC},
    {0xb0, AM_RELATIVE, P_BCS},
    {0xf0, AM_RELATIVE, P_BEQ},
    // bit
    {0x24, AM_ZERO_PAGE, P_BIT}, {0x2c, AM_ABSOLUTE, P_BIT},
    // bmi, bne, bpl, brk, bvc, bvs, clc, cld, cli, clv
    {0x30, AM_RELATIVE, P_BMI},
    {0xd0, AM_RELATIVE, P_BNE},
    {0x10, AM_RELATIVE, P_BPL},
    {0x00, AM_IMPLIED, P_BRK},
    {0x50, AM_RELATIVE, P_BVC},
    {0x70, AM_RELATIVE, P_BVS},
    {0x18, AM_IMPLIED, P_CLC},
    {0xd8, AM_IMPLIED, P_CLD},
    {0x58, AM_IMPLIED, P_CLI},
    {0xb8, AM_IMPLIED, P_CLV},
    // cmp
    {0xc9, AM_IMMEDIATE, P_CMP}, {0xc5, AM_ZERO_PAGE, P_CMP}, {0xd5, AM_ZERO_PAGE_X, P_CMP},
    {0xcd, AM_ABSOLUTE, P_CMP}, {0xdd, AM_ABSOLUTE_X, P_CMP}, {0xd9, AM_ABSOLUTE_Y, P_CMP},
    {0xc1, AM_INDEXED_INDIRECT, P_CMP}, {0xd1, AM_INDIRECT_INDEX, P_CMP},
    // cpx, cpy
    {0xe0, AM_IMMEDIATE, P_CPX}, {0xe4, AM_ZERO_PAGE, P_CPX}, {0xec, AM_ABSOLUTE, P_CPX},
    {0xc0, AM_IMMEDIATE, P_CPY}, {0xc4, AM_ZERO_PAGE, P_CPY}, {0xcc, AM_ABSOLUTE, P_CPY},
    // dec
    {0xc6, AM_ZERO_PAGE, P_DEC}, {0xd6, AM_ZERO_PAGE_X, P_DEC},
    {0xce, AM_ABSOLUTE, P_DEC}, {0xde, AM_ABSOLUTE_X, P_DEC},
    // dex, dey
    {0xca, AM_IMPLIED, P_DEX},
    {0x88, AM_IMPLIED, P_DEY},
    // eor
    {0x49, AM_IMMEDIATE, P_EOR}, {0x45, AM_ZERO_PAGE, P_EOR}, {0x55, AM_ZERO_PAGE_X, P_EOR},
    {0x4d, AM_ABSOLUTE, P_EOR}, {0x5d, AM_ABSOLUTE_X, P_EOR}, {0x59, AM_ABSOLUTE_Y, P_EOR},
    {0x41, AM_INDEXED_INDIRECT, P_EOR}, {0x51, AM_INDIRECT_INDEX, P_EOR},
    // inc
    {0xe6, AM_ZERO_PAGE, P_INC}, {0xf6, AM_ZERO_PAGE_X, P_INC},
    {0xee, AM_ABSOLUTE, P_INC}, {0xfe, AM_ABSOLUTE_X, P_INC},
    // inx, iny
    {0xe8, AM_IMPLIED, P_INX},
    {0xc8, AM_IMPLIED, P_INY},
    // jmp, jsr
    {0x4c, AM_ABSOLUTE, P_JMP}, {0x6c, AM_INDIRECT, P_JMP},
    {0x20, AM_ABSOLUTE, P_JSR},
    // lda
    {0xa9, AM_IMMEDIATE, P_LDA}, {0xa5, AM_ZERO_PAGE, P_LDA}, {0xb5, AM_ZERO_PAGE_X, P_LDA},
    {0xad, AM_ABSOLUTE, P_LDA}, {0xbd, AM_ABSOLUTE_X, P_LDA}, {0xb9, AM_ABSOLUTE_Y, P_LDA},
    {0xa1, AM_INDEXED_INDIRECT, P_LDA}, {0xb1, AM_INDIRECT_INDEX, P_LDA},
    // ldx, ldy
    {0xa2, AM_IMMEDIATE, P_LDX}, {0xa6, AM_ZERO_PAGE, P_LDX}, {0xb6, AM_ZERO_PAGE_Y, P_LDX},
    {0xae, AM_ABSOLUTE, P_LDX}, {0xbe, AM_ABSOLUTE_Y, P_LDX},
    {0xa0, AM_IMMEDIATE, P_LDY}, {0xa4, AM_ZERO_PAGE, P_LDY}, {0xb4, AM_ZERO_PAGE_X, P_LDY},
    {0xac, AM_ABSOLUTE, P_LDY}, {0xbc, AM_ABSOLUTE_X, P_LDY},
    // lsr
    {0x4a, AM_ACCUMULATOR, P_LSR}, {0x46, AM_ZERO_PAGE, P_LSR}, {0x56, AM_ZERO_PAGE_X, P_LSR},
    {0x4e, AM_ABSOLUTE, P_LSR}, {0x5e, AM_ABSOLUTE_X, P_LSR},
    // nop
    {0xea, AM_IMPLIED, P_NOP},
    // ora
    {0x09, AM_IMMEDIATE, P_ORA}, {0x05, AM_ZERO_PAGE, P_ORA}, {0x15, AM_ZERO_PAGE_X, P_ORA},
    {0x0d, AM_ABSOLUTE, P_ORA}, {0x1d, AM_ABSOLUTE_X, P_ORA}, {0x19, AM_ABSOLUTE_Y, P_ORA},
    {0x01, AM_INDEXED_INDIRECT, P_ORA}, {0x11, AM_INDIRECT_INDEX, P_ORA},
    // pha, php, pla, plp
    {0x48, AM_IMPLIED, P_PHA},
    {0x08, AM_IMPLIED, P_PHP},
    {0x68, AM_IMPLIED, P_PLA},
    {0x28, AM_IMPLIED, P_PLP},
    // rol, ror
    {0x2a, AM_ACCUMULATOR, P_ROL}, {0x26, AM_ZERO_PAGE, P_ROL}, {0x36, AM_ZERO_PAGE_X, P_ROL},
    {0x2e, AM_ABSOLUTE, P_ROL}, {0x3e, AM_ABSOLUTE_X, P_ROL},
    {0x6a, AM_ACCUMULATOR, P_ROR}, {0x66, AM_ZERO_PAGE, P_ROR}, {0x76, AM_ZERO_PAGE_X, P_ROR},
    {0x6e, AM_ABSOLUTE, P_ROR}, {0x7e, AM_ABSOLUTE_X, P_ROR},
    // rti, rts
    {0x40, AM_IMPLIED, P_RTI},
    {0x60, AM_IMPLIED, P_RTS},
    // sbc
    {0xe9, AM_IMMEDIATE, P_SBC}, {0xe5, AM_ZERO_PAGE, P_SBC}, {0xf5, AM_ZERO_PAGE_X, P_SBC},
    {0xed, AM_ABSOLUTE, P_SBC}, {0xfd, AM_ABSOLUTE_X, P_SBC}, {0xf9, AM_ABSOLUTE_Y, P_SBC},
    {0xe1, AM_INDEXED_INDIRECT, P_SBC}, {0xf1, AM_INDIRECT_INDEX, P_SBC},
    // sec, sed, sei
    {0x38, AM_IMPLIED, P_SEC},
    {0xf8, AM_IMPLIED, P_SED},
    {0x78, AM_IMPLIED, P_SEI},
    // sta
    {0x85, AM_ZERO_PAGE, P_STA}, {0x95, AM_ZERO_PAGE_X, P_STA},
    {0x8d, AM_ABSOLUTE, P_STA}, {0x9d, AM_ABSOLUTE_X, P_STA}, {0x99, AM_ABSOLUTE_Y, P_STA},
    {0x81, AM_INDEXED_INDIRECT, P_STA}, {0x91, AM_INDIRECT_INDEX, P_STA},
    // stx, sty
    {0x86, AM_ZERO_PAGE, P_STX}, {0x96, AM_ZERO_PAGE_Y, P_STX}, {0x8e, AM_ABSOLUTE, P_STX},
    {0x84, AM_ZERO_PAGE, P_STY}, {0x94, AM_ZERO_PAGE_X, P_STY}, {0x8c, AM_ABSOLUTE, P_STY},
    // tax, tay, tsx, txa, txs, tya
    {0xaa, AM_IMPLIED, P_TAX},
    {0xa8, AM_IMPLIED, P_TAY},
    {0xba, AM_IMPLIED, P_TSX},
    {0x8a, AM_IMPLIED, P_TXA},
    {0x9a, AM_IMPLIED, P_TXS},
    {0x98, AM_IMPLIED, P_TYA},
    {0, 0, 0},
};

int get_machine_opcode(token_cell* cell, int* mode)
{
    int pcode = cell->tok->pcode;
    for (const opcode_entry* r = code; r->pcode; r++) {
        if (r->pcode == pcode &&
            (r->admode == *mode || r->admode == AM_IMPLIED || r->admode == AM_RELATIVE)) {
            *mode = r->admode;
            return r->opcode;
        }
    }
    return 0;
}

const char* trans_admode(int mode)
{
    switch (mode) {
    case AM_IMMEDIATE: return "Immediate";
    case AM_ZERO_PAGE: return "Zero Page";
    case AM_ZERO_PAGE_X: return "Zero Page (X)";
    case AM_ZERO_PAGE_Y: return "Zero Page (Y)";
    case AM_ABSOLUTE: return "*Absoulte*";
    case AM_ABSOLUTE_X: return "Absoulte X";
    case AM_ABSOLUTE_Y: return "Absoulte Y";
    case AM_IMPLIED: return "Implied";
    case AM_RELATIVE: return "Realtive";
    case AM_INDIRECT_INDEX: return "Indirect Index";
    case AM_INDEXED_INDIRECT: return "Indexed Indirect";
    case AM_ACCUMULATOR: return "Accumulator";
    default: return "Null";
    }
}
