// The language server's handling of one message, and its publishing of
// diagnostics once the changes have settled.
#pragma once
#include <string>

// Handles one message body; false once `exit` has come.
bool server_handle(const std::string& body);
// Answers a frame that could not be read.
void server_bad_frame(const std::string& why);
// Publishes the diagnostics of every document changed since its last ones.
void server_publish_pending();
// Forgets every document and the session, as a new server would start.
void server_reset();
// The exit status: 0 after shutdown, 1 for an exit without one.
int server_exit_status();
