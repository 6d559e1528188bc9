// The machine's reading of a document: its lexer fills the token table,
// its decoder works out every cell's code, and from that the model takes
// each token's role, its text's label, where each jump lands, and which
// tokens no pass can ever start at.
#include "model.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "decode.h"
#include "lex.h"
#include "parse.h"
#include "symtab.h"

// The source bytes of a token: a string up to its closing quote, a '#' or
// '$' token up to the byte that ended it, anything else its text's length.
static long long model_end(const std::string& source, const lex_note& n, const token* t)
{
    long long size = (long long)source.size();
    if (n.tok_type == TOK_STRING)
        return n.end >= 0 ? std::min(n.end + 1, size) : size;
    if (n.tok_type == TOK_IMMEDIATE || n.tok_type == TOK_HEX)
        return n.end >= 0 ? n.end : size;
    long long end = n.start + (long long)strlen(t->lexeme);
    if (n.cut)  // the rest of a long token is dropped, not gone
        while (end < size && !strchr(" \t\r\n;", source[(size_t)end]))
            end++;
    return std::min(end, size);
}

static bool model_after_jump(const token_cell* before)
{
    return before && before->tok->tok_type == TOK_WORD && sym_is_jump(before->tok->pcode);
}

// A label is the cell that label search finds for a text that some jump
// names; every other text's first occurrence is only a word.
static model_role model_role_of(int type, const token_cell* c, const token_cell* before, bool named)
{
    switch (type) {
    case TOK_WORD:
        if (model_after_jump(before))
            return ROLE_REFERENCE;
        if (c->tok->label == c && named)
            return ROLE_LABEL;
        return c->tok->pcode ? ROLE_INSTRUCTION : ROLE_WORD;
    case TOK_IMMEDIATE: return ROLE_IMMEDIATE;
    case TOK_HEX: return ROLE_ADDRESS;
    case TOK_DIGIT: return ROLE_NUMBER;
    case TOK_STRING: return ROLE_STRING;
    default: return ROLE_OTHER;
    }
}

static bool model_is_branch(int op)
{
    return op >= OP_BCC && op <= OP_BVS;
}

// Marks the tokens that some pass starts at or reads as its operand,
// following every way the cursor can go from the first statement.
static void model_reach(model_program& p, const std::vector<token_cell*>& cells,
                        const std::unordered_map<const token_cell*, int>& index, token_cell* start)
{
    std::vector<char> reached(cells.size(), 0), covered(cells.size(), 0);
    std::vector<int> todo;
    auto go = [&](const token_cell* c) {
        if (!c)
            return;
        int i = index.at(c);
        if (!reached[(size_t)i]) {
            reached[(size_t)i] = 1;
            todo.push_back(i);
        }
    };
    go(start);
    while (!todo.empty()) {
        int i = todo.back();
        todo.pop_back();
        token_cell* c = cells[(size_t)i];
        int op = c->code.op;
        covered[(size_t)i] = 1;
        if (op == OP_BRK)
            continue;
        if (op == OP_PASS || op == OP_RTS) {
            go(c->next_cell);
        } else if (op == OP_GOTO || model_is_branch(op) || op == OP_JSR) {
            if (c->next_cell && op == OP_GOTO)
                covered[(size_t)index.at(c->next_cell)] = 1;
            go(c->code.to);
            if (op != OP_GOTO)
                go(c->next_cell);  // not taken, or the return point
        } else {
            for (token_cell* k = c->next_cell; k && k != c->code.to; k = k->next_cell)
                covered[(size_t)index.at(k)] = 1;
            go(c->code.to);
        }
    }
    for (size_t i = 0; i < cells.size(); i++)
        p.tokens[i].passed = !covered[i];
}

model_program model_read(const std::string& source)
{
    model_program p;
    std::vector<lex_note> notes = mlex_source(source);
    parse_prepare();
    token_cell* start = lst;
    std::vector<token_cell*> cells;
    std::unordered_map<const token_cell*, int> index;
    for (token_cell* c = symbols.head; c; c = c->next_cell) {
        index[c] = (int)cells.size();
        cells.push_back(c);
    }
    std::unordered_map<const token*, int> first;
    std::unordered_set<const token*> named;
    for (size_t i = 1; i < cells.size(); i++)
        if (model_after_jump(cells[i - 1]))
            named.insert(cells[i]->tok);
    p.tokens.resize(cells.size());
    for (size_t i = 0; i < cells.size() && i < notes.size(); i++) {
        token_cell* c = cells[i];
        model_token& t = p.tokens[i];
        t.start = notes[i].start;
        t.end = model_end(source, notes[i], c->tok);
        t.text = c->tok->lexeme;
        t.type = notes[i].tok_type;
        t.first_type = c->tok->tok_type;
        auto [at, fresh] = first.emplace(c->tok, (int)i);
        t.first_start = p.tokens[(size_t)at->second].start;
        t.role = model_role_of(t.type, c, i ? cells[i - 1] : nullptr, named.count(c->tok) > 0);
        if (c->tok->label)
            t.label = index[c->tok->label];
        if (t.role == ROLE_LABEL)
            p.labels.push_back((int)i);
        t.jump = t.type == TOK_WORD && sym_is_jump(c->tok->pcode);
        t.numeric = decode_number(c->tok, t.number);
        if (t.type == TOK_WORD && c->tok->pcode && decode_searches(c->tok->pcode) && c->code.kind != OPERAND_NONE) {
            // The search leaves the cursor just past the token it found.
            int found = -1;
            for (token_cell* k = c->next_cell; k && k != c->code.to; k = k->next_cell)
                found = index[k];
            t.operand = found;
            t.value = c->code.value;
        }
        if (t.role == ROLE_REFERENCE) {
            token_cell* to = cells[i - 1]->code.to;
            t.lands = to ? index[to] : -1;
        }
    }
    for (size_t i = 0; i < p.tokens.size(); i++)
        if (p.tokens[i].operand >= 0)
            p.tokens[(size_t)p.tokens[i].operand].owner = (int)i;
    // The header's tokens are read, not passed over.
    model_reach(p, cells, index, start);
    for (size_t i = 0; i < cells.size() && cells[i] != start; i++)
        p.tokens[i].passed = false;
    sym_free(&symbols);
    sym_init(&symbols);
    return p;
}

int model_token_at(const model_program& p, long long at)
{
    auto after = std::upper_bound(p.tokens.begin(), p.tokens.end(), at,
                                  [](long long v, const model_token& t) { return v < t.start; });
    if (after == p.tokens.begin())
        return -1;
    int i = (int)(after - p.tokens.begin()) - 1;
    return at <= p.tokens[(size_t)i].end ? i : -1;
}

std::vector<int> model_same_text(const model_program& p, int i)
{
    std::vector<int> same;
    for (size_t k = 0; k < p.tokens.size(); k++)
        if (p.tokens[k].text == p.tokens[(size_t)i].text)
            same.push_back((int)k);
    return same;
}
