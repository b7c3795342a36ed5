// The throw-away certificates verify, or fail, as each test means them to:
// checked by OpenSSL as a client checks a server, and the pin against the
// openssl program's own reckoning.
#include <cstdio>
#include <memory>
#include <string>

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include "test_certs.h"

namespace {

X509 *read_cert(const std::string &path) {
  FILE *file = fopen(path.c_str(), "r");
  if (!file) return nullptr;
  X509 *cert = PEM_read_X509(file, nullptr, nullptr, nullptr);
  fclose(file);
  return cert;
}

// OpenSSL's verdict on `cert` for `host`, trusting `ca` alone.
int verify(const std::string &cert_path, const std::string &ca_path, const std::string &host) {
  std::unique_ptr<X509, decltype(&X509_free)> cert(read_cert(cert_path), X509_free);
  std::unique_ptr<X509, decltype(&X509_free)> ca(read_cert(ca_path), X509_free);
  if (!cert || !ca) return -1;
  X509_STORE *store = X509_STORE_new();
  X509_STORE_add_cert(store, ca.get());
  X509_STORE_CTX *ctx = X509_STORE_CTX_new();
  X509_STORE_CTX_init(ctx, store, cert.get(), nullptr);
  X509_VERIFY_PARAM *param = X509_STORE_CTX_get0_param(ctx);
  if (host == "127.0.0.1") {
    X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
  } else {
    X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
  }
  int result = X509_verify_cert(ctx) == 1 ? X509_V_OK : X509_STORE_CTX_get_error(ctx);
  X509_STORE_CTX_free(ctx);
  X509_STORE_free(store);
  return result;
}

std::string run(const std::string &command) {
  std::string out;
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  return out;
}

class TestCerts : public ::testing::Test {
 protected:
  // RSA keys take a while to make: one set for the suite.
  static void SetUpTestSuite() {
    std::string why;
    made = test_certs_make(&certs, &why);
    if (!made) fprintf(stderr, "%s\n", why.c_str());
  }
  static void TearDownTestSuite() { test_certs_remove(certs); }
  void SetUp() override { ASSERT_TRUE(made); }
  static test_certs certs;
  static bool made;
};

test_certs TestCerts::certs;
bool TestCerts::made = false;

TEST_F(TestCerts, EachVerifiesOrFailsAsMeant) {
  struct {
    std::string cert, ca, host;
    int expected;
  } cases[] = {
      {certs.server_cert, certs.ca, "127.0.0.1", X509_V_OK},
      {certs.server_cert, certs.ca, "localhost", X509_V_OK},
      {certs.server_cert, certs.ca, "elsewhere.invalid", X509_V_ERR_HOSTNAME_MISMATCH},
      {certs.expired_cert, certs.ca, "127.0.0.1", X509_V_ERR_CERT_HAS_EXPIRED},
      {certs.wrong_host_cert, certs.ca, "127.0.0.1", X509_V_ERR_IP_ADDRESS_MISMATCH},
      {certs.wrong_host_cert, certs.ca, "wrong.korvane.invalid", X509_V_OK},
      {certs.untrusted_cert, certs.ca, "127.0.0.1", X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY},
      {certs.untrusted_cert, certs.other_ca, "127.0.0.1", X509_V_OK},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(verify(c.cert, c.ca, c.host), c.expected) << c.cert << " for " << c.host;
  }
}

TEST_F(TestCerts, KeysAreTheOwnersAloneAndPinsMatchOpenssl) {
  for (const std::string &key :
       {certs.server_key, certs.expired_key, certs.wrong_host_key, certs.untrusted_key}) {
    struct stat st;
    ASSERT_EQ(stat(key.c_str(), &st), 0) << key;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << key;
  }
  std::string pin = test_cert_pin(certs.server_cert);
  std::string expected = run("openssl x509 -in '" + certs.server_cert +
                             "' -pubkey -noout | openssl pkey -pubin -outform DER | "
                             "openssl dgst -sha256 -r");
  ASSERT_EQ(pin.size(), 64u);
  EXPECT_EQ(expected.substr(0, 64), pin);
  EXPECT_NE(test_cert_pin(certs.untrusted_cert), pin);
  EXPECT_EQ(test_cert_pin(certs.dir + "/missing.pem"), "");
}

}  // namespace
