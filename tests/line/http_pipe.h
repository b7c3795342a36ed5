// Plain-socket HTTP for the line's tests: a listener on loopback, and one
// request or response read whole (headers and Content-Length body), so that
// a test can stand in for the line server or sit between it and a station.
#pragma once

#include <string>

// A listening socket on 127.0.0.1 at any free port; -1 when it fails.
int pipe_listen(int *port);

// A connection to 127.0.0.1:port; -1 when refused.
int pipe_connect(int port);

// One HTTP message whole, its head (up to the blank line) and body; false
// when the peer closed first or timeout_s passed.
bool pipe_read_message(int fd, std::string *head, std::string *body, double timeout_s);

bool pipe_write(int fd, const std::string &text);

// The status of a response's head, 0 when it has none.
int pipe_status(const std::string &head);
