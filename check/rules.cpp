// The checker's rules. The source goes through the machine's own lexer and
// token table, and the decoder works out every operand search and label
// exactly as a run would; the rules then read the decoded cells, and the
// lexer's notes tell where each token stands in the file.
#include "check.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "SDL.h"
#include "decode.h"
#include "icode.h"
#include "layout.h"
#include "lex.h"
#include "parse.h"
#include "paths.h"
#include "services.h"
#include "symtab.h"

const check_warning check_warnings[W_COUNT] = {
    {"first-spelling", "a number text whose first spelling ('$', '#' or bare) gives a later one another meaning"},
    {"operand-search", "an operand search that leaves its line, passes over instructions or finds nothing"},
    {"bare-number", "a number without '#' or '$' after an instruction: operand searches pass over it"},
    {"undefined-label", "a branch, jmp or jsr whose label is never defined: it does nothing"},
    {"duplicate-label", "a label defined more than once: only the first definition is ever reached"},
    {"label-is-mnemonic", "a label that spells a mnemonic: a pass that starts at it runs that instruction"},
    {"index-ignored", "an indexed or indirect operand: the address alone is used"},
    {"unknown-service", "int with a constant number that no service has"},
    {"string", "a string that runs over lines or to the end of the file or is cut short, a quote after '#' "
               "(there are no character literals), and a token over 1023 bytes"},
    {"header", "a '*=' header without a '$' number right after it, and '=' or '*' after the start"},
    {"without-effect", "bit, dec, inc, rti, tsx, txa, txs and tya, which do nothing on this machine"},
    {"comment-in-token", "a ';' right after a '$' or '#' operand, which is dropped with it and starts no comment"},
    {"screen-cell", "a variable cell inside the shown screen area of a program that uses the display"},
    {"store-clamp", "a sta of a value above 255, which the store turns into 255"},
    {"compare-branch", "a branch on C, N or V right after a compare on every path, though compares set only Z"},
};

// Names that warnings had before: 'no-effect' read as its own negation
// after -W, so that -Wno-effect turned it on.
static const struct {
    const char* name;
    check_warning_id warning;
} former_names[] = {
    {"no-effect", W_WITHOUT_EFFECT},
};

int check_warning_named(const char* name)
{
    for (int w = 0; w < W_COUNT; w++)
        if (strcmp(check_warnings[w].name, name) == 0)
            return w;
    for (const auto& f : former_names)
        if (strcmp(f.name, name) == 0)
            return f.warning;
    return -1;
}

// One program under check: its cells in list order, with the lexer's note
// and the line of each.
struct check_program {
    const std::string* source;
    std::vector<token_cell*> cells;
    std::vector<lex_note> notes;
    std::vector<long long> lines;  // 0-based line of each cell
    std::vector<check_finding> findings;
};

static void check_report(check_program& p, check_warning_id w, long long offset, std::string message,
                         long long note_offset = -1, std::string note = "", std::string fix = "")
{
    p.findings.push_back({w, offset, std::move(message), note_offset, std::move(note), std::move(fix)});
}

static const char* text_of(const check_program& p, size_t i)
{
    return p.cells[i]->tok->lexeme;
}

static int type_of(const check_program& p, size_t i)
{
    return p.notes[i].tok_type;
}

// A token as the source spelled it: '#10', '$10', '10', "10".
static std::string spelled(int type, const char* text)
{
    switch (type) {
    case TOK_IMMEDIATE: return std::string("'#") + text + "'";
    case TOK_HEX: return std::string("'$") + text + "'";
    case TOK_STRING: return std::string("\"") + text + "\"";
    default: return std::string("'") + text + "'";
    }
}

static std::string line_name(const check_program& p, size_t i)
{
    return "line " + std::to_string(p.lines[i] + 1);
}

static bool is_register_text(const char* text)
{
    return text[0] == 'A' || text[0] == 'X' || text[0] == 'Y';
}

static bool all_digits(const char* text)
{
    if (!*text)
        return false;
    for (const char* c = text; *c; c++)
        if (!isdigit((unsigned char)*c))
            return false;
    return true;
}

static std::string hex(long long v)
{
    char b[32];
    snprintf(b, sizeof b, "%02llX", v);
    return b;
}

// What an operand search makes of a text whose shared record has type t.
static std::string meaning(int t, const char* text)
{
    if (t == TOK_HEX)
        return std::string("the address $") + text + " (" + std::to_string(read_hex(text)) + ")";
    if (t == TOK_IMMEDIATE)
        return std::string("the number ") + std::to_string(text[0] == '$' ? read_hex(text + 1) : read_dec(text));
    if (t == TOK_WORD && is_register_text(text))
        return std::string("the register ") + text[0];
    if (is_register_text(text))
        return "no operand (the search stops at it and finds nothing)";
    return "nothing: operand searches pass over it";
}

