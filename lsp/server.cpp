// The protocol: the lifecycle, document sync and the requests. Every
// answer comes from the machine's own reading (model.cpp) and the
// checker's findings, so the server holds no rules of its own.
#include "server.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <cstring>
#include <nlohmann/json.hpp>

#include "check.h"
#include "datadir.h"
#include "icode.h"
#include "lex.h"
#include "model.h"
#include "numbers.h"
#include "position.h"
#include "services.h"
#include "symtab.h"
#include "words.h"
#include "rpc.h"
#include "text.h"

using json = nlohmann::json;

namespace {

enum rpc_error {
    PARSE_ERROR = -32700,
    INVALID_REQUEST = -32600,
    METHOD_NOT_FOUND = -32601,
    INVALID_PARAMS = -32602,
    SERVER_NOT_INITIALIZED = -32002,
    REQUEST_FAILED = -32803,
};

// A request that cannot be answered: the error goes back to the client.
struct server_failure {
    int code;
    std::string message;
};

// The semantic tokens' legend: an operand is a register word that an
// operand search found; "passed" marks what no pass ever starts at.
const std::vector<std::string> token_types = {"keyword", "function", "parameter", "variable", "number", "string", "comment"};
const std::vector<std::string> token_modifiers = {"declaration", "address", "immediate", "bare", "passed"};

bool initialized = false;
bool shut_down = false;

// The answers are moved into their messages: a large one, such as the
// semantic tokens of a long program, is not copied on its way out.
void send_response(const json& id, json result)
{
    rpc_write(json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}.dump(-1, ' ', false, json::error_handler_t::replace));
}

void send_error(const json& id, int code, const std::string& message)
{
    rpc_write(json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}}.dump(
        -1, ' ', false, json::error_handler_t::replace));
}

void send_notification(const std::string& method, json params)
{
    rpc_write(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}}.dump(
        -1, ' ', false, json::error_handler_t::replace));
}

const json& field(const json& j, const char* name)
{
    static const json none;
    if (!j.is_object() || !j.contains(name))
        return none;
    return j[name];
}

std::string string_field(const json& j, const char* name)
{
    const json& v = field(j, name);
    if (!v.is_string())
        throw server_failure{INVALID_PARAMS, std::string("'") + name + "' must be a string"};
    return v.get<std::string>();
}

long long number_field(const json& j, const char* name)
{
    const json& v = field(j, name);
    if (!v.is_number_integer())
        throw server_failure{INVALID_PARAMS, std::string("'") + name + "' must be an integer"};
    return v.get<long long>();
}

text_document& document_of(const json& params)
{
    std::string uri = string_field(field(params, "textDocument"), "uri");
    auto it = text_documents.find(uri);
    if (it == text_documents.end())
        throw server_failure{INVALID_PARAMS, "no open document is " + uri};
    return it->second;
}

long long offset_of(const text_document& d, const json& position)
{
    long long offset;
    if (!text_offset(d, number_field(position, "line"), number_field(position, "character"), offset))
        throw server_failure{INVALID_PARAMS, "the position lies past the end of the document"};
    return offset;
}

json position_json(const text_document& d, long long offset)
{
    long long line, character;
    text_position(d, offset, line, character);
    return {{"line", line}, {"character", character}};
}

json range_json(const text_document& d, long long start, long long end)
{
    return {{"start", position_json(d, start)}, {"end", position_json(d, end)}};
}

json location_json(const text_document& d, long long start, long long end)
{
    return {{"uri", d.uri}, {"range", range_json(d, start, end)}};
}

// Documents larger than this are kept and synced but not read: no program
// of this machine is that long, and reading one would take the server's
// memory many times over.
constexpr size_t READ_LIMIT = (size_t)32 << 20;

bool too_large(const text_document& d)
{
    return d.bytes.size() > READ_LIMIT;
}

// What the server has read of each document, with the text it was read
// from: the machine's reading of the program, and the checker's findings
// once something has asked for them (the diagnostics and the quick fixes
// share them).
struct document_reading {
    std::string bytes;
    model_program program;
    std::vector<check_finding> findings;
    bool checked = false;
};
std::map<std::string, document_reading> programs_read;

document_reading& reading_of(const text_document& d)
{
    document_reading& r = programs_read[d.uri];
    if (r.bytes.size() != d.bytes.size() || r.bytes != d.bytes || r.program.tokens.empty()) {
        r.bytes = d.bytes;
        r.program = model_read(d.bytes);
        r.checked = false;
    }
    return r;
}

