// The protocol: the lifecycle, document sync and the requests. Every
// answer comes from the machine's own reading (model.cpp) and the
// checker's findings, so the server holds no rules of its own.
#include "server.h"

#include <nlohmann/json.hpp>

#include "check.h"
#include "model.h"
#include "rpc.h"
#include "text.h"

using json = nlohmann::json;

#ifndef ZORVIK_CHECKING_DOCS
#define ZORVIK_CHECKING_DOCS "docs/checking.md"
#endif

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

bool initialized = false;
bool shut_down = false;

void send_response(const json& id, const json& result)
{
    rpc_write(json{{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}.dump(-1, ' ', false, json::error_handler_t::replace));
}

void send_error(const json& id, int code, const std::string& message)
{
    rpc_write(json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}}.dump(
        -1, ' ', false, json::error_handler_t::replace));
}

void send_notification(const std::string& method, const json& params)
{
    rpc_write(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump(
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

// The program of a document, read once per version of its text.
const model_program& program_of(text_document& d)
{
    static std::map<std::string, std::pair<std::string, model_program>> read;
    auto& [bytes, program] = read[d.uri];
    if (bytes.size() != d.bytes.size() || bytes != d.bytes || program.tokens.empty()) {
        bytes = d.bytes;
        program = model_read(d.bytes);
    }
    return program;
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
        std::string bytes = d.bytes;
        bytes.replace((size_t)from, (size_t)(to - from), text);
        text_set(d, std::move(bytes));
    }
    const json& version = field(field(params, "textDocument"), "version");
    if (version.is_number_integer())
        d.version = version.get<int>();
}

void on_close(const json& params)
{
    std::string uri = string_field(field(params, "textDocument"), "uri");
    if (text_documents.erase(uri))
        send_notification("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", json::array()}});
}

// --- diagnostics

json diagnostics_of(text_document& d)
{
    json list = json::array();
    const model_program& p = program_of(d);
    for (const check_finding& f : check_source(d.bytes)) {
        int t = model_token_at(p, f.offset);
        long long end = t >= 0 && p.tokens[(size_t)t].end > f.offset ? p.tokens[(size_t)t].end : f.offset;
        std::string name = check_warnings[f.warning].name;
        json item = {{"range", range_json(d, f.offset, end)},
                     {"severity", 2},
                     {"source", "zorvik-check"},
                     {"code", name},
                     {"codeDescription", {{"href", std::string(ZORVIK_CHECKING_DOCS) + "#" + name}}},
                     {"message", f.message}};
        if (f.note_offset >= 0)
            item["relatedInformation"] = json::array(
                {{{"location", location_json(d, f.note_offset, f.note_offset)}, {"message", f.note}}});
        list.push_back(item);
    }
    return list;
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
    case ROLE_IMMEDIATE:
    case ROLE_ADDRESS:
    case ROLE_NUMBER: {
        std::string kind = t.first_type == 15 ? "an immediate number" : t.first_type == 17 ? "an address" : "a bare number";
        text = "`" + t.text + "` is " + kind + " here";
        if (t.first_type != t.type)
            text += ", because its text was first spelled " + spelled(t.first_type) + " at line " +
                    line_of(d, t.first_start);
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

int exit_status = 1;

}  // namespace

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
        json params = {{"uri", uri}, {"version", d.version}, {"diagnostics", diagnostics_of(d)}};
        send_notification("textDocument/publishDiagnostics", params);
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
        else if (method.starts_with("$/") || !request) return true;  // notifications may be ignored
        else throw server_failure{METHOD_NOT_FOUND, "no method is named " + method};
        if (request)
            send_response(id, result);
    } catch (const server_failure& f) {
        if (request)
            send_error(id, f.code, f.message);
    } catch (const std::exception& e) {
        if (request)
            send_error(id, REQUEST_FAILED, e.what());
    }
    return true;
}