static const char* first_kind(int t)
{
    switch (t) {
    case TOK_DIGIT: return "bare, without '#' or '$'";
    case TOK_WORD: return "as a word";
    case TOK_STRING: return "as a string";
    default: return "as another kind of token";
    }
}

// The index of each token's first occurrence.
static std::unordered_map<const token*, size_t> first_occurrences(const check_program& p)
{
    std::unordered_map<const token*, size_t> first;
    first.reserve(p.cells.size() / 4 + 16);
    for (size_t i = 0; i < p.cells.size(); i++)
        first.emplace(p.cells[i]->tok, i);
    return first;
}

static void check_first_spelling(check_program& p, const std::unordered_map<const token*, size_t>& first)
{
    for (size_t i = 0; i < p.cells.size(); i++) {
        const token* t = p.cells[i]->tok;
        int spelled_as = type_of(p, i);
        bool operand_spelling = spelled_as == TOK_IMMEDIATE || spelled_as == TOK_HEX;
        // A bare number counts where an operand search starts right at it.
        bool bare_operand = spelled_as == TOK_DIGIT && i > 0 && decode_searches(p.cells[i - 1]->tok->pcode) &&
                            type_of(p, i - 1) == TOK_WORD &&
                            (t->tok_type == TOK_IMMEDIATE || t->tok_type == TOK_HEX);
        if ((!operand_spelling && !bare_operand) || t->tok_type == spelled_as)
            continue;
        size_t f = first.at(t);
        std::string here = spelled(spelled_as, t->lexeme), there = spelled(t->tok_type, t->lexeme);
        std::string fix, spelling;
        if (spelled_as == TOK_IMMEDIATE && all_digits(t->lexeme))
            spelling = "#$" + hex(read_dec(t->lexeme));
        else if (spelled_as == TOK_HEX)
            spelling = std::string("$0") + t->lexeme;
        if (spelled_as == TOK_IMMEDIATE && all_digits(t->lexeme))
            fix = "; write the number as '" + spelling + "'";
        else if (spelled_as == TOK_HEX)
            fix = "; write the address as '" + spelling + "'";
        else
            fix = "; spell both the same way";
        std::string message;
        if (t->tok_type == TOK_HEX || t->tok_type == TOK_IMMEDIATE)
            message = here + " stands for " + meaning(t->tok_type, t->lexeme) +
                      (operand_spelling ? ", not " + meaning(spelled_as, t->lexeme) : std::string()) + ", because the text '" + t->lexeme + "' was first written " +
                      there + fix;
        else
            message = here + " stands for " + meaning(t->tok_type, t->lexeme) + ", because the text '" +
                      t->lexeme + "' was first written " + first_kind(t->tok_type) + fix;
        check_report(p, W_FIRST_SPELLING, p.notes[i].start, message, p.notes[f].start,
                     "'" + std::string(t->lexeme) + "' is first written here, as " + there, spelling);
    }
}

// The cell at which the operand search of instruction i stopped: the operand
// itself, a token that is no operand, or cells.size() when it ran off the
// end. Instructions of one chain share their stop, so `cache` keeps the last
// answer and every cell is walked over about once.
struct search_stop {
    size_t at = 0;
    const token_cell* key = nullptr;
    bool found = false;
    bool valid = false;
};

static size_t stop_of(const check_program& p, size_t i, search_stop& cache)
{
    const cell_code& k = p.cells[i]->code;
    bool found = k.kind != OPERAND_NONE;
    if (cache.valid && cache.key == k.to && cache.found == found && cache.at > i)
        return cache.at;
    size_t j = i + 1;
    if (found) {
        while (j < p.cells.size() && p.cells[j]->next_cell != k.to)
            j++;
    } else {
        while (j < p.cells.size() && p.cells[j] != k.to)
            j++;
    }
    cache = {j, k.to, found, true};
    return j;
}

static std::string passed_list(const check_program& p, size_t from, size_t to, size_t* count)
{
    std::vector<std::string> names;
    *count = 0;
    for (size_t k = from; k < to; k++) {
        if (type_of(p, k) == TOK_WORD && p.cells[k]->tok->pcode != 0) {
            if (names.size() < 3)
                names.push_back(text_of(p, k));
            ++*count;
        }
    }
    std::string s;
    for (size_t n = 0; n < names.size(); n++) {
        if (n)
            s += (n + 1 == names.size() && *count == names.size()) ? " and " : ", ";
        s += names[n];
    }
    if (*count > names.size())
        s += " and " + std::to_string(*count - names.size()) + " more";
    return s;
}

