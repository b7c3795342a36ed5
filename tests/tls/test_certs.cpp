#include "test_certs.h"

#include <cstdio>
#include <ctime>
#include <memory>

#include <sys/stat.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "korvane/why.h"
#include "test_files.h"

namespace {

using key_ptr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using cert_ptr = std::unique_ptr<X509, decltype(&X509_free)>;

const long DAY = 24 * 60 * 60;

// One certificate as made: its key and the certificate itself.
struct made {
  key_ptr key{nullptr, EVP_PKEY_free};
  cert_ptr cert{nullptr, X509_free};
};

bool add_extension(X509 *cert, X509 *issuer, int nid, const std::string &value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!extension) return false;
  bool added = X509_add_ext(cert, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

// A certificate for `name` valid over [now + from, now + to] seconds, signed
// by `issuer` (itself when null). `hosts` is its subjectAltName ("" for a CA).
bool make_cert(const std::string &name, const std::string &hosts, long from, long to,
               const made *issuer, made *out) {
  // RSA, which every TLS stack the stations use (Windows' too) verifies.
  out->key = key_ptr(EVP_RSA_gen(2048), EVP_PKEY_free);
  out->cert = cert_ptr(X509_new(), X509_free);
  X509 *cert = out->cert.get();
  if (!out->key || !cert) return false;
  BIGNUM *serial = BN_new();
  bool ok = serial && BN_rand(serial, 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
            BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert));
  BN_free(serial);
  ok = ok && X509_set_version(cert, 2) == 1;
  ok = ok && X509_gmtime_adj(X509_getm_notBefore(cert), from) &&
       X509_gmtime_adj(X509_getm_notAfter(cert), to);
  ok = ok && X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                                        (const unsigned char *)name.c_str(), -1, -1, 0);
  X509 *signer = issuer ? issuer->cert.get() : cert;
  EVP_PKEY *signer_key = issuer ? issuer->key.get() : out->key.get();
  ok = ok && X509_set_issuer_name(cert, X509_get_subject_name(signer)) == 1;
  ok = ok && X509_set_pubkey(cert, out->key.get()) == 1;
  bool ca = hosts.empty();
  const std::pair<int, std::string> extensions[] = {
      {NID_subject_key_identifier, "hash"},
      {NID_authority_key_identifier, "keyid:always"},
      {NID_basic_constraints, ca ? "critical,CA:TRUE" : "critical,CA:FALSE"},
      {NID_key_usage,
       ca ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature,keyEncipherment"},
      {NID_ext_key_usage, ca ? "" : "serverAuth"},
      {NID_subject_alt_name, hosts}};
  for (const auto &e : extensions)
    ok = ok && (e.second.empty() || add_extension(cert, signer, e.first, e.second));
  return ok && X509_sign(cert, signer_key, EVP_sha256()) > 0;
}

// A PEM file of mode 0600 holding the certificate, or else the key.
bool write_pem(const std::string &path, X509 *cert, EVP_PKEY *key) {
  FILE *file = fopen(path.c_str(), "we");
  if (!file) return false;
  bool ok = fchmod(fileno(file), 0600) == 0 &&
            (cert ? PEM_write_X509(file, cert)
                  : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr)) == 1;
  return fclose(file) == 0 && ok;
}

const char LOCAL_HOSTS[] = "IP:127.0.0.1,DNS:localhost";

}  // namespace

bool test_certs_make(test_certs *certs, std::string *why) {
  test_certs c;
  c.dir = temp_dir("korvane-certs");
  if (c.dir.empty()) return set_why(why, "cannot make a temporary directory for the certificates");
  made ca, other_ca, server, expired, wrong_host, untrusted;
  // Each as <dir>/<file>.pem, its key beside it as <file>.key; the CN is
  // the host's name as well, for clients that look no further.
  const struct {
    const char *file, *name;
    made *out;
    const made *issuer;
    const char *hosts;
    long from, to;
    std::string *cert, *key;
  } plan[] = {
      {"ca", "korvane test CA", &ca, nullptr, "", -DAY, 365 * DAY, &c.ca, nullptr},
      {"other-ca", "korvane other CA", &other_ca, nullptr, "", -DAY, 365 * DAY, &c.other_ca,
       nullptr},
      {"server", "127.0.0.1", &server, &ca, LOCAL_HOSTS, -3600, 30 * DAY, &c.server_cert,
       &c.server_key},
      {"expired", "127.0.0.1", &expired, &ca, LOCAL_HOSTS, -30 * DAY, -DAY, &c.expired_cert,
       &c.expired_key},
      {"wrong-host", "wrong.korvane.invalid", &wrong_host, &ca, "DNS:wrong.korvane.invalid", -3600,
       30 * DAY, &c.wrong_host_cert, &c.wrong_host_key},
      {"untrusted", "127.0.0.1", &untrusted, &other_ca, LOCAL_HOSTS, -3600, 30 * DAY,
       &c.untrusted_cert, &c.untrusted_key},
  };
  for (const auto &p : plan) {
    *p.cert = c.dir + "/" + p.file + ".pem";
    if (p.key) *p.key = c.dir + "/" + p.file + ".key";
    if (!make_cert(p.name, p.hosts, p.from, p.to, p.issuer, p.out) ||
        !write_pem(*p.cert, p.out->cert.get(), nullptr) ||
        (p.key && !write_pem(*p.key, nullptr, p.out->key.get()))) {
      remove_tree(c.dir);
      return set_why(why, "OpenSSL cannot make the test certificates in %s", c.dir.c_str());
    }
  }
  *certs = c;
  return true;
}

void test_certs_remove(const test_certs &certs) {
  if (!certs.dir.empty()) remove_tree(certs.dir);
}

std::string test_cert_pin(const std::string &cert_path) {
  FILE *file = fopen(cert_path.c_str(), "re");
  if (!file) return "";
  cert_ptr cert(PEM_read_X509(file, nullptr, nullptr, nullptr), X509_free);
  fclose(file);
  if (!cert) return "";
  unsigned char *der = nullptr;
  int size = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &der);
  if (size <= 0) return "";
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(der, (size_t)size, digest);
  OPENSSL_free(der);
  const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) hex += {digits[byte >> 4], digits[byte & 15]};
  return hex;
}
