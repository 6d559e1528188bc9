// One fuzz input as a session with zorvik-lsp: shared by the fuzz target
// "lsp" and the test that replays the inputs that once failed. Messages
// are written as text, as a client sends them, so that building them costs
// little next to the server's own work.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "drive.h"
#include "rpc.h"
#include "server.h"

static const char* const URI = "\"textDocument\":{\"uri\":\"file:///f.zvs\"";

static std::string position(int line, int ch)
{
    return "{\"line\":" + std::to_string(line) + ",\"character\":" + std::to_string(ch) + "}";
}

static void open_session(bool utf8)
{
    server_handle(std::string("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\",\"params\":{\"capabilities\":") +
                  (utf8 ? "{\"general\":{\"positionEncodings\":[\"utf-8\"]}}" : "{}") + "}}");
    server_handle(std::string("{\"jsonrpc\":\"2.0\",\"method\":\"textDocument/didOpen\",\"params\":{") + URI +
                  ",\"languageId\":\"zorvik\",\"version\":1,\"text\":\"start   ldx #0\\nloop    inx\\n"
                  "        cpx #$14\\n        bne loop\\n        jsr sub\\n        int #21\\n        brk\\n"
                  "sub     lda 5\\n        sta $20 ; \\\"\u00e9\\\"\\n        rts\\n\"}}}");
}

// Random edits to the open program, with requests at the edited places.
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
        // Bytes that are not UTF-8 reach the server as U+FFFD, as a client's would.
        std::string quoted = nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        std::string start = position(line, ch), end = position(line, ch + len);
        std::string range = "\"range\":{\"start\":" + start + ",\"end\":" + end + "}";
        server_handle("{\"jsonrpc\":\"2.0\",\"method\":\"textDocument/didChange\",\"params\":{" + std::string(URI) +
                      ",\"version\":" + std::to_string(id) + "},\"contentChanges\":[{" + range +
                      ",\"text\":" + quoted + "}]}}");
        if (id % 3 != 0 && i + 4 <= size)
            continue;  // a request after every third edit, and after the last
        std::string at = "\"params\":{" + std::string(URI) + "},\"position\":" + start + "," + range +
                         ",\"context\":{\"includeDeclaration\":true},\"newName\":\"other\"}}";
        auto request = [&](const char* method) {
            server_handle("{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(id) + ",\"method\":\"" + method + "\"," + at);
        };
        request(requests[(size_t)line % 6]);
        if (ch == 11)  // its answer is long: the whole list of mnemonics
            request("textDocument/completion");
        if (ch % 5 == 0)
            request("textDocument/rename");
        if (ch % 7 == 0)
            request("textDocument/semanticTokens/full");
    }
    server_publish_pending();
}

// The bytes as what a client sends, framed and dispatched as the server does.
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

void fuzz_lsp_session(const uint8_t* data, size_t size)
{
    if (size == 0)
        return;
    server_reset();
    rpc_reset();
    open_session(data[0] & 2);
    if (data[0] & 1)
        edits(data + 1, size - 1);
    else
        stream(data + 1, size - 1);
}