static void check_search(check_program& p, size_t i, size_t j)
{
    std::string name = text_of(p, i);
    size_t passed = 0;
    std::string list = passed_list(p, i + 1, std::min(j, p.cells.size()), &passed);
    std::string over = passed ? ", passing over " + list + (passed == 1 ? ", which never runs here" : ", which never run here")
                              : "";
    long long at = p.notes[i].start;
    if (j >= p.cells.size()) {
        check_report(p, W_OPERAND_SEARCH, at,
                     "'" + name + "' has no operand: its operand search runs to the end of the program" + over +
                         ", so it does nothing; give it a '#' or '$' operand");
        return;
    }
    std::string stop = spelled(p.cells[j]->tok->tok_type, text_of(p, j));
    if (p.cells[i]->code.kind == OPERAND_NONE) {
        check_report(p, W_OPERAND_SEARCH, at,
                     "the operand search of '" + name + "' stops at " + stop + " on " + line_name(p, j) + over +
                         ", and that is no operand, so '" + name + "' does nothing; give it a '#' or '$' operand",
                     p.notes[j].start, "the search stops here");
        return;
    }
    if (p.lines[j] != p.lines[i])
        check_report(p, W_OPERAND_SEARCH, at,
                     "'" + name + "' has no operand on its line: its operand search runs on to " + stop + " on " +
                         line_name(p, j) + over + "; give '" + name + "' its own '#' or '$' operand",
                     p.notes[j].start, "the search stops here");
    else if (passed)
        check_report(p, W_OPERAND_SEARCH, at,
                     "the operand search of '" + name + "' runs on to " + stop + over +
                         "; give '" + name + "' its operand right after it",
                     p.notes[j].start, "the search stops here");
}

static void check_bare_number(check_program& p, size_t i)
{
    if (i + 1 >= p.cells.size() || type_of(p, i + 1) != TOK_DIGIT || p.cells[i + 1]->tok->tok_type != TOK_DIGIT)
        return;
    const char* n = text_of(p, i + 1);
    check_report(p, W_BARE_NUMBER, p.notes[i + 1].start,
                 std::string("'") + n + "' has no '#' or '$', so the operand search of '" + text_of(p, i) +
                     "' passes over it; write '#" + n + "' for the number or '$" + n + "' for an address");
}

// ",x" or ",y" right after an operand, or "(" right before it.
static void check_index(check_program& p, size_t i, size_t j)
{
    if (j >= p.cells.size() || p.cells[i]->code.kind != OPERAND_ADDRESS)
        return;
    const std::string& src = *p.source;
    auto is_index = [&](size_t k) {
        const char* t = text_of(p, k);
        return type_of(p, k) == TOK_WORD && p.lines[k] == p.lines[j] && strlen(t) == 1 &&
               (tolower((unsigned char)t[0]) == 'x' || tolower((unsigned char)t[0]) == 'y');
    };
    bool open = j > i + 1 && type_of(p, j - 1) == TOK_OPEN_PAREN && p.lines[j - 1] == p.lines[j];
    size_t k = j + 1;
    if (k < p.cells.size() && type_of(p, k) == TOK_COMMA && p.lines[k] == p.lines[j])
        k++;
    bool indexed = k < p.cells.size() && is_index(k);
    if (!open && !indexed)
        return;
    long long from = p.notes[open ? j - 1 : j].start;
    long long to = indexed ? p.notes[k].start + 1 : p.notes[j].start + 1 + (long long)strlen(text_of(p, j));
    size_t after = indexed ? k + 1 : j + 1;
    if (after < p.cells.size() && type_of(p, after) == TOK_CLOSE_PAREN && p.lines[after] == p.lines[j])
        to = p.notes[after].start + (long long)strlen(text_of(p, after));
    to = std::min<long long>(std::max(to, from), (long long)src.size());
    std::string form = src.substr((size_t)from, (size_t)(to - from));
    std::string address = std::string("$") + text_of(p, j);
    std::string what = indexed && open ? "indexing and indirection have" : indexed ? "indexing has" : "indirection has";
    std::string tail;
    if (indexed && isupper((unsigned char)text_of(p, k)[0]))
        tail = std::string(", and the '") + text_of(p, k) + "' after it is passed over like a label";
    check_report(p, W_INDEX_IGNORED, from,
                 "'" + form + "': " + what + " no effect, so '" + text_of(p, i) + "' uses the address " + address +
                     " itself" + tail + "; work out the address with the index in the program");
}

static void check_service(check_program& p, size_t i)
{
    const cell_code& k = p.cells[i]->code;
    if (k.kind != OPERAND_ADDRESS && k.kind != OPERAND_IMMEDIATE)
        return;
    if (service_known(k.value))
        return;
    check_report(p, W_UNKNOWN_SERVICE, p.notes[i].start,
                 "service " + std::to_string(k.value) +
                     " does not exist, so this 'int' does nothing; the services are 1 to 4, 19 to 25, 32, 86 to 88 "
                     "and 256 to 258");
}

static void check_instructions(check_program& p)
{
    search_stop cache;
    for (size_t i = 0; i < p.cells.size(); i++) {
        if (type_of(p, i) != TOK_WORD || !decode_searches(p.cells[i]->tok->pcode))
            continue;
        size_t j = stop_of(p, i, cache);
        check_search(p, i, j);
        check_bare_number(p, i);
        check_index(p, i, j);
        if (p.cells[i]->tok->pcode == P_INT)
            check_service(p, i);
    }
}

