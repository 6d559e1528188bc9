// zorvik-lsp in the page: the server's own handling of one message body a
// call, in a Web Worker (lsp-worker.js), with its messages handed to the
// worker's script instead of framed on standard output. The worker publishes
// the diagnostics once the messages pause, as the native server's loop does.
#include <emscripten.h>

#include <string>

#include "rpc.h"
#include "server.h"

// Hands one message of the server to the worker's script.
EM_JS(void, web_lsp_send, (const char* body, int length), {
    Module.lspSend(UTF8ToString(body, length));
});

static void web_lsp_sink(const std::string& body)
{
    web_lsp_send(body.data(), (int)body.size());
}

extern "C" {

// Handles one message body of `length` bytes; 0 once `exit` has come.
EMSCRIPTEN_KEEPALIVE int web_lsp_handle(const char* body, int length)
{
    rpc_set_sink(web_lsp_sink);
    return server_handle(std::string(body, (size_t)(length > 0 ? length : 0))) ? 1 : 0;
}

// Publishes the diagnostics of the documents changed since their last ones.
EMSCRIPTEN_KEEPALIVE void web_lsp_publish()
{
    rpc_set_sink(web_lsp_sink);
    server_publish_pending();
}
}
