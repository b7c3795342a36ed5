// The station's live web page: an HTTP server on a thread of its own that
// serves the page (web_requests.h) and pushes every new state to each open
// page as a Server-Sent Event. The station hands it the state as it changes
// and never waits on it: each page has room for one state in flight and one
// waiting (a newer state replaces the waiting one), and a page that takes
// longer than a few seconds to accept a write is dropped; its browser
// reconnects by itself and is sent the whole state again.
#pragma once

#include <string>
#include <vector>

#include "station/web/web_requests.h"
#include "station/web/web_state.h"

struct web_server;

// Listens on `address` ("[ADDR:]PORT", web_address.h) and starts serving,
// over HTTPS with the certificate and key files when cert is not empty
// (serve_tls.h). *bound is the page's address, for the station to print
// (the port filled in when 0 was asked). Null with the reason in *why when
// it cannot listen or cannot use the certificate.
web_server *web_start(const std::string &address, const web_hooks &hooks, const std::string &cert,
                      const std::string &key, std::string *bound, std::string *why);

// The station's new state, pushed to every open page unless it is the same as
// the last. Safe from any thread; returns at once.
void web_update(web_server *server, const web_header &header, const std::vector<web_slot> &slots);

// Closes every connection, ends the thread and frees the server (null: nothing).
void web_stop(web_server *server);