static std::string lower(const char* s)
{
    std::string l(s);
    for (char& c : l)
        c = (char)tolower((unsigned char)c);
    return l;
}

// The texts that follow a jump: the labels the program means to reach.
static std::unordered_set<const token*> jump_targets(const check_program& p)
{
    std::unordered_set<const token*> targets;
    for (size_t i = 0; i + 1 < p.cells.size(); i++)
        if (type_of(p, i) == TOK_WORD && sym_is_jump(p.cells[i]->tok->pcode))
            targets.insert(p.cells[i + 1]->tok);
    return targets;
}

// Digits written right after the word at i, as in 'loop2': words are
// letters only, so they are a number of their own. Empty when there are none.
static std::string glued_digits(const check_program& p, size_t i)
{
    if (i + 1 >= p.cells.size() || type_of(p, i) != TOK_WORD || type_of(p, i + 1) != TOK_DIGIT || p.notes[i].cut ||
        p.notes[i + 1].start != p.notes[i].start + (long long)strlen(text_of(p, i)))
        return "";
    return text_of(p, i + 1);
}

static std::string glued_hint(const check_program& p, size_t i)
{
    std::string digits = glued_digits(p, i);
    if (digits.empty())
        return "";
    return std::string(" ('") + text_of(p, i) + digits + "' is the word '" + text_of(p, i) + "' and then the number " +
           digits + ": labels are letters only)";
}

// Whether two texts differ by exactly one character: one changed, added or
// left out.
static bool one_off(const std::string& a, const std::string& b)
{
    const std::string& longer = a.size() >= b.size() ? a : b;
    const std::string& shorter = a.size() >= b.size() ? b : a;
    if (longer.size() - shorter.size() > 1)
        return false;
    size_t i = 0;
    while (i < shorter.size() && longer[i] == shorter[i])
        i++;
    if (longer.size() == shorter.size())
        return i < longer.size() && longer.compare(i + 1, std::string::npos, shorter, i + 1) == 0;
    return longer.compare(i + 1, std::string::npos, shorter, i) == 0;
}

// The defined labels that a misspelt jump may have meant, found by the text
// and by each text with one character left out, so that a hint costs a few
// look-ups however many labels there are.
// Longer labels are not offered as hints, so that indexing stays cheap.
constexpr size_t HINT_LABEL_MAX = 64;

struct label_hints {
    std::unordered_map<std::string, const token*> by_lower;
    std::unordered_multimap<std::string, const token*> by_one_out;
};

static void one_out_texts(const std::string& s, const std::function<void(const std::string&)>& each)
{
    each(s);
    for (size_t k = 0; k < s.size(); k++)
        each(s.substr(0, k) + s.substr(k + 1));
}

static label_hints collect_label_hints(const check_program& p, const std::unordered_set<const token*>& targets)
{
    label_hints h;
    for (size_t i = 0; i < p.cells.size(); i++) {
        const token* t = p.cells[i]->tok;
        bool line_start = i == 0 || p.lines[i - 1] != p.lines[i];
        if (t->label != p.cells[i] || type_of(p, i) != TOK_WORD || t->pcode != 0 || (!line_start && !targets.count(t)))
            continue;
        std::string l = lower(t->lexeme);
        if (l.size() > HINT_LABEL_MAX || !h.by_lower.emplace(l, t).second)
            continue;
        one_out_texts(t->lexeme, [&](const std::string& key) { h.by_one_out.emplace(key, t); });
    }
    return h;
}

static std::string label_hint(const label_hints& h, const char* text)
{
    auto same = h.by_lower.find(lower(text));
    if (same != h.by_lower.end() && same->second->lexeme != std::string(text))
        return std::string(" (labels are case-sensitive: did you mean '") + same->second->lexeme + "'?)";
    const token* found = nullptr;
    if (strlen(text) > HINT_LABEL_MAX)
        return "";
    one_out_texts(text, [&](const std::string& key) {
        auto range = h.by_one_out.equal_range(key);
        for (auto it = range.first; it != range.second && !found; ++it)
            if (one_off(text, it->second->lexeme))
                found = it->second;
    });
    return found ? std::string(" (did you mean '") + found->lexeme + "'?)" : "";
}

