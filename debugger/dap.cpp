// The Debug Adapter Protocol: messages framed by Content-Length headers on
// standard input and output, their JSON mapping, and one table of request
// handlers that do their work through the session. The program's console
// output becomes output events; a reader thread takes requests while the
// program runs, so that pause stops it.
#include "dap.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "debugger.h"
#include "halt.h"
#include "layout.h"
#include "machine.h"
#include "screen.h"
#include "stack.h"

using json = nlohmann::json;

namespace {

// Sending: one message at a time, whichever thread sends it.
std::mutex send_lock;
int send_fd = 1;
int next_seq = 1;
void (*dap_sink)(const std::string& framed) = nullptr;

void send(json message)
{
    std::lock_guard<std::mutex> hold(send_lock);
    message["seq"] = next_seq++;
    std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
    std::string framed = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    if (dap_sink) {
        dap_sink(framed);
        return;
    }
    for (size_t at = 0; at < framed.size();) {
        ssize_t n = write(send_fd, framed.data() + at, framed.size() - at);
        if (n <= 0)
            return;
        at += (size_t)n;
    }
}

void event(const std::string& name, json body = json::object())
{
    send({{"type", "event"}, {"event", name}, {"body", std::move(body)}});
}

void respond(const json& request, json body = json::object())
{
    send({{"type", "response"}, {"request_seq", request.value("seq", 0)}, {"success", true},
          {"command", request.value("command", "")}, {"body", std::move(body)}});
}

void refuse(const json& request, const std::string& why)
{
    send({{"type", "response"}, {"request_seq", request.is_object() ? request.value("seq", 0) : 0},
          {"success", false}, {"command", request.is_object() ? request.value("command", "") : ""},
          {"message", why}, {"body", {{"error", {{"id", 1}, {"format", why}}}}}});
}

void output(const std::string& category, const std::string& text)
{
    event("output", {{"category", category}, {"output", text}});
}

void log_output(const std::string& text)
{
    output("console", text);
}

// A value as the debugger prints it.
std::string shown(int64_t v)
{
    char b[64];
    snprintf(b, sizeof b, "%lld ($%llx)", (long long)v, (unsigned long long)v & 0xFFFFFFFFull);
    return b;
}

const char flag_names[] = "NV-BDIZC";
enum { SCOPE_REGISTERS = 1, SCOPE_FLAGS, SCOPE_STACKS };

bool launched = false;
bool stop_on_entry = false;
std::string program_path;

json source_of()
{
    return {{"name", std::filesystem::path(program_path).filename().string()}, {"path", program_path}};
}

// Line and column of a cell, from "FILE:LINE:COL".
void line_column(const token_cell* c, long long& line, long long& column)
{
    std::string place = dbg_place(c);
    size_t last = place.rfind(':'), before = place.rfind(':', last - 1);
    line = std::stoll(place.substr(before + 1, last - before - 1));
    column = std::stoll(place.substr(last + 1));
}

// Whether an ended run stays to be gone back through: with a history, the
// end is a stop like any other until the session ends.
bool end_kept()
{
    return history_on() && history_info().entries > 0;
}

// After a motion: the stop as a stopped event, or the end as exited and
// terminated; with a history, the end as a stopped event of reason "end".
void report(const dbg_stop& stop)
{
    if (stop.refused) {
        output("console", stop.reason + "\n");
        event("stopped", {{"reason", dbg.ended ? "end" : "step"}, {"threadId", 1}, {"allThreadsStopped", true}});
        return;
    }
    if (stop.ended && end_kept()) {
        event("stopped", {{"reason", "end"}, {"threadId", 1}, {"allThreadsStopped", true}, {"description", stop.reason},
                          {"exitCode", dbg.status}});
        return;
    }
    if (stop.ended) {
        event("exited", {{"exitCode", dbg.status}});
        event("terminated");
        return;
    }
    const std::string& r = stop.reason;
    json body = {{"threadId", 1}, {"allThreadsStopped", true}, {"description", r}};
    if (r.rfind("breakpoint ", 0) == 0 || r.rfind("temporary breakpoint ", 0) == 0) {
        body["reason"] = "breakpoint";
        body["hitBreakpointIds"] = {std::stoi(r.substr(r.find_last_of(' ') + 1))};
    } else if (r.rfind("watchpoint ", 0) == 0) {
        body["reason"] = "data breakpoint";
        body["hitBreakpointIds"] = {std::stoi(r.substr(11))};
    } else if (r == "interrupted") {
        body["reason"] = "pause";
    } else if (r == "start") {
        body["reason"] = "entry";
    } else {
        body["reason"] = "step";
    }
    event("stopped", body);
}

void move(dbg_motion how)
{
    if (halt_signal == SIGINT)
        halt_signal = 0;
    report(dbg_move(how));
}

// The run from its first statement after a launch or a restart, unless it
// stops on entry: a breakpoint on that statement stops it there.
void run_from_entry()
{
    if (stop_on_entry) {
        report({"start", false, false});
        return;
    }
    if (halt_signal == SIGINT)
        halt_signal = 0;
    report(dbg_continue_at(dbg.at));
}

// hitCondition: the breakpoint stops from its Nth hit on.
long long hits_before(const json& b)
{
    std::string h = b.value("hitCondition", "");
    size_t digit = h.find_first_of("0123456789");
    if (digit == std::string::npos || h.size() - digit > 12)
        return 0;
    long long n = std::stoll(h.substr(digit));
    return n > 0 ? n - 1 : 0;
}

bool set_condition(dbg_point& p, const json& b, std::string& message)
{
    std::string text = b.value("condition", "");
    if (text.empty())
        return true;
    std::string error;
    size_t column;
    if (dbg_expr_compile(text, p.condition, error, column))
        return true;
    message = "bad condition at column " + std::to_string(column) + ": " + error;
    return false;
}

// Replaces the points of one kind with those of the request.
void drop_points(bool (*of_kind)(const dbg_point&))
{
    for (size_t i = dbg.points.size(); i-- > 0;)
        if (of_kind(dbg.points[i]))
            dbg_delete_point(i);
}

json add_point(const json& b, dbg_point_kind kind, const std::string& where)
{
    std::string error;
    token_cell* c = dbg_locate(where, error);
    if (!c)
        return {{"verified", false}, {"message", error}};
    dbg_point p;
    p.number = dbg.next_number++;
    p.kind = kind;
    p.where = where;
    p.cell = c;
    p.ignore = hits_before(b);
    p.log = b.value("logMessage", "");
    if (!set_condition(p, b, error))
        return {{"verified", false}, {"message", error}};
    dbg.points.push_back(p);
    dbg_arm(dbg.points.back());
    long long line, column;
    line_column(c, line, column);
    return {{"id", p.number}, {"verified", true}, {"line", line}, {"column", column}, {"source", source_of()}};
}

bool is_line_point(const dbg_point& p) { return p.kind == POINT_LINE; }
bool is_label_point(const dbg_point& p) { return p.kind == POINT_LABEL; }
bool is_data_point(const dbg_point& p) { return p.kind == POINT_WATCH_MEMORY; }

// ---- requests ----

void on_initialize(const json& r)
{
    respond(r, {{"supportsConfigurationDoneRequest", true},
                {"supportsConditionalBreakpoints", true},
                {"supportsHitConditionalBreakpoints", true},
                {"supportsLogPoints", true},
                {"supportsFunctionBreakpoints", true},
                {"supportsDataBreakpoints", true},
                {"supportsSetVariable", true},
                {"supportsReadMemoryRequest", true},
                {"supportsWriteMemoryRequest", true},
                {"supportsStepBack", true},
                {"supportsRestartRequest", true},
                {"supportsTerminateRequest", true},
                {"supportsEvaluateForHovers", true},
                {"zorvikRequests", {"zorvikPixel", "zorvikScreen", "zorvikRunTo", "zorvikReverseToWriter",
                                    "zorvikReverseNext", "zorvikReverseFinish", "zorvikNextFrame"}}});
}

// Before a client changes the machine: where the run has gone back, the
// recorded future is dropped, and the client is told.
void note_change()
{
    if (dbg_change())
        output("important", std::string(DBG_FORKED) + "\n");
}

// The parts of the run a launch names, so that it replays as a test or a
// capture played it: `seed` (a number; the clock's without it), `keys` (a
// key script, items separated by commas or lines), `inputText` (the
// console input's text) or `input` (a file holding it, as launches always
// named it). False, refused, when
// one cannot be used; the part says which.
// Where the console input comes from when a launch names none: nothing
// natively, the page's console in the page. A launch that named one put
// its file in its place.
#ifdef ZORVIK_WEB
const char* const no_input = "/dev/stdin";
#else
const char* const no_input = "/dev/null";
#endif
bool input_replaced = false;

bool launch_run_parts(const json& r, const json& a)
{
    if (a.contains("seed")) {
        if (!a["seed"].is_number_unsigned() || a["seed"].get<uint64_t>() > 4294967295ull) {
            refuse(r, "'seed' must be a whole number from 0 to 4294967295");
            return false;
        }
        dbg_seed = (unsigned)a["seed"].get<uint64_t>();
    } else {
        dbg_seed = (unsigned)time(nullptr);
    }
    std::string error;
    if (a.contains("keys") && !a["keys"].is_string()) {
        refuse(r, "'keys' must be the text of a key script, such as \"10:right:down, 40:right:up\"");
        return false;
    }
    if (!dbg_keys_read(a.value("keys", ""), error)) {
        refuse(r, "bad 'keys', " + error);
        return false;
    }
    dbg_input_from_file("");
    if (input_replaced && !freopen(no_input, "r", stdin)) {
        refuse(r, std::string("cannot read the console input from ") + no_input + ": " + strerror(errno));
        return false;
    }
    input_replaced = a.contains("inputText") || a.contains("input");
    if (a.contains("inputText")) {
        if (!a["inputText"].is_string()) {
            refuse(r, "'inputText' must be the text of the console input");
            return false;
        }
        if (!dbg_input_text(a["inputText"].get<std::string>(), error)) {
            refuse(r, error);
            return false;
        }
    } else if (a.contains("input") && a["input"].is_string()) {
        std::string path = a["input"].get<std::string>();
        if (!freopen(path.c_str(), "r", stdin)) {
            refuse(r, "cannot read the input file '" + path + "': " + strerror(errno));
            return false;
        }
        dbg_input_from_file(path);
    }
    return true;
}

void on_launch(const json& r)
{
    json a = r.value("arguments", json::object());
    if (!a.contains("program") || !a["program"].is_string()) {
        refuse(r, "launch needs 'program', the path of a .zvs source");
        return;
    }
    if (a.contains("cwd") && a["cwd"].is_string() && chdir(a["cwd"].get<std::string>().c_str()) != 0) {
        refuse(r, "cannot enter the folder '" + a["cwd"].get<std::string>() + "': " + strerror(errno));
        return;
    }
    program_path = std::filesystem::absolute(a["program"].get<std::string>()).string();
    if (!dbg_load(program_path)) {
        refuse(r, "cannot open source file '" + program_path + "': " + strerror(errno));
        return;
    }
    if (!launch_run_parts(r, a))
        return;
    stop_on_entry = a.value("stopOnEntry", false);
    // A launch starts afresh: where the adapter outlives a session (the
    // page's does), no point or history of the last session stays, and the
    // first point is number 1 again.
    while (!dbg.points.empty())
        dbg_delete_point(dbg.points.size() - 1);
    dbg.next_number = 1;
    history_stop();
    if (a.value("record", false))
        history_start(history_limit);
    dbg_restart();
    launched = true;
    respond(r);
    event("initialized");
}

void on_set_breakpoints(const json& r)
{
    json a = r.value("arguments", json::object());
    drop_points(is_line_point);
    json out = json::array();
    for (const json& b : a.value("breakpoints", json::array()))
        out.push_back(b.contains("line") && b["line"].is_number_integer()
                          ? add_point(b, POINT_LINE, std::to_string(b["line"].get<long long>()))
                          : json{{"verified", false}, {"message", "a breakpoint needs a line"}});
    respond(r, {{"breakpoints", out}});
}

void on_set_function_breakpoints(const json& r)
{
    json a = r.value("arguments", json::object());
    drop_points(is_label_point);
    json out = json::array();
    for (const json& b : a.value("breakpoints", json::array()))
        out.push_back(b.contains("name") && b["name"].is_string() && !b["name"].get<std::string>().empty() &&
                              !isdigit((unsigned char)b["name"].get<std::string>().back())
                          ? add_point(b, POINT_LABEL, b["name"].get<std::string>())
                          : json{{"verified", false}, {"message", "a function breakpoint names a label"}});
    respond(r, {{"breakpoints", out}});
}

// A data breakpoint watches a memory cell: its name is an address.
void on_data_breakpoint_info(const json& r)
{
    json a = r.value("arguments", json::object());
    std::string name = a.value("name", "");
    dbg_expr e;
    std::string error;
    size_t column;
    int64_t at = 0;
    if (!dbg_expr_compile(name, e, error, column) || !dbg_expr_constant(e) || !dbg_expr_eval(e, at, error) ||
        at < 0 || at >= MEMORY_SIZE) {
        respond(r, {{"dataId", nullptr}, {"description", "only a memory address ($0 to $ffffff) can be watched"}});
        return;
    }
    respond(r, {{"dataId", std::to_string(at)}, {"description", "memory cell " + name},
                {"accessTypes", {"write"}}, {"canPersist", true}});
}

void on_set_data_breakpoints(const json& r)
{
    json a = r.value("arguments", json::object());
    drop_points(is_data_point);
    json out = json::array();
    for (const json& b : a.value("breakpoints", json::array())) {
        std::string id = b.value("dataId", "");
        if (id.empty() || id.size() > 9 || id.find_first_not_of("0123456789") != std::string::npos ||
            std::stoll(id) >= MEMORY_SIZE) {
            out.push_back({{"verified", false}, {"message", "not a data breakpoint of this adapter"}});
            continue;
        }
        dbg_point p;
        p.number = dbg.next_number++;
        p.kind = POINT_WATCH_MEMORY;
        p.address = std::stoll(id);
        p.length = 1;
        p.where = "$" + id;
        std::string error;
        if (!set_condition(p, b, error)) {
            out.push_back({{"verified", false}, {"message", error}});
            continue;
        }
        p.ignore = hits_before(b);
        dbg.points.push_back(p);
        dbg_arm(dbg.points.back());
        out.push_back({{"id", p.number}, {"verified", true}});
    }
    respond(r, {{"breakpoints", out}});
}

void on_configuration_done(const json& r)
{
    respond(r);
    if (launched)
        run_from_entry();
}

void on_threads(const json& r)
{
    respond(r, {{"threads", {{{"id", 1}, {"name", "machine"}}}}});
}

json frame(int id, const token_cell* c, const std::string& name)
{
    long long line, column;
    line_column(c, line, column);
    return {{"id", id}, {"name", name}, {"source", source_of()}, {"line", line}, {"column", column}};
}

void on_stack_trace(const json& r)
{
    json frames = json::array();
    for (int n = 0; n < dbg_frames(); n++)
        frames.push_back(frame(n, dbg_frame_cell(n),
                               n == 0 && dbg.ended ? "(ended)" : dbg_statement_text(dbg_frame_cell(n))));
    respond(r, {{"stackFrames", frames}, {"totalFrames", frames.size()}});
}

void on_scopes(const json& r)
{
    respond(r, {{"scopes",
                 {{{"name", "Registers"}, {"variablesReference", SCOPE_REGISTERS}, {"expensive", false}},
                  {{"name", "Flags"}, {"variablesReference", SCOPE_FLAGS}, {"expensive", false}},
                  {{"name", "Stacks"}, {"variablesReference", SCOPE_STACKS}, {"expensive", false}}}}});
}

json variable(const std::string& name, const std::string& value)
{
    return {{"name", name}, {"value", value}, {"variablesReference", 0}};
}

void on_variables(const json& r)
{
    int ref = r.value("arguments", json::object()).value("variablesReference", 0);
    json out = json::array();
    if (ref == SCOPE_REGISTERS) {
        out.push_back(variable("A", shown(_reg.A)));
        out.push_back(variable("X", shown(_reg.X)));
        out.push_back(variable("Y", shown(_reg.Y)));
    } else if (ref == SCOPE_FLAGS) {
        for (int i = 0; i < 8; i++)
            if (flag_names[i] != '-')
                out.push_back(variable(std::string(1, flag_names[i]), std::to_string(_reg.flags[i])));
    } else if (ref == SCOPE_STACKS) {
        out.push_back(variable("return stack depth", std::to_string(the_stack.count)));
        for (int i = the_stack.count - 1; i >= 0; i--)
            out.push_back(variable("return " + std::to_string(i), dbg_place(the_stack.items[i])));
        out.push_back(variable("byte stack depth", std::to_string(int_stack.count)));
        for (int i = int_stack.count - 1; i >= 0; i--)
            out.push_back(variable("byte " + std::to_string(i), shown(int_stack.items[i])));
    } else {
        refuse(r, "no such variables reference");
        return;
    }
    respond(r, {{"variables", out}});
}

bool evaluate(const std::string& text, int64_t& v, std::string& why)
{
    dbg_expr e;
    size_t column;
    if (!dbg_expr_compile(text, e, why, column)) {
        why = "bad expression at column " + std::to_string(column) + ": " + why;
        return false;
    }
    return dbg_expr_eval(e, v, why);
}

void on_set_variable(const json& r)
{
    json a = r.value("arguments", json::object());
    std::string name = a.value("name", ""), why;
    int ref = a.value("variablesReference", 0);
    int64_t v;
    if (!evaluate(a.value("value", ""), v, why)) {
        refuse(r, why);
        return;
    }
    const char* flag = name.size() == 1 && name != "-" ? strchr(flag_names, name[0]) : nullptr;
    // A byte of the byte stack, as the Stacks scope names it: "byte N".
    long long slot = -1;
    if (ref == SCOPE_STACKS && name.rfind("byte ", 0) == 0 && name.size() > 5 && name.size() <= 8 &&
        name.find_first_not_of("0123456789", 5) == std::string::npos)
        slot = std::stoll(name.substr(5));
    bool is_register = ref == SCOPE_REGISTERS && (name == "A" || name == "X" || name == "Y");
    if (!is_register && !(ref == SCOPE_FLAGS && flag) && !(slot >= 0 && slot < int_stack.count)) {
        refuse(r, "only A, X, Y, the flags and the byte stack's bytes can be set here; memory is written with "
                  "writeMemory");
        return;
    }
    note_change();
    int64_t now;
    if (slot >= 0) {
        if (stack_watching)
            stack_watch_slot(1, (int)slot, (uint8_t)v);  // recorded as a change between statements
        now = int_stack.items[slot] = (uint8_t)v;
    } else if (flag) {
        now = _reg.flags[flag - flag_names] = (uint8_t)v;
    } else if (name == "A") {
        now = _reg.A = (int32_t)v;
    } else {
        now = (name == "X" ? _reg.X : _reg.Y) = (uint8_t)v;
    }
    for (dbg_point& p : dbg.points)
        if (p.enabled)
            dbg_watch_refresh(p);
    respond(r, {{"value", ref == SCOPE_FLAGS ? std::to_string(now) : shown(now)}});
}

const char base64_digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const std::vector<uint8_t>& bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = (uint32_t)bytes[i] << 16 | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                     (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += base64_digits[v >> 18 & 63];
        out += base64_digits[v >> 12 & 63];
        out += i + 1 < bytes.size() ? base64_digits[v >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? base64_digits[v & 63] : '=';
    }
    return out;
}

bool unbase64(const std::string& text, std::vector<uint8_t>& out)
{
    uint32_t v = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=')
            break;
        const char* d = strchr(base64_digits, c);
        if (!d || !c)
            return false;
        v = v << 6 | (uint32_t)(d - base64_digits);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back((uint8_t)(v >> bits));
        }
    }
    return true;
}

