// The sender's HTTP client: one POST at a time over a connection kept open
// between requests, each exchange (the connection when one is made, the
// request and its answer) bounded by one time-out, so that a server that
// stops answering costs the sender a few seconds, never the station's loop.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "station/line/line_url.h"

struct line_connection;

// How an https:// server is checked: its chain and host name against the
// system's CA store, or against ca_file alone when one is given; pin_sha256
// (hex SHA-256 of the server's public key) replaces the chain check for a
// self-signed server. insecure allows http:// to a non-loopback host.
struct line_tls {
  std::string ca_file;
  std::string pin_sha256;
  bool insecure = false;
};

line_connection *line_connection_new(const line_url &url, const line_tls &tls = line_tls());
void line_connection_free(line_connection *c);

struct line_reply {
  int status = 0;
  double retry_after = -1;  // seconds the Retry-After header asks, -1 without one
  std::string body;
  // Set with a false return: the station refused the server (its
  // certificate, its key, its TLS handshake, http:// where it may not go),
  // so nothing was sent.
  bool untrusted = false;
};

// POSTs body (JSON) to target. False with the reason (refused, timed out,
// closed, "certificate for HOST not trusted: ...") when no answer came
// within timeout_s; the connection is then closed and made anew by the next
// call.
bool line_post(line_connection *c, const std::string &target,
               const std::vector<std::pair<std::string, std::string>> &headers,
               const std::string &body, double timeout_s, line_reply *reply, std::string *why);

// GETs target, as line_post does without a body.
bool line_get(line_connection *c, const std::string &target,
              const std::vector<std::pair<std::string, std::string>> &headers, double timeout_s,
              line_reply *reply, std::string *why);
