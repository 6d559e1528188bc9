// The Debug Adapter Protocol front of zorvik-debug.
#pragma once
#include <string>

// Serves requests from standard input until disconnect or its end; the
// program's console output becomes output events. The exit status.
int dap_serve();
// Takes one framed message out of `buffer` into `body`; false while none
// is complete. Headers without a length are answered with an error and
// dropped.
bool dap_frame(std::string& buffer, std::string& body);
// Handles one message; false once the client has disconnected.
bool dap_dispatch(const std::string& body);
// Sends framed messages to `sink` rather than standard output (fuzzing).
void dap_set_sink(void (*sink)(const std::string& framed));
// For a front end that passes the messages itself, one dap_dispatch call
// each (the web page): replies and events go to `sink`, and the debugger's
// own notes become output events, as with dap_serve.
void dap_attach(void (*sink)(const std::string& framed));
// Forgets the launch, the points and the history (fuzzing).
void dap_reset();