// A memory reference is "memory", memory from address 0, or an address
// as clients write it: 0x10, 16 or $10. The request's offset counts from
// there.
std::string reference(int64_t address)
{
    char b[32];
    snprintf(b, sizeof b, "0x%llx", (unsigned long long)address);
    return b;
}

// An integer argument; a number of any size or kind is held to +-2^40, far
// past either end of memory, so that nothing after overflows.
int64_t integer(const json& a, const char* key)
{
    constexpr int64_t far = (int64_t)1 << 40;
    const json* v = a.contains(key) ? &a[key] : nullptr;
    if (!v || v->is_null())
        return 0;
    if (v->is_number_unsigned())
        return (int64_t)std::min<uint64_t>(v->get<uint64_t>(), (uint64_t)far);
    if (v->is_number_integer())
        return std::clamp<int64_t>(v->get<int64_t>(), -far, far);
    if (v->is_number_float()) {
        double d = v->get<double>();
        return d != d ? 0 : (int64_t)std::clamp(d, -(double)far, (double)far);
    }
    return v->get<int64_t>();  // not a number: the type error is the answer
}

bool memory_range(const json& a, int64_t& from, const json& r)
{
    std::string ref = a.contains("memoryReference") && a["memoryReference"].is_string()
                          ? a["memoryReference"].get<std::string>() : "";
    std::string digits = ref;
    int base = 10;
    if (ref.rfind("0x", 0) == 0 || ref.rfind("0X", 0) == 0 || ref.rfind("$", 0) == 0) {
        digits = ref.substr(ref[0] == '$' ? 1 : 2);
        base = 16;
    }
    int64_t address = 0;
    if (ref != "memory") {
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of(base == 16 ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos ||
            (address = std::stoll(digits, nullptr, base)) >= MEMORY_SIZE) {
            refuse(r, "the memory reference is 'memory' or an address from 0 to 0xffffff (0x10, 16 or $10)");
            return false;
        }
    }
    from = address + integer(a, "offset");
    return true;
}

