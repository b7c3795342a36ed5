// The throw-away certificates fail, or pass, as the client tests mean them
// to, checked as a client checks a server; the pin is the openssl program's.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>

#include "test_certs.h"

namespace {

X509 *read_cert(const std::string &path) {
  FILE *file = fopen(path.c_str(), "r");
  X509 *cert = file ? PEM_read_X509(file, nullptr, nullptr, nullptr) : nullptr;
  if (file) fclose(file);
  return cert;
}

// OpenSSL's verdict on cert for the address 127.0.0.1, trusting ca alone.
int verdict(const std::string &cert_path, const std::string &ca_path) {
  X509 *cert = read_cert(cert_path), *ca = read_cert(ca_path);
  X509_STORE *store = X509_STORE_new();
  X509_STORE_add_cert(store, ca);
  X509_STORE_CTX *ctx = X509_STORE_CTX_new();
  X509_STORE_CTX_init(ctx, store, cert, nullptr);
  X509_VERIFY_PARAM_set1_ip_asc(X509_STORE_CTX_get0_param(ctx), "127.0.0.1");
  int result = X509_verify_cert(ctx) == 1 ? X509_V_OK : X509_STORE_CTX_get_error(ctx);
  X509_STORE_CTX_free(ctx);
  X509_STORE_free(store);
  X509_free(cert);
  X509_free(ca);
  return result;
}

TEST(TestCerts, EachFailsAsMeantAndThePinIsOpenssls) {
  test_certs certs;
  std::string why;
  ASSERT_TRUE(test_certs_make(&certs, &why)) << why;
  const struct {
    std::string cert, ca;
    int expected;
  } cases[] = {
      {certs.server_cert, certs.ca, X509_V_OK},
      {certs.expired_cert, certs.ca, X509_V_ERR_CERT_HAS_EXPIRED},
      {certs.wrong_host_cert, certs.ca, X509_V_ERR_IP_ADDRESS_MISMATCH},
      {certs.untrusted_cert, certs.ca, X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY},
      {certs.untrusted_cert, certs.other_ca, X509_V_OK},
  };
  for (const auto &c : cases) EXPECT_EQ(c.expected, verdict(c.cert, c.ca)) << c.cert;

  std::string command = "openssl x509 -in '" + certs.server_cert +
                        "' -pubkey -noout | openssl pkey -pubin -outform DER | "
                        "openssl dgst -sha256 -r";
  FILE *pipe = popen(command.c_str(), "r");
  char digest[65] = "";
  ASSERT_NE(nullptr, pipe);
  EXPECT_EQ(1, fscanf(pipe, "%64s", digest));
  pclose(pipe);
  EXPECT_EQ(std::string(digest), test_cert_pin(certs.server_cert));
  EXPECT_NE(test_cert_pin(certs.server_cert), test_cert_pin(certs.untrusted_cert));
  test_certs_remove(certs);
}

}  // namespace
