// Debugger expressions: numbers as the language spells them ($2a, 42), the
// registers A, X and Y, the flags N V B D I Z C, memory bytes [EXPR], and
// C's operators with C's precedence. An expression is compiled once into a
// short postfix code, so that a condition tested at every pass of a loop
// costs a few steps.
#include <cctype>
#include <climits>
#include <cstring>

#include "debugger.h"
#include "machine.h"

enum expr_op : int64_t {
    E_CONST, E_A, E_X, E_Y, E_FLAG, E_MEM,
    E_NEG, E_NOT, E_BNOT,
    E_MUL, E_DIV, E_MOD, E_ADD, E_SUB,
    E_LT, E_LE, E_GT, E_GE, E_EQ, E_NE,
    E_BAND, E_XOR, E_BOR, E_LAND, E_LOR,
};

constexpr int EXPR_STACK = 64;   // deepest value stack a compiled expression may need
constexpr int EXPR_NESTING = 100;

struct expr_parser {
    const std::string& text;
    size_t at = 0;
    dbg_expr& out;
    std::string error;
    size_t error_at = 0;
    int depth = 0;       // value stack depth the code reaches so far
    int nesting = 0;
};

static void skip_blanks(expr_parser& p)
{
    while (p.at < p.text.size() && isspace((unsigned char)p.text[p.at]))
        p.at++;
}

static bool fail(expr_parser& p, const std::string& why)
{
    if (p.error.empty()) {
        p.error = why;
        p.error_at = p.at;
    }
    return false;
}

static void emit(expr_parser& p, int64_t op, int pushes)
{
    p.out.code.push_back(op);
    p.depth += pushes;
    if (p.depth > p.out.stack)
        p.out.stack = p.depth;
}

static bool parse_binary(expr_parser& p, int level);

static bool parse_number(expr_parser& p)
{
    bool hex = p.text[p.at] == '$';
    size_t start = p.at + (hex ? 1 : 0), end = start;
    while (end < p.text.size() && (hex ? isxdigit((unsigned char)p.text[end]) : isdigit((unsigned char)p.text[end])))
        end++;
    if (end == start) {
        p.at = start;
        return fail(p, "a hex digit must follow '$'");
    }
    if (end < p.text.size() && isalnum((unsigned char)p.text[end])) {
        p.at = end;
        return fail(p, hex ? "not a hex digit" : "not a decimal digit (write hex numbers with '$')");
    }
    uint64_t v = 0;
    for (size_t i = start; i < end; i++) {
        char c = p.text[i];
        v = v * (hex ? 16 : 10) + (uint64_t)(isdigit((unsigned char)c) ? c - '0' : tolower(c) - 'a' + 10);
        if (v > 0xFFFFFFFFull) {
            p.at = start;
            return fail(p, "the number does not fit in 32 bits");
        }
    }
    p.at = end;
    emit(p, E_CONST, 1);
    p.out.code.push_back((int64_t)v);
    return true;
}

// A, X, Y and the flags, in either letter case.
static bool parse_name(expr_parser& p)
{
    size_t end = p.at;
    while (end < p.text.size() && (isalnum((unsigned char)p.text[end]) || p.text[end] == '_'))
        end++;
    std::string name = p.text.substr(p.at, end - p.at);
    static const char flags[] = "NV-BDIZC";
    if (name.size() == 1) {
        char c = (char)toupper((unsigned char)name[0]);
        p.at = end;
        if (c == 'A' || c == 'X' || c == 'Y') {
            emit(p, c == 'A' ? E_A : c == 'X' ? E_X : E_Y, 1);
            return true;
        }
        for (int i = 0; i < 8; i++)
            if (flags[i] == c) {
                emit(p, E_FLAG, 1);
                p.out.code.push_back(i);
                return true;
            }
        p.at -= 1;
    }
    return fail(p, "unknown name '" + name + "': use A, X, Y, a flag (N V B D I Z C), a number or [ADDRESS]");
}

