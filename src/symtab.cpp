// The token table: texts are interned in an unbalanced binary tree and every
// occurrence is appended to the program-order list. The tree can be as deep
// as the program is long (sorted texts make a chain), so it is walked with
// an explicit stack, never by recursion; known texts are found by hash and
// new texts find their place through an ordered index instead of a descent
// from the root.
#include "symtab.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <sys/mman.h>
#include <new>
#include <string_view>
#include <vector>

#include "icode.h"

symtab symbols;

void sym_out_of_memory()
{
    fputs("zorvik: out of memory\n", stderr);
    exit(1);
}

// Everything a table holds lives in its store: tokens, texts and cells come
// from arenas that sym_free releases as a whole, texts are found through a
// hash table, and an ordered index places each new text in the tree.
struct sym_arena {
    std::vector<char*> blocks;
    char* next = nullptr;
    size_t left = 0;
    size_t block_size = 4096;  // doubles up to ARENA_BLOCK_MAX as the table grows
};
constexpr size_t ARENA_BLOCK_MAX = 4 << 20;
constexpr size_t HUGE_PAGE = 2 << 20;

// A block of the arena. Large blocks are asked for in huge pages where the
// system offers them: a long program's cells then cost a few page faults
// instead of thousands.
static char* arena_block(size_t size)
{
    if (size >= HUGE_PAGE && size % HUGE_PAGE == 0) {
        void* p = aligned_alloc(HUGE_PAGE, size);
        if (p)
            madvise(p, size, MADV_HUGEPAGE);
        return (char*)p;
    }
    return (char*)malloc(size);
}

struct sym_store {
    sym_arena tokens;              // each token with its text right after it
    sym_arena cells;
    std::vector<token*> slots;     // open addressing by text hash; a power of two long
    size_t used = 0;
    // The texts in byte-wise order (as strcmp orders them). A descent from
    // the root costs the depth of the tree, which sorted texts make as long
    // as the program. In a binary search tree a new text always hangs below
    // its in-order neighbours: as the higher child of its predecessor when
    // that slot is free, otherwise as the lower child of its successor. So
    // the index gives the very tree a descent would build.
    std::map<std::string_view, token*> ordered;
};

static void* arena_alloc(sym_arena& a, size_t size, size_t align)
{
    size_t pad = (align - (uintptr_t)a.next % align) % align;
    if (!a.next || pad + size > a.left) {
        size_t block = std::max(a.block_size, size);
        a.block_size = std::min(a.block_size * 2, ARENA_BLOCK_MAX);
        char* p = arena_block(block);
        if (!p)
            sym_out_of_memory();
        a.blocks.push_back(p);
        a.next = p;
        a.left = block;
        pad = 0;
    }
    char* p = a.next + pad;
    a.next = p + size;
    a.left -= pad + size;
    return p;
}

static void arena_release(sym_arena& a)
{
    for (char* p : a.blocks)
        free(p);
    a.blocks.clear();
}

// FNV-1a over the text's bytes; also gives the text's length.
static uint32_t text_hash(const char* text, size_t& len)
{
    uint32_t h = 2166136261u;
    const char* p = text;
    for (; *p; p++)
        h = (h ^ (uint8_t)*p) * 16777619u;
    len = (size_t)(p - text);
    return h;
}

static token** slot_of(sym_store* s, const char* text, uint32_t hash)
{
    size_t mask = s->slots.size() - 1;
    size_t i = hash & mask;
    while (s->slots[i] && strcmp(s->slots[i]->lexeme, text) != 0)
        i = (i + 1) & mask;
    return &s->slots[i];
}

// Enters a new text into the hash table and the ordered index; `at` is its
// successor in the index, where it goes.
static void store_insert(sym_store* s, token* n, std::map<std::string_view, token*>::iterator at)
{
    if ((s->used + 1) * 2 > s->slots.size()) {
        std::vector<token*> old(std::max<size_t>(64, s->slots.size() * 2), nullptr);
        old.swap(s->slots);
        size_t len;
        for (token* m : old)
            if (m)
                *slot_of(s, m->lexeme, text_hash(m->lexeme, len)) = m;
    }
    size_t len;
    *slot_of(s, n->lexeme, text_hash(n->lexeme, len)) = n;
    s->used++;
    s->ordered.emplace_hint(at, n->lexeme, n);
}