static void check_labels(check_program& p, const std::unordered_set<const token*>& targets)
{
    size_t n = p.cells.size();
    if (targets.empty() && !(n && type_of(p, n - 1) == TOK_WORD && sym_is_jump(p.cells[n - 1]->tok->pcode)))
        return;

    std::unordered_map<const token_cell*, size_t> label_index;
    for (size_t i = 0; i < n; i++) {
        const token* t = p.cells[i]->tok;
        if (t->label == p.cells[i] && targets.count(t))
            label_index.emplace(p.cells[i], i);
    }

    bool hints_ready = false;
    label_hints hints;
    for (size_t i = 0; i < n; i++) {
        const token* t = p.cells[i]->tok;
        bool jump = type_of(p, i) == TOK_WORD && sym_is_jump(t->pcode);
        if (jump && i + 1 == n) {
            check_report(p, W_UNDEFINED_LABEL, p.notes[i].start,
                         "'" + std::string(t->lexeme) + "' has no label after it, so it does nothing; name its label");
            continue;
        }
        if (jump) {
            const token* target = p.cells[i + 1]->tok;
            if (!target->label) {
                if (!hints_ready) {
                    hints = collect_label_hints(p, targets);
                    hints_ready = true;
                }
                check_report(p, W_UNDEFINED_LABEL, p.notes[i + 1].start,
                             "no label '" + std::string(target->lexeme) + "' is defined, so '" + t->lexeme +
                                 "' goes on after it even when taken; define the label or fix its spelling" +
                                 label_hint(hints, target->lexeme) + glued_hint(p, i + 1));
            }
        }
        bool reference = i > 0 && sym_is_jump(p.cells[i - 1]->tok->pcode);
        if (!reference && t->label && t->label != p.cells[i] && type_of(p, i) == TOK_WORD && targets.count(t)) {
            size_t d = label_index.at(t->label);
            std::string glued = glued_hint(p, i);
            if (glued.empty())
                glued = glued_hint(p, d);
            check_report(p, W_DUPLICATE_LABEL, p.notes[i].start,
                         "label '" + std::string(t->lexeme) + "' is defined again: every jump to it reaches the first "
                         "definition, on " + line_name(p, d) + "; rename one of them" + glued,
                         p.notes[d].start,
                         type_of(p, d) == TOK_WORD
                             ? "'" + std::string(t->lexeme) + "' is first defined here"
                             : "'" + std::string(t->lexeme) + "' first stands here, outside a jump, and so is defined here");
        }
        if (t->label == p.cells[i] && t->pcode != 0 && targets.count(t)) {
            std::string m = op_array[t->pcode];
            check_report(p, W_LABEL_IS_MNEMONIC, p.notes[i].start,
                         "label '" + std::string(t->lexeme) + "' spells the mnemonic " + m +
                             ", so wherever a pass starts at it, it runs as " + m + "; rename it");
        }
    }
}

// What to write instead of an instruction that does nothing here.
static std::string without_effect_advice(const std::string& m, const std::string& operand)
{
    std::string cell = operand.empty() ? "$CELL" : operand;
    if (m == "txa")
        return "'lda X' copies X into A";
    if (m == "tya")
        return "'lda Y' copies Y into A";
    if (m == "inc")
        return "to add 1 to a cell, write 'lda " + cell + "', 'adc #1', 'sta " + cell + "'; 'inx' and 'iny' count in X and Y";
    if (m == "dec")
        return "to take 1 from a cell, write 'lda " + cell + "', 'sbc #1', 'sta " + cell + "'; 'dex' and 'dey' count in X and Y";
    if (m == "bit")
        return "to test bits of a cell, load it with 'lda' and use 'and #MASK' or 'cmp'";
    if (m == "rti")
        return "nothing interrupts a program here: 'rts' returns from a 'jsr'";
    return "the stacks have no pointer to read or set: 'pha' and 'pla' push and pop A";
}

// Instructions that the machine passes over like any other word: the
// decoder gives a mnemonic no op of its own then.
static void check_without_effect(check_program& p, const std::unordered_set<const token*>& targets)
{
    for (size_t i = 0; i < p.cells.size(); i++) {
        const token* t = p.cells[i]->tok;
        if (type_of(p, i) != TOK_WORD || t->pcode == 0 || p.cells[i]->code.op != OP_PASS || targets.count(t))
            continue;
        if (i > 0 && sym_is_jump(p.cells[i - 1]->tok->pcode))
            continue;
        std::string m = op_array[t->pcode];
        std::string operand, passed;
        if (i + 1 < p.cells.size() && p.lines[i + 1] == p.lines[i] &&
            (type_of(p, i + 1) == TOK_HEX || type_of(p, i + 1) == TOK_IMMEDIATE)) {
            operand = (type_of(p, i + 1) == TOK_HEX ? "$" : "#") + std::string(text_of(p, i + 1));
            passed = ", and '" + operand + "' after it is passed over";
        }
        check_report(p, W_WITHOUT_EFFECT, p.notes[i].start,
                     "'" + std::string(t->lexeme) + "' does nothing on this machine" + passed + "; " +
                         without_effect_advice(m, operand.starts_with("$") ? operand : ""));
    }
}