static bool parse_unary(expr_parser& p)
{
    skip_blanks(p);
    if (p.at >= p.text.size())
        return fail(p, "a value is missing here");
    if (++p.nesting > EXPR_NESTING)
        return fail(p, "the expression is nested too deeply");
    char c = p.text[p.at];
    bool ok;
    if (c == '-' || c == '!' || c == '~' || c == '+') {
        p.at++;
        ok = parse_unary(p);
        if (ok && c != '+')
            emit(p, c == '-' ? E_NEG : c == '!' ? E_NOT : E_BNOT, 0);
    } else if (c == '(' || c == '[') {
        p.at++;
        ok = parse_binary(p, 0);
        skip_blanks(p);
        char close = c == '(' ? ')' : ']';
        if (ok && (p.at >= p.text.size() || p.text[p.at] != close))
            ok = fail(p, std::string("'") + close + "' is missing here");
        if (ok) {
            p.at++;
            if (c == '[')
                emit(p, E_MEM, 0);
        }
    } else if (c == '$' || isdigit((unsigned char)c)) {
        ok = parse_number(p);
    } else if (isalpha((unsigned char)c)) {
        ok = parse_name(p);
    } else {
        ok = fail(p, std::string("unexpected '") + c + "'");
    }
    p.nesting--;
    return ok;
}

struct binary_op {
    const char* text;
    int level;  // higher binds tighter
    expr_op op;
};

// Longer spellings first, so that "<=" is not read as "<".
static const binary_op binary_ops[] = {
    {"||", 1, E_LOR}, {"&&", 2, E_LAND}, {"==", 6, E_EQ}, {"!=", 6, E_NE}, {"<=", 7, E_LE}, {">=", 7, E_GE},
    {"|", 3, E_BOR},  {"^", 4, E_XOR},   {"&", 5, E_BAND}, {"<", 7, E_LT}, {">", 7, E_GT},  {"+", 8, E_ADD},
    {"-", 8, E_SUB},  {"*", 9, E_MUL},   {"/", 9, E_DIV},  {"%", 9, E_MOD},
};

static const binary_op* binary_at(expr_parser& p)
{
    skip_blanks(p);
    for (const binary_op& b : binary_ops)
        if (p.text.compare(p.at, strlen(b.text), b.text) == 0)
            return &b;
    return nullptr;
}

// Operators of `level` and above, left to right.
static bool parse_binary(expr_parser& p, int level)
{
    if (!parse_unary(p))
        return false;
    for (const binary_op* b; (b = binary_at(p)) && b->level >= level;) {
        p.at += strlen(b->text);
        if (!parse_binary(p, b->level + 1))
            return false;
        emit(p, b->op, -1);
    }
    return true;
}

static bool is_comparison(int64_t op)
{
    return op >= E_LT && op <= E_NE;
}

// SOURCE NUMBER COMPARE, SOURCE being a register, a flag or a constant address.
static void find_fast_form(dbg_expr& e)
{
    const std::vector<int64_t>& c = e.code;
    size_t n = c.size();
    if (n < 4 || c[n - 3] != E_CONST || !is_comparison(c[n - 1]))
        return;
    size_t source = n - 3;
    if (source == 1 && (c[0] == E_A || c[0] == E_X || c[0] == E_Y))
        e.fast_index = 0;
    else if (source == 2 && c[0] == E_FLAG)
        e.fast_index = c[1];
    else if (source == 3 && c[0] == E_CONST && c[2] == E_MEM)
        e.fast_index = c[1];
    else
        return;
    e.fast_source = source == 3 ? E_MEM : c[0];
    e.fast_number = c[n - 2];
    e.fast_compare = c[n - 1];
}

bool dbg_expr_compile(const std::string& text, dbg_expr& out, std::string& error, size_t& column)
{
    out = dbg_expr{};
    out.text = text;
    expr_parser p{text, 0, out, "", 0, 0, 0};
    bool ok = parse_binary(p, 0);
    skip_blanks(p);
    if (ok && p.at < text.size())
        ok = fail(p, std::string("unexpected '") + text[p.at] + "'");
    if (ok && out.stack > EXPR_STACK)
        ok = fail(p, "the expression is too long");
    if (!ok) {
        error = p.error;
        column = p.error_at + 1;
        out.code.clear();
    } else {
        find_fast_form(out);
    }
    return ok;
}

