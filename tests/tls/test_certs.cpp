#include "test_certs.h"

#include <cstdio>
#include <ctime>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
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

key_ptr new_key() {
  // RSA, which every TLS stack the stations use (Windows' too) verifies.
  return key_ptr(EVP_RSA_gen(2048), EVP_PKEY_free);
}

bool add_extension(X509 *cert, X509 *issuer, int nid, const char *value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!extension) return false;
  bool added = X509_add_ext(cert, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

// A certificate for `name` valid over [now + from, now + to] seconds, signed
// by `issuer` (itself when null). `hosts` is its subjectAltName ("" for a CA).
bool make_cert(const std::string &name, const std::string &hosts, long from, long to,
               const made *issuer, made *out) {
  out->key = new_key();
  out->cert = cert_ptr(X509_new(), X509_free);
  X509 *cert = out->cert.get();
  if (!out->key || !cert) return false;
  unsigned char serial[16];
  if (RAND_bytes(serial, sizeof serial) != 1) return false;
  serial[0] &= 0x7f;  // a positive serial number
  BIGNUM *number = BN_bin2bn(serial, sizeof serial, nullptr);
  bool ok = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert));
  BN_free(number);
  ok = ok && X509_set_version(cert, 2) == 1;
  ok = ok && X509_gmtime_adj(X509_getm_notBefore(cert), from) &&
       X509_gmtime_adj(X509_getm_notAfter(cert), to);
  X509_NAME *subject = X509_get_subject_name(cert);
  ok = ok && X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_ASC,
                                        (const unsigned char *)"korvane tests", -1, -1, 0);
  ok = ok && X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                                        (const unsigned char *)name.c_str(), -1, -1, 0);
  X509 *signer = issuer ? issuer->cert.get() : cert;
  EVP_PKEY *signer_key = issuer ? issuer->key.get() : out->key.get();
  ok = ok && X509_set_issuer_name(cert, X509_get_subject_name(signer)) == 1;
  ok = ok && X509_set_pubkey(cert, out->key.get()) == 1;
  ok = ok && add_extension(cert, signer, NID_subject_key_identifier, "hash");
  ok = ok && add_extension(cert, signer, NID_authority_key_identifier, "keyid:always");
  if (hosts.empty()) {
    ok = ok && add_extension(cert, signer, NID_basic_constraints, "critical,CA:TRUE");
    ok = ok && add_extension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    ok = ok && add_extension(cert, signer, NID_basic_constraints, "critical,CA:FALSE");
    ok = ok &&
         add_extension(cert, signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    ok = ok && add_extension(cert, signer, NID_ext_key_usage, "serverAuth");
    ok = ok && add_extension(cert, signer, NID_subject_alt_name, hosts.c_str());
  }
  return ok && X509_sign(cert, signer_key, EVP_sha256()) > 0;
}

// Writes a PEM file of mode 0600 through `write`.
template <typename Write>
bool write_pem(const std::string &path, Write write) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  FILE *file = fdopen(fd, "w");
  if (!file) {
    close(fd);
    return false;
  }
  bool ok = write(file);
  return fclose(file) == 0 && ok;
}

bool save(const made &m, const std::string &cert_path, const std::string *key_path) {
  if (!write_pem(cert_path, [&m](FILE *f) { return PEM_write_X509(f, m.cert.get()) == 1; }))
    return false;
  if (!key_path) return true;
  return write_pem(*key_path, [&m](FILE *f) {
    return PEM_write_PrivateKey(f, m.key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
  });
}

const char LOCAL_HOSTS[] = "IP:127.0.0.1,DNS:localhost";

}  // namespace

bool test_certs_make(test_certs *certs, std::string *why) {
  test_certs c;
  c.dir = temp_dir("korvane-certs");
  if (c.dir.empty()) {
    set_why(why, "cannot make a temporary directory for the certificates");
    return false;
  }
  auto path = [&c](const char *name) { return c.dir + "/" + name; };
  c.ca = path("ca.pem");
  c.other_ca = path("other-ca.pem");
  c.server_cert = path("server.pem");
  c.server_key = path("server.key");
  c.expired_cert = path("expired.pem");
  c.expired_key = path("expired.key");
  c.wrong_host_cert = path("wrong-host.pem");
  c.wrong_host_key = path("wrong-host.key");
  c.untrusted_cert = path("untrusted.pem");
  c.untrusted_key = path("untrusted.key");
  made ca, other_ca, server, expired, wrong_host, untrusted;
  bool ok = make_cert("korvane test CA", "", -DAY, 365 * DAY, nullptr, &ca) &&
            make_cert("korvane other CA", "", -DAY, 365 * DAY, nullptr, &other_ca) &&
            make_cert("127.0.0.1", LOCAL_HOSTS, -3600, 30 * DAY, &ca, &server) &&
            make_cert("127.0.0.1", LOCAL_HOSTS, -30 * DAY, -DAY, &ca, &expired) &&
            make_cert("wrong.korvane.invalid", "DNS:wrong.korvane.invalid", -3600, 30 * DAY, &ca,
                      &wrong_host) &&
            make_cert("127.0.0.1", LOCAL_HOSTS, -3600, 30 * DAY, &other_ca, &untrusted);
  if (!ok) {
    remove_tree(c.dir);
    set_why(why, "OpenSSL cannot make the test certificates");
    return false;
  }
  ok = save(ca, c.ca, nullptr) && save(other_ca, c.other_ca, nullptr) &&
       save(server, c.server_cert, &c.server_key) &&
       save(expired, c.expired_cert, &c.expired_key) &&
       save(wrong_host, c.wrong_host_cert, &c.wrong_host_key) &&
       save(untrusted, c.untrusted_cert, &c.untrusted_key);
  if (!ok) {
    remove_tree(c.dir);
    set_why(why, "cannot write the test certificates into %s", c.dir.c_str());
    return false;
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
  std::string hex;
  char two[3];
  for (unsigned char byte : digest) {
    snprintf(two, sizeof two, "%02x", byte);
    hex += two;
  }
  return hex;
}
