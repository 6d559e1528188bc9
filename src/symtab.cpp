// The token table: texts are interned in an unbalanced binary tree and every
// occurrence is appended to the program-order list. The tree can be as deep
// as the program is long (sorted texts make a chain), so it is walked with
// an explicit stack, never by recursion, and new texts find their place
// through an ordered index instead of a descent from the root.
#include "symtab.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <string_view>
#include <vector>

#include "icode.h"

symtab symbols;

void sym_out_of_memory()
{
    fputs("zorvik: out of memory\n", stderr);
    exit(1);
}

static void* sym_alloc(size_t size)
{
    void* p = malloc(size);
    if (!p)
        sym_out_of_memory();
    return p;
}

void sym_init(symtab* t)
{
    t->root = nullptr;
    t->head = nullptr;
    t->tail = nullptr;
    t->token_count = 0;
}

static token* new_token(char* text, int tok_type, int column, int line, int scope)
{
    token* n = (token*)sym_alloc(sizeof(token));
    size_t len = strlen(text);
    n->lexeme = (char*)sym_alloc(len + 1);
    memcpy(n->lexeme, text, len + 1);
    n->tok_type = tok_type;
    n->column = column;
    n->line = line;
    n->scope = scope;
    n->lower = nullptr;
    n->higher = nullptr;
    // The copy keeps the source's case; the p-code is found without regard to it.
    n->pcode = trans_opcode(text);
    return n;
}

static void append_cell(symtab* t, token* n)
{
    token_cell* c = (token_cell*)sym_alloc(sizeof(token_cell));
    c->tok = n;
    c->next_cell = nullptr;
    if (t->tail)
        t->tail->next_cell = c;
    else
        t->head = c;
    t->tail = c;
    t->token_count++;
}

// An ordered index over the tree's texts (byte-wise, as strcmp orders them).
// A descent from the root costs the depth of the tree, which sorted texts
// make as long as the program. In a binary search tree a new text always
// hangs below its in-order neighbours: as the higher child of its
// predecessor when that slot is free, otherwise as the lower child of its
// successor. So the index gives the very tree a descent would build.
struct sym_index {
    const symtab* owner = nullptr;
    std::map<std::string_view, token*> texts;
};
static sym_index index_of_table;

static std::map<std::string_view, token*>& index_for(symtab* t)
{
    sym_index& ix = index_of_table;
    if (ix.owner != t || !t->root) {
        ix.owner = t;
        ix.texts.clear();
        std::vector<token*> pending;
        if (t->root)
            pending.push_back(t->root);
        while (!pending.empty()) {
            token* n = pending.back();
            pending.pop_back();
            ix.texts.emplace(n->lexeme, n);
            if (n->lower)
                pending.push_back(n->lower);
            if (n->higher)
                pending.push_back(n->higher);
        }
    }
    return ix.texts;
}

token* sym_add(symtab* t, char* text, int tok_type, int column, int line, int scope)
{
    auto& texts = index_for(t);
    auto next = texts.lower_bound(text);
    token* n;
    if (next != texts.end() && next->first == text) {
        n = next->second;
    } else {
        n = new_token(text, tok_type, column, line, scope);
        token* prev = next == texts.begin() ? nullptr : std::prev(next)->second;
        if (!t->root)
            t->root = n;
        else if (prev && !prev->higher)
            prev->higher = n;
        else
            next->second->lower = n;
        texts.emplace_hint(next, n->lexeme, n);
    }
    append_cell(t, n);
    return n;
}

token* sym_look(token** link, const char* text)
{
    token* n = *link;
    while (n) {
        int cmp = strcmp(n->lexeme, text);
        if (cmp == 0)
            return n;
        n = cmp > 0 ? n->lower : n->higher;
    }
    return nullptr;
}

const char* trans_type(int tok_type)
{
    switch (tok_type) {
    case 4: return "Symbol";
    case 5: return "Word";
    case 6: return "Digit";
    case 7: return "String";
    default: return "";
    }
}

// In-order walk: lower subtree, the token, higher subtree.
void node_print(token* n)
{
    std::vector<token*> pending;
    while (n || !pending.empty()) {
        while (n) {
            pending.push_back(n);
            n = n->lower;
        }
        n = pending.back();
        pending.pop_back();
        printf("token [%s] of type [%s] with opcode [%x] at position %d,%d scope[%d]\n",
               n->lexeme, trans_type(n->tok_type), n->pcode, n->column, n->line, n->scope);
        n = n->higher;
    }
}

void list_print(token_cell* c)
{
    for (; c; c = c->next_cell)
        printf("%s\n", c->tok->lexeme);
}

void sym_print(symtab* t)
{
    printf("symbols:\n");
    node_print(t->root);
    printf("tokens [%d]\n", t->token_count);
    list_print(t->head);
}

void node_free(token* n)
{
    std::vector<token*> pending;
    if (n)
        pending.push_back(n);
    while (!pending.empty()) {
        token* m = pending.back();
        pending.pop_back();
        if (m->lower)
            pending.push_back(m->lower);
        if (m->higher)
            pending.push_back(m->higher);
        free(m->lexeme);
        free(m);
    }
}

void list_free(token_cell* c)
{
    while (c) {
        token_cell* next = c->next_cell;
        free(c);
        c = next;
    }
}

void sym_free(symtab* t)
{
    if (index_of_table.owner == t) {
        index_of_table.owner = nullptr;
        index_of_table.texts.clear();
    }
    node_free(t->root);
    list_free(t->head);
}

// The p-codes whose operand is a label: an occurrence right after one of
// them is a reference, not the label's definition.
const int jmp_types[] = {P_JMP, P_JSR, P_BNE, P_BEQ, P_BCC, P_BCS, P_BVC, P_BVS, P_BPL, P_BMI, 0};

static bool is_jump(int pcode)
{
    for (const int* j = jmp_types; *j; j++)
        if (*j == pcode)
            return true;
    return false;
}

token_cell* sym_list_look(symtab*, token_cell* head, const char* text)
{
    token_cell* prev = nullptr;
    for (token_cell* c = head; c; prev = c, c = c->next_cell) {
        if (strcmp(c->tok->lexeme, text) == 0 && !(prev && is_jump(prev->tok->pcode)))
            return c;
    }
    return nullptr;
}