// A ';' that ends a '$' or '#' token is dropped with it, so the rest of the
// line is program text. Quiet when nothing follows on the line.
static void check_comment_in_token(check_program& p)
{
    const std::string& src = *p.source;
    for (size_t i = 0; i + 1 < p.cells.size(); i++) {
        const lex_note& n = p.notes[i];
        if ((n.tok_type != TOK_HEX && n.tok_type != TOK_IMMEDIATE) || n.end < 0 || n.end >= (long long)src.size() ||
            src[(size_t)n.end] != ';' || p.lines[i + 1] != p.lines[i])
            continue;
        std::string operand = (n.tok_type == TOK_HEX ? "$" : "#") + std::string(text_of(p, i));
        check_report(p, W_COMMENT_IN_TOKEN, n.end,
                     "this ';' ends '" + operand + "' and is dropped with it, so it starts no comment: " +
                         spelled(type_of(p, i + 1), text_of(p, i + 1)) +
                         " and the rest of the line are read as program text; put a blank before the ';'");
    }
}

// The pixel shown for a memory cell, if it is one.
static bool shown_pixel(long long cell, int& x, int& y)
{
    long long at = cell - memory_offset;
    if (at < 0 || at / SCREEN_ROW >= SCREEN_SIDE || at % SCREEN_ROW >= SCREEN_SIDE)
        return false;
    x = (int)(at % SCREEN_ROW);
    y = (int)(at / SCREEN_ROW);
    return true;
}

static bool reads_memory(int op)
{
    switch (op) {
    case OP_LDA: case OP_LDX: case OP_LDY: case OP_CMP: case OP_CPX: case OP_CPY:
    case OP_ADC: case OP_SBC: case OP_AND: case OP_EOR: case OP_ORA:
        return true;
    default:
        return false;
    }
}

// A cell at a constant address that the program stores and reads back is a
// variable; inside the shown screen area every refresh paints it. The key
// cells and the text colour cell are the services' own, not variables.
static void check_screen_cells(check_program& p)
{
    bool display = false;
    for (token_cell* c : p.cells) {
        const cell_code& k = c->code;
        display |= k.op == OP_INT && (k.kind == OPERAND_ADDRESS || k.kind == OPERAND_IMMEDIATE) &&
                   (k.value == 19 || k.value == 21 || k.value == 32);
    }
    if (!display)
        return;
    std::unordered_map<int32_t, size_t> stored, read;  // cell -> first instruction
    for (size_t i = 0; i < p.cells.size(); i++) {
        const cell_code& k = p.cells[i]->code;
        if (type_of(p, i) != TOK_WORD || k.kind != OPERAND_ADDRESS)
            continue;
        if (k.op == OP_STA || k.op == OP_STX || k.op == OP_STY)
            stored.emplace(k.value, i);
        else if (reads_memory(k.op))
            read.emplace(k.value, i);
    }
    search_stop cache;
    for (const auto& [cell, i] : stored) {
        int x, y;
        auto back = read.find(cell);
        if (back == read.end() || !shown_pixel(cell, x, y) || cell == TEXT_COLOR_CELL ||
            (cell >= key_offset && cell < key_offset + SDLK_LAST))
            continue;
        size_t at = stop_of(p, i, cache), from = stop_of(p, back->second, cache);
        if (at >= p.cells.size() || from >= p.cells.size())
            continue;
        std::string address = spelled(TOK_HEX, text_of(p, at));
        check_report(p, W_SCREEN_CELL, p.notes[at].start,
                     address + " is used as a variable, stored here and read back on " + line_name(p, from) +
                         ", but it is the screen cell of pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                         "), so its value shows as a dot at every refresh; keep variables in cells that are not "
                         "shown, such as those below $FF",
                     p.notes[from].start, "it is read back here");
    }
}

// Whether a pass from this op leaves A as it is and goes on to `to`.
static bool keeps_a(int op)
{
    switch (op) {
    case OP_PASS: case OP_LDX: case OP_LDY: case OP_STX: case OP_STY: case OP_CMP: case OP_CPX: case OP_CPY:
    case OP_CLC: case OP_CLD: case OP_CLI: case OP_CLV: case OP_SEC: case OP_SED: case OP_SEI:
    case OP_INX: case OP_INY: case OP_DEX: case OP_DEY: case OP_TAX: case OP_TAY: case OP_PHA: case OP_PHP:
    case OP_NOP:
        return true;
    default:
        return false;
    }
}