void on_read_memory(const json& r)
{
    json a = r.value("arguments", json::object());
    int64_t from;
    if (!memory_range(a, from, r))
        return;
    int64_t count = std::clamp<int64_t>(integer(a, "count"), 0, 1 << 20);
    // Bytes before address 0 come first and are all unreadable: none is
    // sent, and the client skips them, as it does those past the end.
    if (from < 0) {
        respond(r, {{"address", reference(0)}, {"data", ""}, {"unreadableBytes", std::min(count, -from)}});
        return;
    }
    int64_t end = std::min<int64_t>(from + count, MEMORY_SIZE);
    std::vector<uint8_t> bytes;
    for (int64_t i = from; i < end; i++)
        bytes.push_back(mem_read(i));
    respond(r, {{"address", reference(from)}, {"data", base64(bytes)},
                {"unreadableBytes", count - (int64_t)bytes.size()}});
}

void on_write_memory(const json& r)
{
    json a = r.value("arguments", json::object());
    int64_t from;
    std::vector<uint8_t> bytes;
    if (!memory_range(a, from, r))
        return;
    if (!unbase64(a.value("data", ""), bytes)) {
        refuse(r, "the data is not base64");
        return;
    }
    if (from < 0 || from + (int64_t)bytes.size() > MEMORY_SIZE) {
        refuse(r, "cannot write " + std::to_string(bytes.size()) + " bytes at " + std::to_string(from) +
                      ": memory is 0 to 0xffffff");
        return;
    }
    if (!bytes.empty())
        note_change();
    for (size_t i = 0; i < bytes.size(); i++)
        mem_write(from + (int64_t)i, bytes[i]);
    for (dbg_point& p : dbg.points)
        if (p.enabled)
            dbg_watch_refresh(p);
    respond(r, {{"bytesWritten", bytes.size()}});
}

