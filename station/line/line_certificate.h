// How the station checks an https:// line server on OpenSSL: the chain
// against the system's CA store or the --line-ca file alone, the host name
// or IP address the certificate must name, TLS 1.2 at least, or instead of
// the chain the SHA-256 of the server's public key (--line-pin). Every
// refusal reads "certificate for HOST not trusted: REASON".
#pragma once

#include <string>

#include <openssl/ssl.h>

#include "station/line/line_http.h"

// Readies ctx for every connection to the server: TLS 1.2 at least, the CA
// store. False with the reason when the CA file cannot be read.
bool line_certificate_context(SSL_CTX *ctx, const line_tls &tls, std::string *why);

// Readies one connection before its handshake: the server name it asks
// for (SNI, for a name alone), and the name or address its certificate must
// hold. A pinned key skips the chain and the name: the key is the identity.
bool line_certificate_expect(SSL *ssl, const std::string &host, const line_tls &tls,
                             std::string *why);

// Why a handshake failed, error being what the TLS layer said ("" for a
// server that closed the connection, as a plain HTTP one does): the
// certificate's fault when the check refused it, else the handshake's.
std::string line_certificate_refusal(SSL *ssl, const std::string &host, const std::string &error);

// After a handshake: false with the reason when a pin is given and the
// server's key is not the pinned one.
bool line_certificate_pinned(SSL *ssl, const std::string &host, const line_tls &tls,
                             std::string *why);

// Lowercase hex SHA-256 of a certificate's DER SubjectPublicKeyInfo, what
// --line-pin takes; "" when it cannot be encoded.
std::string line_key_sha256(X509 *certificate);
