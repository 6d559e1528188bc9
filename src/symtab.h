// The token table: one interned record per distinct text in a binary tree,
// and the program-order list of occurrences that the machine executes.
#pragma once
#include "decode.h"

struct sym_store;

struct token {
    char* lexeme;   // own copy of the text, in the source's letter case
    int tok_type;   // type of the first occurrence
    int column;
    int line;
    int scope;
    int pcode;      // mnemonic number, 0 for any other text
    token* lower;
    token* higher;
    token_cell* label;  // the cell label search finds for this text, kept as the list grows
};

struct token_cell {
    token* tok;
    token_cell* next_cell;
    cell_code code;     // what a pass starting here does; set by the decoder
    uint32_t number;    // its place in the list, from 0: where counting runs count it
#ifdef ZORVIK_WEB
    uint32_t straight;  // statements a run passes from here before it can jump (decode.cpp)
#endif
};

struct symtab {
    token* root;
    token_cell* head;
    token_cell* tail;
    int token_count;
    sym_store* store;   // the table's arenas and text index, released by sym_free
    bool decoded;       // the cells' code matches the list as it is now
};

extern symtab symbols;
extern const int jmp_types[];

void sym_init(symtab* t);
token* sym_add(symtab* t, char* text, int tok_type, int column, int line, int scope);
token* sym_look(token** link, const char* text);
void sym_print(symtab* t);
void node_print(token* n);
void list_print(token_cell* c);
const char* trans_type(int tok_type);
void sym_free(symtab* t);
token_cell* sym_list_look(symtab* table, token_cell* head, const char* text);
// Whether an instruction's operand is a label (its p-code is in jmp_types).
bool sym_is_jump(int pcode);

// Reports that memory ran out and ends the process with status 1.
[[noreturn]] void sym_out_of_memory();