// The program of a document, read once per version of its text.
const model_program& program_of(text_document& d)
{
    static const model_program none;
    return too_large(d) ? none : reading_of(d).program;
}

// The checker's findings on a document that is not too large to read.
const std::vector<check_finding>& findings_of(const text_document& d)
{
    document_reading& r = reading_of(d);
    if (!r.checked) {
        r.findings = check_source(d.bytes);
        r.checked = true;
    }
    return r.findings;
}

// The token under a position, -1 for none.
int token_under(text_document& d, const json& params)
{
    return model_token_at(program_of(d), offset_of(d, field(params, "position")));
}

// --- lifecycle and sync

json capabilities()
{
    return {
        {"positionEncoding", text_utf16 ? "utf-16" : "utf-8"},
        {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
        {"definitionProvider", true},
        {"referencesProvider", true},
        {"documentHighlightProvider", true},
        {"documentSymbolProvider", true},
        {"workspaceSymbolProvider", true},
        {"hoverProvider", true},
        {"completionProvider", {{"triggerCharacters", {"#", " "}}}},
        {"renameProvider", true},
        {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
        {"semanticTokensProvider",
         {{"legend", {{"tokenTypes", token_types}, {"tokenModifiers", token_modifiers}}}, {"full", true}, {"range", true}}},
    };
}

json on_initialize(const json& params)
{
    text_utf16 = true;
    const json& encodings = field(field(field(params, "capabilities"), "general"), "positionEncodings");
    if (encodings.is_array())
        for (const json& e : encodings)
            if (e == "utf-8")
                text_utf16 = false;
    initialized = true;
    return {{"capabilities", capabilities()}, {"serverInfo", {{"name", "zorvik-lsp"}}}};
}

void on_open(const json& params)
{
    const json& item = field(params, "textDocument");
    text_document& d = text_documents[string_field(item, "uri")];
    d.uri = string_field(item, "uri");
    d.version = (int)number_field(item, "version");
    text_set(d, string_field(item, "text"));
}

void on_change(const json& params)
{
    text_document& d = document_of(params);
    const json& changes = field(params, "contentChanges");
    if (!changes.is_array())
        throw server_failure{INVALID_PARAMS, "'contentChanges' must be an array"};
    for (const json& change : changes) {
        std::string text = string_field(change, "text");
        const json& range = field(change, "range");
        if (range.is_null()) {
            text_set(d, std::move(text));
            continue;
        }
        long long from = offset_of(d, field(range, "start")), to = offset_of(d, field(range, "end"));
        if (to < from)
            std::swap(from, to);
        d.bytes.replace((size_t)from, (size_t)(to - from), text);
        text_set(d, std::move(d.bytes));
    }
    const json& version = field(field(params, "textDocument"), "version");
    if (version.is_number_integer())
        d.version = version.get<int>();
}

void on_close(const json& params)
{
    std::string uri = string_field(field(params, "textDocument"), "uri");
    programs_read.erase(uri);
    if (text_documents.erase(uri))
        send_notification("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", json::array()}});
}

// --- diagnostics

// The diagnostics' message is written as text rather than built as a JSON
// tree: a long program has hundreds of findings, and building, printing and
// freeing the tree took most of the time from a change to its diagnostics.

// A string as JSON text; bytes that are not UTF-8 become U+FFFD.
std::string json_text(const std::string& s)
{
    return json(s).dump(-1, ' ', false, json::error_handler_t::replace);
}

void append_position(std::string& out, const text_document& d, long long offset)
{
    long long line, character;
    text_position(d, offset, line, character);
    out += "{\"line\":" + std::to_string(line) + ",\"character\":" + std::to_string(character) + "}";
}

void append_range(std::string& out, const text_document& d, long long start, long long end)
{
    out += "{\"start\":";
    append_position(out, d, start);
    out += ",\"end\":";
    append_position(out, d, end);
    out += "}";
}

