#include "station/line/line_certificate.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "korvane/why.h"

namespace {

// An address is checked as an address: a certificate names an IP in its own
// field, never as a DNS name, and SNI carries names alone.
bool is_address(const std::string &host) {
  ASN1_OCTET_STRING *address = a2i_IPADDRESS(host.c_str());
  if (!address) return false;
  ASN1_OCTET_STRING_free(address);
  return true;
}

// Lowercase hex without colons: the pin as the user may write it.
std::string pin_digits(const std::string &pin) {
  std::string hex;
  for (char c : pin)
    if (c != ':') hex += (char)std::tolower((unsigned char)c);
  return hex;
}

}  // namespace

bool line_certificate_context(SSL_CTX *ctx, const line_tls &tls, std::string *why) {
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  if (tls.ca_file.empty()) {
    SSL_CTX_set_default_verify_paths(ctx);
    return true;
  }
  // The file alone: the system's store is not loaded beside it, so that a
  // line's own CA is the one authority its stations take.
  FILE *file = std::fopen(tls.ca_file.c_str(), "rb");
  if (!file)
    return set_why(why, "cannot read the CA file %s: %s", tls.ca_file.c_str(),
                   std::strerror(errno));
  std::fclose(file);
  if (SSL_CTX_load_verify_locations(ctx, tls.ca_file.c_str(), nullptr) != 1) {
    ERR_clear_error();
    return set_why(why, "no PEM certificate in the CA file %s", tls.ca_file.c_str());
  }
  return true;
}

bool line_certificate_expect(SSL *ssl, const std::string &host, const line_tls &tls,
                             std::string *why) {
  bool address = is_address(host);
  if (!address && SSL_set_tlsext_host_name(ssl, host.c_str()) != 1)
    return set_why(why, "cannot ask for the server %s", host.c_str());
  if (!tls.pin_sha256.empty()) {
    SSL_set_verify(ssl, SSL_VERIFY_NONE, nullptr);
    return true;
  }
  X509_VERIFY_PARAM *param = SSL_get0_param(ssl);
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  int set = address ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                    : X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
  if (set != 1) return set_why(why, "cannot check a certificate for %s", host.c_str());
  SSL_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
  return true;
}

std::string line_certificate_refusal(SSL *ssl, const std::string &host, const std::string &error) {
  long verdict = SSL_get_verify_result(ssl);
  if (verdict != X509_V_OK)
    return "certificate for " + host + " not trusted: " + X509_verify_cert_error_string(verdict);
  return "TLS with " + host +
         " failed: " + (error.empty() ? "the server closed the connection" : error);
}

bool line_certificate_pinned(SSL *ssl, const std::string &host, const line_tls &tls,
                             std::string *why) {
  if (tls.pin_sha256.empty()) return true;
  X509 *certificate = SSL_get1_peer_certificate(ssl);
  std::string key = certificate ? line_key_sha256(certificate) : "";
  X509_free(certificate);
  if (key.empty())
    return set_why(why, "certificate for %s not trusted: the server showed none", host.c_str());
  if (key != pin_digits(tls.pin_sha256))
    return set_why(why, "certificate for %s not trusted: its key %s is not the pinned one",
                   host.c_str(), key.c_str());
  return true;
}

std::string line_key_sha256(X509 *certificate) {
  unsigned char *der = nullptr;
  int size = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
  if (size <= 0) return "";
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  bool ok = EVP_Digest(der, (size_t)size, digest, &length, EVP_sha256(), nullptr) == 1;
  OPENSSL_free(der);
  if (!ok) return "";
  static const char HEX[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; i++) {
    hex += HEX[digest[i] >> 4];
    hex += HEX[digest[i] & 15];
  }
  return hex;
}