// A memory byte, [ADDR], carries the reference of its cell, where a
// client's memory view opens.
void on_evaluate(const json& r)
{
    std::string text = r.value("arguments", json::object()).value("expression", ""), why;
    dbg_expr e;
    size_t column;
    int64_t v, cell;
    if (!dbg_expr_compile(text, e, why, column)) {
        refuse(r, "bad expression at column " + std::to_string(column) + ": " + why);
        return;
    }
    if (!dbg_expr_eval(e, v, why)) {
        refuse(r, why);
        return;
    }
    json body = {{"result", shown(v)}, {"variablesReference", 0}};
    if (dbg_expr_memory_cell(e, cell))
        body["memoryReference"] = reference(cell);
    respond(r, body);
}

// zorvikPixel: a pixel of the screen area, its cell, the byte there and
// its palette colour, and the statement that last wrote the cell, when the
// history holds it.
void on_pixel(const json& r)
{
    json a = r.value("arguments", json::object());
    if (!a.contains("x") || !a.contains("y") || !a["x"].is_number() || !a["y"].is_number()) {
        refuse(r, "zorvikPixel needs the numbers x and y");
        return;
    }
    int64_t x = integer(a, "x"), y = integer(a, "y");
    if (x < 0 || x >= SCREEN_SIDE || y < 0 || y >= SCREEN_SIDE) {
        refuse(r, "pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                      ") is outside the screen area: x and y are 0 to " + std::to_string(SCREEN_SIDE - 1));
        return;
    }
    int64_t cell = memory_offset + x + SCREEN_ROW * y;
    uint8_t b = mem_read(cell);
    uint32_t rgb = palette_rgb(b);
    json body = {{"cell", cell}, {"byte", b}, {"red", rgb >> 16}, {"green", (rgb >> 8) & 0xFF}, {"blue", rgb & 0xFF}};
    if (token_cell* w = history_on() ? history_writer(cell) : nullptr) {
        long long line, column;
        line_column(w, line, column);
        body["source"] = source_of();
        body["line"] = line;
        body["column"] = column;
    }
    respond(r, body);
}

