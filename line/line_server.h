// The line server's HTTP side on Boost.Beast: a few threads that accept,
// read each request (the body bounded), answer it through line_api.h and
// keep the connection for the station's next record; /events streams the
// line page's state as Server-Sent Events.
#pragma once

#include <string>

#include "line/line_api.h"
#include "serve/serve_tls.h"

struct line_server;

// Listens on address ("[ADDR:]PORT", 127.0.0.1 unless ADDR is given) and
// serves, over TLS when tls is not null (it must outlive the server).
// *bound is the address listened on (the port filled in when 0 was asked).
// Null with the reason when it cannot listen.
line_server *line_server_start(const std::string &address, line_service *service, serve_tls *tls,
                               std::string *bound, std::string *why);

// Closes every connection and ends the threads (null: nothing).
void line_server_stop(line_server *server);