// The store of a table, made on its first text. A tree that was built
// without one is indexed as it stands.
static sym_store* store_for(symtab* t)
{
    if (t->store)
        return t->store;
    sym_store* s = new (std::nothrow) sym_store;
    if (!s)
        sym_out_of_memory();
    t->store = s;
    std::vector<token*> pending;
    if (t->root)
        pending.push_back(t->root);
    while (!pending.empty()) {
        token* n = pending.back();
        pending.pop_back();
        store_insert(s, n, s->ordered.lower_bound(n->lexeme));
        if (n->lower)
            pending.push_back(n->lower);
        if (n->higher)
            pending.push_back(n->higher);
    }
    return s;
}

void sym_init(symtab* t)
{
    t->root = nullptr;
    t->head = nullptr;
    t->tail = nullptr;
    t->token_count = 0;
    t->store = nullptr;
    t->decoded = false;
}

static token* new_token(sym_store* s, char* text, size_t len, int tok_type, int column, int line,
                        int scope)
{
    token* n = (token*)arena_alloc(s->tokens, sizeof(token) + len + 1, alignof(token));
    n->lexeme = (char*)(n + 1);
    memcpy(n->lexeme, text, len + 1);
    n->tok_type = tok_type;
    n->column = column;
    n->line = line;
    n->scope = scope;
    n->lower = nullptr;
    n->higher = nullptr;
    n->label = nullptr;
    // The copy keeps the source's case; the p-code is found without regard to it.
    n->pcode = trans_opcode(text);
    return n;
}

static void append_cell(symtab* t, token* n)
{
    token_cell* c = (token_cell*)arena_alloc(t->store->cells, sizeof(token_cell),
                                             alignof(token_cell));
    // The first occurrence of a text that does not directly follow a jump or
    // branch mnemonic is its label, as sym_list_look finds it.
    if (!n->label && !(t->tail && sym_is_jump(t->tail->tok->pcode)))
        n->label = c;
    c->tok = n;
    c->next_cell = nullptr;
    c->code = cell_code{};
    c->number = (uint32_t)t->token_count;
    if (t->tail)
        t->tail->next_cell = c;
    else
        t->head = c;
    t->tail = c;
    t->token_count++;
    t->decoded = false;
}

// A new text is placed in the tree next to its in-order neighbours (see
// sym_store), found in the ordered index; a known text is found by hash.
static void hang_in_tree(symtab* t, sym_store* s, token* n,
                         std::map<std::string_view, token*>::iterator next)
{
    token* prev = next == s->ordered.begin() ? nullptr : std::prev(next)->second;
    if (!t->root)
        t->root = n;
    else if (prev && !prev->higher)
        prev->higher = n;
    else
        next->second->lower = n;
}

token* sym_add(symtab* t, char* text, int tok_type, int column, int line, int scope)
{
    sym_store* s = store_for(t);
    size_t len;
    uint32_t hash = text_hash(text, len);
    token* n = s->slots.empty() ? nullptr : *slot_of(s, text, hash);
    if (!n) {
        n = new_token(s, text, len, tok_type, column, line, scope);
        auto next = s->ordered.lower_bound(n->lexeme);
        hang_in_tree(t, s, n, next);
        store_insert(s, n, next);
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

// Tokens, texts and cells all live in the table's arenas, so the release
// costs one free per block, however long the program.
void sym_free(symtab* t)
{
    if (!t->store)
        return;
    arena_release(t->store->tokens);
    arena_release(t->store->cells);
    delete t->store;
    t->store = nullptr;
    t->decoded = false;
}

// The p-codes whose operand is a label: an occurrence right after one of
// them is a reference, not the label's definition.
const int jmp_types[] = {P_JMP, P_JSR, P_BNE, P_BEQ, P_BCC, P_BCS, P_BVC, P_BVS, P_BPL, P_BMI, 0};

// jmp_types as a table by p-code, since every appended cell asks.
static const std::array<bool, 64> jump_pcodes = [] {
    std::array<bool, 64> jumps{};
    for (const int* j = jmp_types; *j; j++)
        jumps[*j] = true;
    return jumps;
}();

bool sym_is_jump(int pcode)
{
    return pcode >= 0 && pcode < 64 && jump_pcodes[pcode];
}

token_cell* sym_list_look(symtab*, token_cell* head, const char* text)
{
    token_cell* prev = nullptr;
    for (token_cell* c = head; c; prev = c, c = c->next_cell) {
        if (strcmp(c->tok->lexeme, text) == 0 && !(prev && sym_is_jump(prev->tok->pcode)))
            return c;
    }
    return nullptr;
}