// zorvikScreen: the screen area as memory holds it now, through the
// palette, whatever the last refresh showed: SCREEN_SIDE rows of
// SCREEN_SIDE pixels, red, green and blue bytes each, in base64.
void on_screen(const json& r)
{
    std::vector<uint8_t> rgb;
    rgb.reserve((size_t)SCREEN_SIDE * SCREEN_SIDE * 3);
    for (int y = 0; y < SCREEN_SIDE; y++)
        for (int x = 0; x < SCREEN_SIDE; x++) {
            uint32_t c = palette_rgb(mem_read(memory_offset + x + SCREEN_ROW * y));
            rgb.push_back((uint8_t)(c >> 16));
            rgb.push_back((uint8_t)(c >> 8));
            rgb.push_back((uint8_t)c);
        }
    respond(r, {{"width", SCREEN_SIDE}, {"height", SCREEN_SIDE}, {"data", base64(rgb)}});
}

// zorvikReverseToWriter: back through the history to the statement that
// last wrote the memory cell `cell`, before it runs.
void on_reverse_to_writer(const json& r)
{
    json a = r.value("arguments", json::object());
    if (!a.contains("cell") || !a["cell"].is_number()) {
        refuse(r, "zorvikReverseToWriter needs the number cell");
        return;
    }
    int64_t cell = integer(a, "cell");
    if (cell < 0 || cell >= MEMORY_SIZE) {
        refuse(r, "memory is 0 to 0xffffff");
        return;
    }
    dbg_stop stop = dbg_reverse_to_writer(cell);
    if (stop.refused) {
        refuse(r, stop.reason);  // nothing moved
        return;
    }
    respond(r);
    report(stop);
}