// The manual's page of warnings, as a file URI, found where the server runs
// from: an installed server's share/doc/zorvik, or the docs/ that the build
// links beside a server in the build tree. Empty when there is neither, and
// the diagnostics then carry no link.
const std::string& checking_page()
{
    static std::string uri = [] {
        std::error_code error;
        std::filesystem::path page;
        std::string installed = datadir_share("doc/zorvik");
        std::string exe = datadir_exe_folder();
        if (!installed.empty())
            page = std::filesystem::path(installed) / "checking.md";
        else if (!exe.empty())
            page = std::filesystem::path(exe) / "docs" / "checking.md";
        page = std::filesystem::canonical(page, error);
        if (error || page.empty())
            return std::string();
        std::string out = "file://";
        const char* hex = "0123456789ABCDEF";
        for (unsigned char c : page.string()) {
            if (isalnum(c) || strchr("/-._~", c)) {
                out += (char)c;
            } else {
                out += '%';
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }
        return out;
    }();
    return uri;
}

// The diagnostics of a document, as the text of a JSON array.
std::string diagnostics_of(text_document& d)
{
    if (too_large(d)) {
        send_notification("window/showMessage",
                          {{"type", 2}, {"message", d.uri + " is over 32 MiB: zorvik-lsp does not check it"}});
        return "[]";
    }
    const model_program& p = program_of(d);
    std::string out = "[", uri = json_text(d.uri);
    for (const check_finding& f : findings_of(d)) {
        int t = model_token_at(p, f.offset);
        long long end = t >= 0 && p.tokens[(size_t)t].end > f.offset ? p.tokens[(size_t)t].end : f.offset;
        std::string name = check_warnings[f.warning].name;
        out += out.size() > 1 ? ",{\"range\":" : "{\"range\":";
        append_range(out, d, f.offset, end);
        out += ",\"severity\":2,\"source\":\"zorvik-check\",\"code\":" + json_text(name);
        if (!checking_page().empty())
            out += ",\"codeDescription\":{\"href\":" + json_text(checking_page() + "#" + name) + "}";
        out += ",\"message\":" + json_text(f.message);
        if (f.note_offset >= 0) {
            out += ",\"relatedInformation\":[{\"location\":{\"uri\":" + uri + ",\"range\":";
            append_range(out, d, f.note_offset, f.note_offset);
            out += "},\"message\":" + json_text(f.note) + "}]";
        }
        out += "}";
    }
    return out + "]";
}

// The checker's spellings as quick fixes, for the findings in a range.
json on_code_action(const json& params)
{
    text_document& d = document_of(params);
    const model_program& p = program_of(d);
    const json& range = field(params, "range");
    long long from = offset_of(d, field(range, "start")), to = offset_of(d, field(range, "end"));
    json actions = json::array();
    if (too_large(d))
        return actions;
    for (const check_finding& f : findings_of(d)) {
        int t = model_token_at(p, f.offset);
        if (f.fix.empty() || t < 0)
            continue;
        const model_token& token = p.tokens[(size_t)t];
        if (token.end < from || token.start > to)
            continue;
        json edit = {{"range", range_json(d, token.start, token.end)}, {"newText", f.fix}};
        actions.push_back({{"title", "Write '" + f.fix + "'"},
                           {"kind", "quickfix"},
                           {"isPreferred", true},
                           {"edit", {{"changes", {{d.uri, json::array({edit})}}}}}});
    }
    return actions;
}

// --- requests on labels and jumps

// The label that token i names or is: -1 when its text has none.
int label_of(const model_program& p, int i)
{
    if (i < 0)
        return -1;
    const model_token& t = p.tokens[(size_t)i];
    if (t.role == ROLE_LABEL)
        return i;
    if ((t.role == ROLE_REFERENCE || t.role == ROLE_WORD) && t.label >= 0 &&
        p.tokens[(size_t)t.label].role == ROLE_LABEL)
        return t.label;
    return -1;
}

json on_definition(const json& params)
{
    text_document& d = document_of(params);
    const model_program& p = program_of(d);
    int i = token_under(d, params);
    int label = label_of(p, i);
    if (label < 0)
        return nullptr;
    const model_token& l = p.tokens[(size_t)label];
    return location_json(d, l.start, l.end);
}

// The jumps to label `label`, and the label itself when asked.
std::vector<int> uses_of(const model_program& p, int label, bool with_label)
{
    std::vector<int> uses;
    for (size_t k = 0; k < p.tokens.size(); k++) {
        const model_token& t = p.tokens[k];
        if ((t.role == ROLE_REFERENCE && t.label == label) || (with_label && (int)k == label))
            uses.push_back((int)k);
    }
    return uses;
}

json on_references(const json& params)
{
    text_document& d = document_of(params);
    const model_program& p = program_of(d);
    int label = label_of(p, token_under(d, params));
    json list = json::array();
    if (label < 0)
        return list;
    bool with_label = field(field(params, "context"), "includeDeclaration") != false;
    for (int k : uses_of(p, label, with_label))
        list.push_back(location_json(d, p.tokens[(size_t)k].start, p.tokens[(size_t)k].end));
    return list;
}

json on_highlight(const json& params)
{
    text_document& d = document_of(params);
    const model_program& p = program_of(d);
    int i = token_under(d, params);
    json list = json::array();
    if (i < 0)
        return list;
    int label = label_of(p, i);
    std::vector<int> same = label >= 0 ? uses_of(p, label, true) : model_same_text(p, i);
    for (int k : same)
        list.push_back({{"range", range_json(d, p.tokens[(size_t)k].start, p.tokens[(size_t)k].end)},
                        {"kind", k == label ? 3 : 2}});
    return list;
}

// Each label, with the range up to the next label (or the end).
json on_document_symbols(const json& params)
{
    text_document& d = document_of(params);
    const model_program& p = program_of(d);
    json list = json::array();
    for (size_t n = 0; n < p.labels.size(); n++) {
        const model_token& l = p.tokens[(size_t)p.labels[n]];
        long long end = n + 1 < p.labels.size() ? p.tokens[(size_t)p.labels[n + 1]].start : (long long)d.bytes.size();
        while (end > l.end && (d.bytes[(size_t)end - 1] == '\n' || d.bytes[(size_t)end - 1] == '\r' ||
                               d.bytes[(size_t)end - 1] == ' ' || d.bytes[(size_t)end - 1] == '\t'))
            end--;
        list.push_back({{"name", l.text},
                        {"kind", 12},  // function: what a label names is code
                        {"range", range_json(d, l.start, end)},
                        {"selectionRange", range_json(d, l.start, l.end)}});
    }
    return list;
}

json on_workspace_symbols(const json& params)
{
    const json& q = field(params, "query");
    std::string query = q.is_string() ? q.get<std::string>() : "";
    json list = json::array();
    for (auto& [uri, d] : text_documents) {
        const model_program& p = program_of(d);
        for (int i : p.labels) {
            const model_token& l = p.tokens[(size_t)i];
            if (l.text.find(query) != std::string::npos)
                list.push_back({{"name", l.text}, {"kind", 12}, {"location", location_json(d, l.start, l.end)}});
        }
    }
    return list;
}

// --- hover

std::string line_of(const text_document& d, long long offset)
{
    long long line, character;
    text_position(d, offset, line, character);
    return std::to_string(line + 1);
}

std::string spelled(int type)
{
    switch (type) {
    case 15: return "'#'";
    case 17: return "'$'";
    case 6: return "a bare number";
    case 5: return "a word";
    case 7: return "a string";
    default: return "another kind of token";
    }
}

// What the service of `int` at token i is, from its operand.
std::string service_words(const model_program& p, int i)
{
    const model_token& t = p.tokens[(size_t)i];
    if (t.operand < 0)
        return "\n\nIts operand search finds nothing here: it calls service 0, which does nothing.";
    const model_token& o = p.tokens[(size_t)t.operand];
    if (o.role != ROLE_IMMEDIATE && o.role != ROLE_ADDRESS)
        return "\n\nThe service is the value of the register `" + o.text + "` when it runs.";
    std::string name = words_service_name(t.value);
    if (name.empty() || !service_known(t.value))
        return "\n\nService " + std::to_string(t.value) + " does nothing.";
    return "\n\n**Service " + std::to_string(t.value) + ": " + name + "**. " + words_service(t.value);
}

json on_hover(const json& params)
{
    text_document& d = document_of(params);
    const model_program& p = program_of(d);
    int i = token_under(d, params);
    if (i < 0)
        return nullptr;
    const model_token& t = p.tokens[(size_t)i];
    std::string text;
    switch (t.role) {
    case ROLE_LABEL:
    case ROLE_REFERENCE:
    case ROLE_WORD: {
        int label = label_of(p, i);
        if (label < 0) {
            text = t.role == ROLE_REFERENCE ? "**" + t.text + "**: no label of this text; a jump to it goes on after it"
                                            : "";
            break;
        }
        const model_token& l = p.tokens[(size_t)label];
        text = "**" + l.text + "**: label at line " + line_of(d, l.start);
        if (t.role == ROLE_REFERENCE) {
            text += t.lands >= 0 ? "; this jump lands on line " + line_of(d, p.tokens[(size_t)t.lands].start) +
                                       " (`" + p.tokens[(size_t)t.lands].text + "`)"
                                 : "; this jump lands past the end of the program";
        }
        break;
    }
    case ROLE_INSTRUCTION: {
        std::string words = words_mnemonic(t.text);
        if (words.empty())
            break;
        std::string lower = t.text;
        for (char& c : lower)
            c = (char)tolower((unsigned char)c);
        text = "**" + lower + "**: " + words;
        if (lower == "int")
            text += service_words(p, i);
        break;
    }
    case ROLE_IMMEDIATE:
    case ROLE_ADDRESS:
    case ROLE_NUMBER: {
        std::string kind = t.first_type == 15 ? "an immediate number" : t.first_type == 17 ? "an address" : "a bare number";
        text = "`" + t.text + "` is " + kind + " here";
        if (t.first_type != t.type)
            text += ", because its text was first spelled " + spelled(t.first_type) + " at line " +
                    line_of(d, t.first_start);
        const model_token* owner = t.owner >= 0 ? &p.tokens[(size_t)t.owner] : nullptr;
        if (owner)
            text += "; the operand of `" + owner->text + "` on line " + line_of(d, owner->start);
        if (t.numeric)
            text += "\n\n" + numbers_words(t.number, t.first_type == TOK_HEX);
        if (owner && strcasecmp(owner->text.c_str(), "int") == 0)
            text += service_words(p, t.owner);
        break;
    }
    default:
        break;
    }
    if (t.passed && !text.empty())
        text += "\n\nNo pass of the machine ever starts here.";
    if (text.empty())
        return nullptr;
    return {{"contents", {{"kind", "markdown"}, {"value", text}}}, {"range", range_json(d, t.start, t.end)}};
}

// --- completion

// The line's text before the cursor.
std::string before_cursor(const text_document& d, long long offset)
{
    source_place at = position_locate(d.line_starts, offset);
    long long start = d.line_starts[(size_t)at.line - 1];
    return d.bytes.substr((size_t)start, (size_t)(offset - start));
}

// The protocol's kinds of the items the server completes, which editors
// show as icons.
enum completion_kind {
    KIND_FUNCTION = 3,     // a label: what it names is code
    KIND_KEYWORD = 14,     // a mnemonic
    KIND_ENUM_MEMBER = 20, // a service: one of the machine's numbered set
};

json completion_item(const std::string& label, completion_kind kind, const std::string& detail, const std::string& doc)
{
    json item = {{"label", label}, {"kind", kind}, {"detail", detail}};
    if (!doc.empty())
        item["documentation"] = {{"kind", "markdown"}, {"value", doc}};
    return item;
}

json on_completion(const json& params)
{
    text_document& d = document_of(params);
    const model_program& p = program_of(d);
    long long offset = offset_of(d, field(params, "position"));
    std::string line = before_cursor(d, offset);
    json items = json::array();
    // Cut the comment and the word being typed; what stays is the context.
    if (line.find(';') != std::string::npos)
        return items;
    size_t word = line.size();
    while (word > 0 && (isalnum((unsigned char)line[word - 1]) || line[word - 1] == '_'))
        word--;
    std::string context = line.substr(0, word);
    std::vector<std::string> words = words_split(context);
    auto lower = [](std::string w) {
        for (char& c : w)
            c = (char)tolower((unsigned char)c);
        return w;
    };
    // "int #" and the digits being typed: the services.
    if (!context.empty() && context.back() == '#') {
        if (words.size() >= 2 && lower(words[words.size() - 2]) == "int") {
            // Editors sort by text unless told: the numbers, padded, sort as numbers.
            for (const std::string& n : words_split(words_service_numbers())) {
                json item = completion_item(n, KIND_ENUM_MEMBER, words_service_name(std::stoi(n)), words_service(std::stoi(n)));
                item["sortText"] = std::string(n.size() < 10 ? 10 - n.size() : 0, '0') + n;
                items.push_back(std::move(item));
            }
        }
        return items;
    }
    char jump_text[LEXEME_SIZE];
    if (!words.empty() && words.back().size() < sizeof jump_text) {
        strcpy(jump_text, words.back().c_str());
        if (sym_is_jump(trans_opcode(jump_text))) {
            for (int i : p.labels) {
                const model_token& l = p.tokens[(size_t)i];
                items.push_back(completion_item(l.text, KIND_FUNCTION, "label at line " + line_of(d, l.start), ""));
            }
            return items;
        }
    }
    // The start of a statement: nothing before the word, or only a label.
    bool statement = words.empty();
    if (words.size() == 1) {
        strcpy(jump_text, words[0].size() < sizeof jump_text ? words[0].c_str() : "");
        statement = trans_opcode(jump_text) == 0 && line.size() && !isspace((unsigned char)line[0]);
    }
    if (statement)
        for (int i = 1; op_array[i]; i++)
            items.push_back(completion_item(op_array[i], KIND_KEYWORD, "instruction", words_mnemonic(op_array[i])));
    return items;
}

// --- rename

json on_rename(const json& params)
{
    text_document& d = document_of(params);
    const model_program& p = program_of(d);
    int label = label_of(p, token_under(d, params));
    if (label < 0)
        throw server_failure{REQUEST_FAILED, "only a label can be renamed here"};
    std::string name = string_field(params, "newName");
    // The new name must read as one word, as the machine would read it.
    std::vector<lex_note> notes = mlex_source(name);
    bool one_word = notes.size() == 1 && symbols.head && symbols.head->tok->tok_type == TOK_WORD &&
                    symbols.head->tok->lexeme == name;
    bool mnemonic = one_word && symbols.head->tok->pcode != 0;
    sym_free(&symbols);
    sym_init(&symbols);
    if (!one_word)
        throw server_failure{REQUEST_FAILED, "'" + name + "' is not a word: a label is letters only"};
    if (mnemonic)
        throw server_failure{REQUEST_FAILED, "'" + name + "' is a mnemonic, which the machine would run"};
    for (const model_token& t : p.tokens)
        if (t.text == name)
            throw server_failure{REQUEST_FAILED, "'" + name + "' is already a text of the program: the machine would take both for one"};
    json edits = json::array();
    for (int k : model_same_text(p, label))
        edits.push_back({{"range", range_json(d, p.tokens[(size_t)k].start, p.tokens[(size_t)k].end)}, {"newText", name}});
    return {{"changes", {{d.uri, edits}}}};
}

// --- semantic tokens

enum { T_INSTRUCTION, T_LABEL, T_OPERAND, T_WORD, T_NUMBER, T_STRING, T_COMMENT };
enum { M_DECLARATION = 1, M_ADDRESS = 2, M_IMMEDIATE = 4, M_BARE = 8, M_PASSED = 16 };

struct painted {
    long long start, end;
    int type, modifiers;
};

// Every token and comment with its type, in order.
std::vector<painted> paint(const text_document& d, const model_program& p)
{
    std::vector<painted> out;
    long long gap = 0;
    auto comments = [&](long long upto) {
        for (long long k = gap; k < upto; k++) {
            if (d.bytes[(size_t)k] != ';')
                continue;
            long long end = k;
            while (end < upto && d.bytes[(size_t)end] != '\n')
                end++;
            out.push_back({k, end, T_COMMENT, 0});
            k = end;
        }
    };
    for (const model_token& t : p.tokens) {
        comments(std::max(gap, t.start));
        int type = T_WORD, mods = 0;
        switch (t.role) {
        case ROLE_INSTRUCTION: type = T_INSTRUCTION; break;
        case ROLE_LABEL: type = T_LABEL; mods = M_DECLARATION; break;
        case ROLE_REFERENCE: type = T_LABEL; break;
        case ROLE_IMMEDIATE: type = T_NUMBER; mods = M_IMMEDIATE; break;
        case ROLE_ADDRESS: type = T_NUMBER; mods = M_ADDRESS; break;
        case ROLE_NUMBER: type = T_NUMBER; mods = M_BARE; break;
        case ROLE_STRING: type = T_STRING; break;
        case ROLE_WORD: type = t.owner >= 0 ? T_OPERAND : T_WORD; break;
        default: type = -1; break;
        }
        if (t.passed)
            mods |= M_PASSED;
        if (type >= 0 && t.end > t.start)
            out.push_back({t.start, t.end, type, mods});
        gap = std::max(gap, t.end);
    }
    comments((long long)d.bytes.size());
    return out;
}

json semantic_data(const text_document& d, const model_program& p, long long from, long long to)
{
    json data = json::array();
    long long last_line = 0, last_char = 0;
    for (const painted& t : paint(d, p)) {
        if (t.end <= from || t.start >= to)
            continue;
        // A token over several lines (a string) is painted line by line.
        for (long long s = t.start; s < t.end;) {
            long long e = s;
            while (e < t.end && d.bytes[(size_t)e] != '\n')
                e++;
            long long line, start, end_line, end;
            text_position(d, s, line, start);
            text_position(d, e, end_line, end);
            if (end > start) {
                data.push_back(line - last_line);
                data.push_back(line == last_line ? start - last_char : start);
                data.push_back(end - start);
                data.push_back(t.type);
                data.push_back(t.modifiers);
                last_line = line;
                last_char = start;
            }
            s = e + 1;
        }
    }
    return data;
}

json on_semantic_full(const json& params)
{
    text_document& d = document_of(params);
    return {{"data", semantic_data(d, program_of(d), 0, (long long)d.bytes.size())}};
}

json on_semantic_range(const json& params)
{
    text_document& d = document_of(params);
    const json& range = field(params, "range");
    return {{"data", semantic_data(d, program_of(d), offset_of(d, field(range, "start")), offset_of(d, field(range, "end")))}};
}

int exit_status = 1;

}  // namespace

