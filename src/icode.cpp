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
const opcode_entry code[] = {
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
