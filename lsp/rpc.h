// JSON-RPC over a byte stream with Content-Length headers, as the language
// server protocol frames it.
#pragma once
#include <string>

// Reads the next message's body from fd into `body`. Returns 1 for a
// message, 0 at the end of the input, -1 for a frame that cannot be read
// (then `body` holds why, and the stream goes on after it).
int rpc_read(int fd, std::string& body);
// Whether a whole message is already buffered, so that reading one will
// not wait.
bool rpc_buffered();
// Forgets what is buffered, for a reader that starts on a new stream.
void rpc_reset();
// Writes one message, framed, to standard output, or hands it to the sink.
void rpc_write(const std::string& body);
// Hands each message to `sink` instead of standard output, for a host that
// moves messages itself (the page's Web Worker); null restores the output.
void rpc_set_sink(void (*sink)(const std::string& body));