// zorvikRunTo: runs until the statement of `line` is reached, as `until
// LINE` does, or a breakpoint or the end comes first.
void on_run_to(const json& r)
{
    json a = r.value("arguments", json::object());
    if (!a.contains("line") || !a["line"].is_number()) {
        refuse(r, "zorvikRunTo needs the number line");
        return;
    }
    std::string error;
    token_cell* c = dbg_locate(std::to_string(integer(a, "line")), error);
    if (!c) {
        refuse(r, error);
        return;
    }
    respond(r, {{"allThreadsContinued", true}});
    if (halt_signal == SIGINT)
        halt_signal = 0;
    report(dbg_move(MOTION_UNTIL, c));
}

void on_continue(const json& r)
{
    respond(r, {{"allThreadsContinued", true}});
    move(MOTION_CONTINUE);
}

void on_next(const json& r) { respond(r); move(MOTION_NEXT); }
void on_step_in(const json& r) { respond(r); move(MOTION_STEP); }

void on_step_out(const json& r)
{
    respond(r);
    if (the_stack.count == 0)
        move(MOTION_CONTINUE);  // no subroutine to leave: run on, as in the outermost frame
    else
        move(MOTION_FINISH);
}

void on_pause(const json& r)
{
    respond(r);  // a run stops by itself: the reader raised the stop
}

