// zorvik-lsp: the language server for .zvs programs, over standard input
// and output. Diagnostics wait until the changes pause: a burst of edits is
// checked once.
#include <poll.h>

#include <cstdio>
#include <string>

#include "rpc.h"
#include "server.h"

constexpr int SETTLE_MS = 10;

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--stdio")
            continue;
        if (a == "--help" || a == "--version") {
            printf("zorvik-lsp: the language server for Zorvik VM programs, over standard input and output\n");
            return 0;
        }
        fprintf(stderr, "zorvik-lsp: unknown option '%s'\n", argv[i]);
        return 2;
    }
    std::string body;
    for (;;) {
        if (!rpc_buffered()) {
            pollfd p{0, POLLIN, 0};
            if (poll(&p, 1, SETTLE_MS) == 0)
                server_publish_pending();
        }
        int got = rpc_read(0, body);
        if (got == 0)
            return 1;  // the client went away without exit
        if (got < 0) {
            server_bad_frame(body);
            continue;
        }
        if (!server_handle(body))
            return server_exit_status();
    }
}
