// Fuzz target "lsp": zorvik-lsp's message reader and document sync. With
// an even first byte the rest is a byte stream from a client, framed and
// dispatched as the server does; with an odd one it is a script of edits
// to an open program, each followed by requests at the edited place, so
// that random edits meet every request on random documents. Answers go to
// /dev/null.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "rpc.h"
#include "server.h"

using json = nlohmann::json;

static void send(const json& message)
{
    server_handle(message.dump(-1, ' ', false, json::error_handler_t::replace));
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!freopen("/dev/null", "w", stdout))
        abort();
    return 0;
}

static void open_session(bool utf8)
{
    json caps = utf8 ? json{{"general", {{"positionEncodings", {"utf-8"}}}}} : json::object();
    send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", {{"capabilities", caps}}}});
    send({{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"},
          {"params", {{"textDocument", {{"uri", "file:///f.zvs"}, {"languageId", "zorvik"}, {"version", 1},
                                        {"text", "start   ldx #0\nloop    inx\n        cpx #$14\n        bne loop\n"
                                                 "        jsr sub\n        int #21\n        brk\nsub     lda 5\n"
                                                 "        sta $20 ; \"é\"\n        rts\n"}}}}}});
}

static void edits(const uint8_t* data, size_t size)
{
    static const char* const requests[] = {"textDocument/hover", "textDocument/definition",
                                           "textDocument/references", "textDocument/documentHighlight",
                                           "textDocument/hover", "textDocument/codeAction"};
    int id = 2;
    // Two dozen edits show what an edit can do; more would only slow the search.
    for (size_t i = 0; i + 4 <= size && id < 26; id++) {
        int line = data[i] % 14, ch = data[i + 1] % 24, len = data[i + 2] % 6, n = data[i + 3] % 8;
        i += 4;
        std::string text((const char*)data + i, std::min<size_t>((size_t)n, size - i));
        i += text.size();
        json start = {{"line", line}, {"character", ch}}, end = {{"line", line}, {"character", ch + len}};
        send({{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"},
              {"params", {{"textDocument", {{"uri", "file:///f.zvs"}, {"version", id}}},
                          {"contentChanges", {{{"range", {{"start", start}, {"end", end}}}, {"text", text}}}}}}});
        json at = {{"textDocument", {{"uri", "file:///f.zvs"}}}, {"position", start},
                   {"range", {{"start", start}, {"end", end}}}, {"context", {{"includeDeclaration", true}}},
                   {"newName", "other"}};
        if (id % 3 != 0 && i + 4 <= size)
            continue;  // a request after every third edit, and after the last
        send({{"jsonrpc", "2.0"}, {"id", id}, {"method", requests[(size_t)line % 6]}, {"params", at}});
        if (ch % 11 == 0)  // its answer is long: the whole list of mnemonics
            send({{"jsonrpc", "2.0"}, {"id", id}, {"method", "textDocument/completion"}, {"params", at}});
        if (ch % 5 == 0)
            send({{"jsonrpc", "2.0"}, {"id", id}, {"method", "textDocument/rename"}, {"params", at}});
        if (ch % 7 == 0)
            send({{"jsonrpc", "2.0"}, {"id", id}, {"method", "textDocument/semanticTokens/full"}, {"params", at}});
    }
    server_publish_pending();
}

static void stream(const uint8_t* data, size_t size)
{
    int fd = memfd_create("lsp", 0);
    if (fd < 0 || write(fd, data, size) != (ssize_t)size || lseek(fd, 0, SEEK_SET) != 0)
        abort();
    std::string body;
    for (int got; (got = rpc_read(fd, body)) != 0;) {
        if (got < 0)
            server_bad_frame(body);
        else if (!server_handle(body))
            break;
    }
    server_publish_pending();
    close(fd);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    server_reset();
    rpc_reset();
    open_session(data[0] & 2);
    if (data[0] & 1)
        edits(data + 1, size - 1);
    else
        stream(data + 1, size - 1);
    return 0;
}