void on_step_back(const json& r)
{
    respond(r);
    report(dbg_reverse(MOTION_STEP));
}

void on_reverse_continue(const json& r)
{
    respond(r);
    report(dbg_reverse(MOTION_CONTINUE));
}

// zorvikReverseNext and zorvikReverseFinish: back over a whole call, and
// back to the jsr that called the subroutine, as reverse-next and
// reverse-finish go. A refusal moves nothing.
void reverse(const json& r, dbg_motion how)
{
    dbg_stop stop = dbg_reverse(how);
    if (stop.refused) {
        refuse(r, stop.reason);
        return;
    }
    respond(r);
    report(stop);
}

void on_reverse_next(const json& r) { reverse(r, MOTION_NEXT); }
void on_reverse_finish(const json& r) { reverse(r, MOTION_FINISH); }

// zorvikNextFrame: runs on to the first statement after the next frame the
// program draws, through the history as live.
void on_next_frame(const json& r)
{
    respond(r, {{"allThreadsContinued", true}});
    move(MOTION_FRAME);
}

void on_restart(const json& r)
{
    if (!launched) {
        refuse(r, "nothing is launched");
        return;
    }
    dbg_restart();
    respond(r);
    run_from_entry();
}

bool leaving = false;

void on_terminate(const json& r)
{
    respond(r);
    if (dbg.ended && end_kept())
        event("exited", {{"exitCode", dbg.status}});  // the end was a stop: the exit comes now
    event("terminated");
}

void on_disconnect(const json& r)
{
    respond(r);
    leaving = true;
}

struct handler {
    const char* command;
    void (*run)(const json& request);
    bool needs_program;
};

const handler handlers[] = {
    {"initialize", on_initialize, false},
    {"launch", on_launch, false},
    {"setBreakpoints", on_set_breakpoints, true},
    {"setFunctionBreakpoints", on_set_function_breakpoints, true},
    {"setExceptionBreakpoints", [](const json& r) { respond(r, {{"breakpoints", json::array()}}); }, false},
    {"dataBreakpointInfo", on_data_breakpoint_info, true},
    {"setDataBreakpoints", on_set_data_breakpoints, true},
    {"configurationDone", on_configuration_done, false},
    {"threads", on_threads, false},
    {"stackTrace", on_stack_trace, true},
    {"scopes", on_scopes, true},
    {"variables", on_variables, true},
    {"setVariable", on_set_variable, true},
    {"readMemory", on_read_memory, true},
    {"writeMemory", on_write_memory, true},
    {"evaluate", on_evaluate, true},
    {"continue", on_continue, true},
    {"next", on_next, true},
    {"stepIn", on_step_in, true},
    {"stepOut", on_step_out, true},
    {"pause", on_pause, true},
    {"stepBack", on_step_back, true},
    {"reverseContinue", on_reverse_continue, true},
    {"restart", on_restart, true},
    {"zorvikPixel", on_pixel, true},
    {"zorvikScreen", on_screen, true},
    {"zorvikRunTo", on_run_to, true},
    {"zorvikReverseToWriter", on_reverse_to_writer, true},
    {"zorvikReverseNext", on_reverse_next, true},
    {"zorvikReverseFinish", on_reverse_finish, true},
    {"zorvikNextFrame", on_next_frame, true},
    {"terminate", on_terminate, false},
    {"disconnect", on_disconnect, false},
};

}  // namespace

void dap_set_sink(void (*sink)(const std::string& framed))
{
    dap_sink = sink;
}

void dap_attach(void (*sink)(const std::string& framed))
{
    dap_sink = sink;
    dbg_out = fopen("/dev/null", "w");
    dbg_log_hook = log_output;
}

void dap_reset()
{
    launched = stop_on_entry = leaving = false;
    while (!dbg.points.empty())
        dbg_delete_point(dbg.points.size() - 1);
    history_stop();
}