bool dbg_expr_constant(const dbg_expr& e)
{
    for (size_t i = 0; i < e.code.size(); i++) {
        int64_t op = e.code[i];
        if (op == E_A || op == E_X || op == E_Y || op == E_FLAG || op == E_MEM)
            return false;
        if (op == E_CONST)
            i++;  // its number
    }
    return true;
}

bool dbg_expr_memory_cell(const dbg_expr& e, int64_t& address)
{
    size_t last = e.code.size();
    for (size_t i = 0; i < e.code.size(); i++) {
        last = i;
        if (e.code[i] == E_CONST || e.code[i] == E_FLAG)
            i++;  // its operand
    }
    if (last == e.code.size() || e.code[last] != E_MEM)
        return false;
    dbg_expr inner = e;
    inner.code.resize(last);
    inner.fast_source = -1;
    std::string error;
    return dbg_expr_eval(inner, address, error) && address >= 0 && address < MEMORY_SIZE;
}

static int64_t compared(int64_t op, int64_t a, int64_t b)
{
    switch (op) {
    case E_LT: return a < b;
    case E_LE: return a <= b;
    case E_GT: return a > b;
    case E_GE: return a >= b;
    case E_EQ: return a == b;
    default: return a != b;
    }
}

bool dbg_expr_fast_false(const dbg_expr& e)
{
    int64_t v = e.fast_source == E_A   ? _reg.A
                : e.fast_source == E_X ? _reg.X
                : e.fast_source == E_Y ? _reg.Y
                : e.fast_source == E_FLAG ? _reg.flags[e.fast_index]
                                          : mem_read(e.fast_index);
    return !compared(e.fast_compare, v, e.fast_number);
}

bool dbg_expr_eval(const dbg_expr& e, int64_t& value, std::string& error)
{
    if (e.fast_source >= 0) {
        value = !dbg_expr_fast_false(e);
        return true;
    }
    int64_t s[EXPR_STACK];
    int n = 0;
    const int64_t* code = e.code.data();
    size_t size = e.code.size();
    for (size_t i = 0; i < size; i++) {
        int64_t op = code[i];
        if (op <= E_MEM) {
            switch (op) {
            case E_CONST: s[n++] = code[++i]; break;
            case E_A: s[n++] = _reg.A; break;
            case E_X: s[n++] = _reg.X; break;
            case E_Y: s[n++] = _reg.Y; break;
            case E_FLAG: s[n++] = _reg.flags[code[++i]]; break;
            case E_MEM: s[n - 1] = mem_read(s[n - 1]); break;
            }
            continue;
        }
        if (op <= E_BNOT) {
            int64_t& v = s[n - 1];
            v = op == E_NEG ? -v : op == E_NOT ? !v : ~v;
            continue;
        }
        int64_t b = s[--n], &a = s[n - 1];
        switch (op) {
        case E_MUL: a = (int64_t)((uint64_t)a * (uint64_t)b); break;
        case E_DIV:
        case E_MOD:
            if (b == 0 || (a == INT64_MIN && b == -1)) {
                error = "division by zero";
                return false;
            }
            a = op == E_DIV ? a / b : a % b;
            break;
        case E_ADD: a = (int64_t)((uint64_t)a + (uint64_t)b); break;
        case E_SUB: a = (int64_t)((uint64_t)a - (uint64_t)b); break;
        case E_LT: a = a < b; break;
        case E_LE: a = a <= b; break;
        case E_GT: a = a > b; break;
        case E_GE: a = a >= b; break;
        case E_EQ: a = a == b; break;
        case E_NE: a = a != b; break;
        case E_BAND: a &= b; break;
        case E_XOR: a ^= b; break;
        case E_BOR: a |= b; break;
        case E_LAND: a = a && b; break;
        case E_LOR: a = a || b; break;
        }
    }
    value = n ? s[0] : 0;
    return true;
}
