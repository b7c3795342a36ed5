// A bare HTTPS client for the tests of the servers: one connection to a port
// on 127.0.0.1, the TLS versions it offers chosen by the test, the server's
// certificate checked against a CA file for that address, one request
// written and the answer read until the server closes or a given text shows.
#pragma once

#include <string>

struct tls_offer {
  int min_version = 0;  // TLS1_VERSION ... TLS1_3_VERSION; 0 for OpenSSL's default
  int max_version = 0;
  std::string ca;  // the CA to verify against; "" to verify nothing
};

// Shakes hands, writes request and reads into *answer until the server
// closes, `until` shows in it (when not empty) or a read waits 30 s. False
// with the reason (OpenSSL's, e.g. "tlsv1 alert protocol version") when the
// connection or the handshake fails.
bool tls_exchange(int port, const tls_offer &offer, const std::string &request,
                  const std::string &until, std::string *answer, std::string *why);

// The status of an HTTP answer's first line, 0 when it has none.
int tls_status(const std::string &answer);