bool dap_dispatch(const std::string& body)
{
    json r = json::parse(body, nullptr, false);
    if (r.is_discarded() || !r.is_object()) {
        refuse(json::object(), "the message is not a JSON object");
        return true;
    }
    if (r.value("type", "") != "request" || !r.contains("command") || !r["command"].is_string()) {
        refuse(r, "only requests are taken: a message needs \"type\": \"request\" and a \"command\"");
        return true;
    }
    std::string command = r["command"];
    for (const handler& h : handlers) {
        if (command != h.command)
            continue;
        if (h.needs_program && !launched) {
            refuse(r, "'" + command + "' needs a launched program");
            return true;
        }
        try {
            h.run(r);
        } catch (const json::exception& e) {
            refuse(r, std::string("bad arguments: ") + e.what());
        }
        return !leaving;
    }
    refuse(r, "unknown request '" + command + "'");
    return true;
}

bool dap_frame(std::string& buffer, std::string& body)
{
    for (;;) {
        size_t end = buffer.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (buffer.size() > 65536)
                buffer.erase(0, buffer.size() - 4);  // a header that never ends is dropped
            return false;
        }
        long long length = -1;
        for (size_t at = 0; at < end;) {
            size_t eol = buffer.find("\r\n", at);
            eol = eol == std::string::npos || eol > end ? end : eol;
            std::string line = buffer.substr(at, eol - at);
            const char key[] = "Content-Length:";
            if (strncasecmp(line.c_str(), key, sizeof key - 1) == 0) {
                std::string n = line.substr(sizeof key - 1);
                n.erase(0, n.find_first_not_of(' '));
                if (!n.empty() && n.size() <= 9 && n.find_first_not_of("0123456789") == std::string::npos)
                    length = std::stoll(n);
            }
            at = eol + 2;
        }
        if (length < 0) {
            buffer.erase(0, end + 4);  // no length: the header is dropped
            refuse(json::object(), "a message header without a Content-Length");
            continue;
        }
        if (buffer.size() < end + 4 + (size_t)length)
            return false;
        body = buffer.substr(end + 4, (size_t)length);
        buffer.erase(0, end + 4 + (size_t)length);
        return true;
    }
}

namespace {

std::mutex queue_lock;
std::condition_variable queue_ready;
std::deque<std::string> queue;
bool input_ended = false;

// Requests arrive while the program runs: pause, terminate and disconnect
// stop it at once, as Ctrl-C does; the rest wait for the next stop.
void read_requests(int fd)
{
    std::string buffer, body;
    char chunk[65536];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        buffer.append(chunk, (size_t)n);
        while (dap_frame(buffer, body)) {
            json r = json::parse(body, nullptr, false);
            std::string command = r.is_object() && r.contains("command") && r["command"].is_string() ? r["command"].get<std::string>() : "";
            if (command == "pause" || command == "terminate" || command == "disconnect")
                halt_signal = SIGINT;
            std::lock_guard<std::mutex> hold(queue_lock);
            queue.push_back(body);
            queue_ready.notify_one();
        }
    }
    std::lock_guard<std::mutex> hold(queue_lock);
    input_ended = true;
    queue_ready.notify_one();
}

// The program's console output, as it comes.
void forward_output(int fd)
{
    char chunk[4096];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        output("stdout", std::string(chunk, (size_t)n));
    }
}

}  // namespace

int dap_serve()
{
    int requests_fd = dup(0), replies_fd = dup(1);
    int pipe_fds[2];
    if (requests_fd < 0 || replies_fd < 0 || pipe(pipe_fds) != 0)
        return 1;
    send_fd = replies_fd;
    fflush(stdout);
    dup2(pipe_fds[1], 1);  // the program's printf goes to output events
    close(pipe_fds[1]);
    setvbuf(stdout, nullptr, _IONBF, 0);
    int null_in = open("/dev/null", O_RDONLY);
    if (null_in >= 0) {
        dup2(null_in, 0);  // until a launch names an input
        close(null_in);
    }
    dbg_out = fopen("/dev/null", "w");
    dbg_log_hook = log_output;
    std::thread reader(read_requests, requests_fd), forwarder(forward_output, pipe_fds[0]);
    reader.detach();
    forwarder.detach();
    for (;;) {
        std::string body;
        {
            std::unique_lock<std::mutex> hold(queue_lock);
            queue_ready.wait_for(hold, std::chrono::milliseconds(100), [] { return !queue.empty() || input_ended; });
            if (halt_signal && halt_signal != SIGINT)
                break;  // SIGTERM or SIGHUP
            if (queue.empty() && input_ended)
                break;
            if (queue.empty())
                continue;
            body = queue.front();
            queue.pop_front();
        }
        if (halt_signal == SIGINT)
            halt_signal = 0;
        if (!dap_dispatch(body))
            break;
        if (halt_signal && halt_signal != SIGINT)
            break;
    }
    fflush(stdout);
    usleep(50000);  // the last console output reaches its event
    return halt_signal && halt_signal != SIGINT ? halt_status() : 0;
}
