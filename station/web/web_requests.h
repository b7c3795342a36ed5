// The web page's requests, answered without a socket: the page itself, its
// style and script, the state as JSON, and a serial number typed into the
// page. The server (web_server.cpp) reads a request, hands it here and writes
// back the reply; the event stream (/events) is the server's own.
#pragma once

#include <functional>
#include <string>

// What the station lets the page do; called on the server's thread, so it
// must be quick.
struct web_hooks {
  // Gives the board in `slot` the serial number, as one typed on standard
  // input would; false with the reason in *why when the slot will not take
  // it (no such slot, ...).
  std::function<bool(const std::string &slot, const std::string &serial, std::string *why)>
      take_serial;
  // Lets a slot whose board ended in error test again, as `retry NAME` on
  // standard input would; false with the reason when it is not held.
  std::function<bool(const std::string &slot, std::string *why)> retry_slot;
};

struct web_request {
  std::string method;  // "GET", "POST", ...
  std::string target;  // "/api/slots", ...
  std::string host;    // the Host header
  std::string content_type;
  std::string body;
  bool from_loopback = false;  // the peer's address is this machine's loopback
  bool over_tls = false;       // the page is served over HTTPS (--web-cert)
};

struct web_reply {
  int status = 200;
  std::string content_type;
  std::string body;
};

// Whether the page served for this request may take serial numbers: over
// plain HTTP only a peer on this machine, asking by a loopback name, ever
// sees the token; over HTTPS, which the operator turns on to type serials on
// another PC of the line, every browser that trusts the certificate does (a
// site whose name was made to point at the station cannot show the
// station's certificate, so it cannot read the page).
bool web_entry_allowed(const web_request &request);

// Answers one request. `token` is this run's secret that the page carries and
// a serial entry must return; `state_json` is the current state
// (web_state_json).
web_reply web_handle(const web_request &request, const std::string &token,
                     const std::string &state_json, const web_hooks &hooks);

// A token no other run and no other site can guess: 128 random bits in hex.
std::string web_new_token();