void server_reset()
{
    text_documents.clear();
    programs_read.clear();
    initialized = shut_down = false;
    exit_status = 1;
}

int server_exit_status()
{
    return exit_status;
}

void server_publish_pending()
{
    for (auto& [uri, d] : text_documents) {
        if (d.checked)
            continue;
        d.checked = true;
        rpc_write("{\"jsonrpc\":\"2.0\",\"method\":\"textDocument/publishDiagnostics\",\"params\":{\"uri\":" +
                  json_text(uri) + ",\"version\":" + std::to_string(d.version) + ",\"diagnostics\":" + diagnostics_of(d) +
                  "}}");
    }
}

void server_bad_frame(const std::string& why)
{
    send_error(nullptr, PARSE_ERROR, "cannot read the message: " + why);
}

bool server_handle(const std::string& body)
{
    json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        send_error(nullptr, PARSE_ERROR, "the message is not JSON");
        return true;
    }
    const json& id = field(message, "id");
    const json& method_field = field(message, "method");
    bool request = message.is_object() && message.contains("id");
    if (!method_field.is_string()) {
        if (request || !message.is_object() || !message.contains("result"))
            send_error(id, INVALID_REQUEST, "a message needs a method");
        return true;  // a response to us: the server asks nothing
    }
    std::string method = method_field.get<std::string>();
    const json& params = field(message, "params");
    if (method == "exit") {
        exit_status = shut_down ? 0 : 1;
        return false;
    }
    try {
        if (!initialized && method != "initialize") {
            if (request)
                send_error(id, SERVER_NOT_INITIALIZED, "initialize comes first");
            return true;
        }
        json result;
        if (method == "initialize") result = on_initialize(params);
        else if (method == "initialized") return true;
        else if (method == "shutdown") { shut_down = true; result = nullptr; }
        else if (method == "textDocument/didOpen") { on_open(params); return true; }
        else if (method == "textDocument/didChange") { on_change(params); return true; }
        else if (method == "textDocument/didClose") { on_close(params); return true; }
        else if (method == "textDocument/didSave") return true;
        else if (method == "textDocument/definition") result = on_definition(params);
        else if (method == "textDocument/references") result = on_references(params);
        else if (method == "textDocument/documentHighlight") result = on_highlight(params);
        else if (method == "textDocument/documentSymbol") result = on_document_symbols(params);
        else if (method == "workspace/symbol") result = on_workspace_symbols(params);
        else if (method == "textDocument/hover") result = on_hover(params);
        else if (method == "textDocument/completion") result = on_completion(params);
        else if (method == "textDocument/rename") result = on_rename(params);
        else if (method == "textDocument/codeAction") result = on_code_action(params);
        else if (method == "textDocument/semanticTokens/full") result = on_semantic_full(params);
        else if (method == "textDocument/semanticTokens/range") result = on_semantic_range(params);
        else if (method.starts_with("$/") || !request) return true;  // notifications may be ignored
        else throw server_failure{METHOD_NOT_FOUND, "no method is named " + method};
        if (request)
            send_response(id, std::move(result));
    } catch (const server_failure& f) {
        if (request)
            send_error(id, f.code, f.message);
    } catch (const std::exception& e) {
        if (request)
            send_error(id, REQUEST_FAILED, e.what());
    }
    return true;
}