// 'lda #1000' and then 'sta' on the same path, with nothing between that
// changes A: the store stores 255, not the low byte.
static void check_store_clamp(check_program& p)
{
    std::unordered_map<const token_cell*, size_t> index;
    for (size_t i = 0; i < p.cells.size(); i++) {
        const cell_code& k = p.cells[i]->code;
        if (k.op != OP_LDA || k.kind != OPERAND_IMMEDIATE || k.value <= 255 || type_of(p, i) != TOK_WORD)
            continue;
        const token_cell* c = k.to;
        for (int steps = 0; c && steps < 64 && keeps_a(c->code.op); steps++)
            c = c->code.op == OP_PASS ? c->next_cell : c->code.to;
        if (!c || c->code.op != OP_STA)
            continue;
        if (index.empty())
            for (size_t j = 0; j < p.cells.size(); j++)
                index.emplace(p.cells[j], j);
        size_t s = index.at(c);
        char low[32];
        snprintf(low, sizeof low, "%d ($%02X)", k.value & 0xFF, k.value & 0xFF);
        check_report(p, W_STORE_CLAMP, p.notes[s].start,
                     "A is " + std::to_string(k.value) + " here, and a store of a value above 254 stores 255 and "
                     "leaves A = 255, not the low byte " + low + "; write 'and #$FF' before the store for the low "
                     "byte, or load a value up to 255",
                     p.notes[i].start, "A gets " + std::to_string(k.value) + " here");
    }
}

// The flag a branch tests, or -1 for beq and bne (Z, which compares do set)
// and every other op.
static int branch_flag(int op)
{
    switch (op) {
    case OP_BCC: case OP_BCS: return FLAG_C;
    case OP_BMI: case OP_BPL: return FLAG_N;
    case OP_BVC: case OP_BVS: return FLAG_V;
    default: return -1;
    }
}

// A branch on C, N or V where the statement before it that touches a flag
// is a compare on every path: the usual way elsewhere to test "less than"
// or "at least", which here branches on a flag the compare never set.
static void check_compare_branch(check_program& p)
{
    std::vector<paths_flags> flags;
    for (size_t i = 0; i < p.cells.size(); i++) {
        int op = decode_own_op(p.cells[i]);
        int flag = branch_flag(op);
        if (flag < 0 || type_of(p, i) != TOK_WORD)
            continue;
        if (flags.empty())
            flags = paths_follow(p.cells, parse_start(symbols.head));
        const paths_flags& f = flags[i];
        if (f.nearest_kinds != PATHS_COMPARE)
            continue;
        const char name = "NVZC"[flag == FLAG_N ? 0 : flag == FLAG_V ? 1 : 3];
        int32_t last = flag == FLAG_C ? f.last_c : flag == FLAG_N ? f.last_n : f.last_v;
        std::string compare = f.nearest >= 0 ? "the " + lower(text_of(p, (size_t)f.nearest)) + " on " +
                                                   line_name(p, (size_t)f.nearest)
                                             : "the compares before it";
        std::string since;
        if (last >= 0)
            since = std::string(", so ") + name + " is as '" + lower(text_of(p, (size_t)last)) + "' on " +
                    line_name(p, (size_t)last) + " left it";
        else if (last == PATHS_NONE)
            since = std::string(", and nothing before sets ") + name;
        std::string advice = flag == FLAG_C ? "; to branch when A is at least N, write clc, sbc #N, adc #256, bcs"
                                            : "; a compare's result is in Z alone, for beq and bne";
        check_report(p, W_COMPARE_BRANCH, p.notes[i].start,
                     "'" + std::string(text_of(p, i)) + "' branches on " + name + ", but " + compare +
                         " sets only Z" + since + advice,
                     f.nearest >= 0 ? p.notes[f.nearest].start : -1, f.nearest >= 0 ? "this compare sets only Z" : "");
    }
}

// '#' right before a quote, as in #'A': the immediate has no text, so it is
// the number 0, and the quote starts what follows.
static void check_character(check_program& p, size_t i)
{
    const std::string& src = *p.source;
    const lex_note& n = p.notes[i];
    if (n.end < 0 || n.end >= (long long)src.size() || token_map[(unsigned char)src[(size_t)n.end]] != TOK_STRING)
        return;
    size_t q = (size_t)n.end;
    std::string fix = "write the character's number";
    if (q + 2 < src.size() && token_map[(unsigned char)src[q + 2]] == TOK_STRING) {
        unsigned char c = (unsigned char)src[q + 1];
        fix = "write its number, '#" + std::to_string(c) + "'";
        if (isprint(c))
            fix += std::string(" for '") + (char)c + "'";
    }
    check_report(p, W_STRING, n.start,
                 "there are no character literals: this '#' has no number after it, so it is the number 0, the "
                 "quote after it is dropped with it, and what follows is read as program text and a new string; " +
                     fix);
}

