// The program listings written after a run: debug.html, one table row per
// mnemonic with its 6502 machine opcode, and the flat icode file.
#include "listing.h"

#include <cstdint>
#include <cstdio>

#include "icode.h"
#include "symtab.h"

// Every mnemonic is looked up as an absolute-addressed instruction; the
// search turns that into implied or relative where the mnemonic has no
// absolute form.
constexpr int LISTING_ABSOLUTE = 5;

static const char LISTING_HEAD[] =
    "<HTML> <TITLE> Zorvik 800 Debug Output </TITLE> <BR> "
    "<TABLE BORDER=2>"
    "<TR> <TH> <b>Machine Instruction <TH> P-code <TH> Mnemoic <TH> Operand <TH> Address Mode</b></TR>";
static const char LISTING_TAIL[] = "</TABLE><BR></HTML>";

// Token texts come from the program's source, so they are written as text,
// never as markup: a program's own strings must not become tags or script.
static void listing_text(FILE* f, const char* s)
{
    for (; *s; s++) {
        switch (*s) {
        case '&': fputs("&amp;", f); break;
        case '<': fputs("&lt;", f); break;
        case '>': fputs("&gt;", f); break;
        case '"': fputs("&quot;", f); break;
        case '\'': fputs("&#39;", f); break;
        default: fputc(*s, f); break;
        }
    }
}

// Writes the row of the mnemonic at cell; yields the cell after it and
// after its operand, if it has one.
static token_cell* listing_row(FILE* f, token_cell* cell)
{
    int mode = LISTING_ABSOLUTE;
    int opcode = get_machine_opcode(cell, &mode);
    fprintf(f, "<TR><TH> 0x%x<TH> 0x%x <TH> ", opcode, cell->tok->pcode);
    listing_text(f, cell->tok->lexeme);
    fputs(" ", f);
    token_cell* next = cell->next_cell;
    if (next && next->tok->pcode == 0) {
        fputs("<TH> ", f);
        listing_text(f, next->tok->lexeme);
        fputs(" ", f);
        next = next->next_cell;
    } else {
        fputs("<TH> no operand ", f);
    }
    fprintf(f, "<TH> %s</TR>", trans_admode(mode));
    return next;
}

// The whole listing is one line; tokens that are not mnemonics get no row.
void build_debug(const char* path)
{
    FILE* f = fopen(path, "wb");
    if (!f)
        return;
    fputs(LISTING_HEAD, f);
    token_cell* cell = symbols.head;
    while (cell) {
        if (cell->tok->pcode)
            cell = listing_row(f, cell);
        else
            cell = cell->next_cell;
    }
    fputs(LISTING_TAIL, f);
    fclose(f);
}

// The decimal value at the start of a text: leading blanks, an optional
// sign, then digits; 0 when the text does not begin with a number. Long
// digit runs wrap modulo 2^32 instead of overflowing.
static int32_t listing_number(const char* s)
{
    while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
        s++;
    bool negative = *s == '-';
    if (*s == '-' || *s == '+')
        s++;
    uint32_t value = 0;
    for (; *s >= '0' && *s <= '9'; s++)
        value = value * 10u + (uint32_t)(*s - '0');
    return (int32_t)(negative ? 0u - value : value);
}

// Little-endian whatever the host, so the file reads the same everywhere.
static void listing_put32(FILE* f, int32_t value)
{
    uint32_t v = (uint32_t)value;
    unsigned char bytes[4] = {(unsigned char)v, (unsigned char)(v >> 8), (unsigned char)(v >> 16),
                              (unsigned char)(v >> 24)};
    fwrite(bytes, 1, sizeof bytes, f);
}

// The token count, then per cell its p-code or, for a non-mnemonic, the
// number its text begins with.
void build_icode(const char* path)
{
    FILE* f = fopen(path, "wb");
    if (!f)
        return;
    listing_put32(f, symbols.token_count);
    for (token_cell* c = symbols.head; c; c = c->next_cell) {
        int pcode = c->tok->pcode;
        listing_put32(f, pcode ? pcode : listing_number(c->tok->lexeme));
    }
    fclose(f);
}
