// Throw-away certificates for the tests of the HTTPS servers and clients,
// made in a new temporary directory when a test asks: a CA, server
// certificates signed by it (good, expired, for another host name), one
// signed by a second CA that no client trusts, and each key beside its
// certificate (mode 0600), all as PEM files.
#pragma once

#include <string>

struct test_certs {
  std::string dir;  // holds every file below; test_certs_remove clears it away
  std::string ca;   // the CA the clients are told to trust
  // For 127.0.0.1 and localhost, signed by `ca`, valid from an hour ago for
  // thirty days.
  std::string server_cert, server_key;
  // The same names, its time over a day ago.
  std::string expired_cert, expired_key;
  // Valid and signed by `ca`, but for wrong.korvane.invalid alone.
  std::string wrong_host_cert, wrong_host_key;
  // For 127.0.0.1 and localhost, signed by `other_ca`, which is trusted by
  // no test.
  std::string untrusted_cert, untrusted_key;
  std::string other_ca;
};

// Makes the directory and every file. False with the reason when OpenSSL
// cannot (nothing is left behind then).
bool test_certs_make(test_certs *certs, std::string *why);

// Removes the directory and everything in it.
void test_certs_remove(const test_certs &certs);

// The pin of a certificate's public key as the stations take it: SHA-256
// over the DER SubjectPublicKeyInfo, 64 lowercase hex digits; "" when the
// PEM file cannot be read.
std::string test_cert_pin(const std::string &cert_path);