static void check_strings(check_program& p)
{
    const std::string& src = *p.source;
    for (size_t i = 0; i < p.cells.size(); i++) {
        const lex_note& n = p.notes[i];
        if (n.cut)
            check_report(p, W_STRING, n.start,
                         "this token is longer than 1023 bytes: the machine keeps its first 1023 and drops the rest; "
                         "make it shorter");
        if (n.tok_type == TOK_IMMEDIATE && !*text_of(p, i))
            check_character(p, i);
        if (n.tok_type != TOK_STRING)
            continue;
        long long close = n.end < 0 ? (long long)src.size() : std::min(n.end, (long long)src.size());
        long long lines = std::count(src.begin() + (long)n.start, src.begin() + (long)close, '\n');
        if (n.end < 0) {
            check_report(p, W_STRING, n.start,
                         "this string runs to the end of the file" +
                             (lines ? ", over " + std::to_string(lines) + (lines == 1 ? " line" : " lines") : "") +
                             ", and takes in everything after it; close it with a quote");
        } else if (lines) {
            check_report(p, W_STRING, n.start,
                         "this string runs on over " + std::to_string(lines) + (lines == 1 ? " line" : " lines") +
                             " to the quote on line " + std::to_string(p.lines[i] + lines + 1) +
                             ", and takes in everything between; close it on its own line, and write a line break "
                             "as \\n",
                         n.end, "the string ends here");
        }
        if (n.end >= 0 && n.end < (long long)src.size()) {
            unsigned char open = (unsigned char)src[(size_t)n.start], close = (unsigned char)src[(size_t)n.end];
            if (close == 0)
                check_report(p, W_STRING, n.end, "a zero byte ends this string here; remove it");
            else if (close != open)
                check_report(p, W_STRING, n.end,
                             std::string(close == '\'' ? "this apostrophe" : "this double quote") +
                                 " ends the string, since either quote closes one; write it as \\" + (char)close,
                             n.start, "the string opens here");
        }
        if (n.bad_escape >= 0 && n.bad_escape + 1 < (long long)src.size()) {
            unsigned char e = (unsigned char)src[(size_t)n.bad_escape + 1];
            std::string shown = isprint(e) ? std::string("\\") + (char)e : "\\ and the byte " + std::to_string(e);
            check_report(p, W_STRING, n.bad_escape,
                         "'" + shown + "' is no escape: it stores a zero byte, which ends the string's text here; "
                         "use \\n, \\t, \\\", \\' or \\0");
        } else if (n.bad_escape >= 0) {
            check_report(p, W_STRING, n.bad_escape,
                         "a backslash at the end of the file ends the string's text; remove it");
        }
    }
}

static void check_header(check_program& p)
{
    size_t n = p.cells.size();
    for (size_t i = 1; i < n; i++)
        if (type_of(p, i) == TOK_OPERATOR)
            check_report(p, W_HEADER, p.notes[i].start,
                         spelled(TOK_OPERATOR, text_of(p, i)) +
                             " is no header here, since only a program's first token starts one; the machine passes "
                             "over it");
    if (n == 0 || p.cells[0]->tok->tok_type != TOK_OPERATOR)
        return;
    if (n > 1 && p.cells[1]->tok->tok_type == TOK_HEX)
        return;
    size_t k = 1;
    while (k < n && p.cells[k]->tok->tok_type != TOK_HEX)
        k++;
    if (k == n)
        check_report(p, W_HEADER, p.notes[0].start,
                     "this header has no '$' number after it, so nothing in the program runs; write it as '*=$0600' "
                     "or remove it");
    else
        check_report(p, W_HEADER, p.notes[0].start,
                     "this header has no '$' number right after it, so the machine passes over everything up to " +
                         spelled(TOK_HEX, text_of(p, k)) + " on " + line_name(p, k) +
                         "; write it as '*=$0600' or remove it",
                     p.notes[k].start, "the program starts after this token");
}

// Line of every cell, in one walk: the cells' offsets only grow.
static void locate_cells(check_program& p)
{
    const std::string& src = *p.source;
    p.lines.resize(p.cells.size());
    long long line = 0;
    size_t at = 0;
    for (size_t i = 0; i < p.cells.size(); i++) {
        size_t to = (size_t)std::min<long long>(p.notes[i].start, (long long)src.size());
        if (to > at) {
            line += std::count(src.begin() + (long)at, src.begin() + (long)to, '\n');
            at = to;
        }
        p.lines[i] = line;
    }
}

std::vector<check_finding> check_source(const std::string& source, size_t* tokens)
{
    check_program p;
    p.source = &source;
    if (!source.empty()) {
        p.notes = mlex_source(source);
        decode_program(&symbols);
        p.cells.reserve(p.notes.size());
        for (token_cell* c = symbols.head; c; c = c->next_cell)
            p.cells.push_back(c);
        locate_cells(p);

        std::unordered_set<const token*> targets = jump_targets(p);
        check_header(p);
        check_first_spelling(p, first_occurrences(p));
        check_instructions(p);
        check_labels(p, targets);
        check_strings(p);
        check_without_effect(p, targets);
        check_comment_in_token(p);
        check_screen_cells(p);
        check_store_clamp(p);
        check_compare_branch(p);
        sym_free(&symbols);
        sym_init(&symbols);
    }
    if (tokens)
        *tokens = p.cells.size();
    std::stable_sort(p.findings.begin(), p.findings.end(),
                     [](const check_finding& a, const check_finding& b) { return a.offset < b.offset; });
    return std::move(p.findings);
}
