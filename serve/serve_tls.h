// A server's certificate and key for HTTPS, loaded once at start: TLS 1.2
// and 1.3 only, with the ciphers the system's OpenSSL chooses by default.
// A key that other users could read is refused, as is a key that is not the
// certificate's. A build without OpenSSL (the Windows one) has no TLS, and
// says so when asked for it.
#pragma once

#include <string>

#ifdef KORVANE_TLS
#include <boost/asio/ssl/context.hpp>

struct serve_tls {
  serve_tls() : context(boost::asio::ssl::context::tls_server) {}
  boost::asio::ssl::context context;
};
#else
struct serve_tls;
#endif

// Reads the certificate chain (PEM, the server's own first) and its key
// (PEM). Null with the reason, naming the file, when either cannot be used.
serve_tls *serve_tls_load(const std::string &cert_path, const std::string &key_path,
                          std::string *why);

void serve_tls_free(serve_tls *tls);
