// The station's page over HTTPS (--web-cert, --web-key): a browser that
// trusts the line's CA reads the page and its event stream; a key open to
// others stops the page before it listens.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "station/web/web_server.h"
#include "test_certs.h"
#include "test_files.h"
#include "tls_client.h"

namespace {

class WebTls : public ::testing::Test {
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

test_certs WebTls::certs;
bool WebTls::made = false;

TEST_F(WebTls, ThePageAndItsStreamComeOverHttps) {
  std::string bound, why;
  web_server *server =
      web_start("127.0.0.1:0", web_hooks(), certs.server_cert, certs.server_key, &bound, &why);
  ASSERT_NE(nullptr, server) << why;
  ASSERT_EQ(0u, bound.rfind("https://127.0.0.1:", 0)) << bound;
  int port = std::atoi(bound.c_str() + 18);
  tls_offer browser;
  browser.ca = certs.ca;
  const struct {
    const char *target, *until, *shows;
  } cases[] = {
      {"/", "", "<!DOCTYPE html>"},
      {"/events", "event: beat", "event: state"},
  };
  for (const auto &c : cases) {
    std::string answer;
    EXPECT_TRUE(tls_exchange(port, browser,
                             "GET " + std::string(c.target) +
                                 " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
                             c.until, &answer, &why))
        << c.target << ": " << why;
    EXPECT_EQ(200, tls_status(answer)) << c.target << ": " << answer;
    EXPECT_NE(std::string::npos, answer.find(c.shows)) << c.target << ": " << answer;
  }
  // A browser that trusts no such CA is not given the page.
  tls_offer stranger;
  stranger.ca = certs.other_ca;
  std::string answer;
  EXPECT_FALSE(tls_exchange(port, stranger, "", "", &answer, &why));
  web_stop(server);
}

TEST_F(WebTls, AKeyOpenToOthersStopsThePageBeforeItListens) {
  std::string dir = temp_dir("web-tls");
  std::string key = dir + "/open.key";
  std::ofstream(key) << read_file(certs.server_key);
  chmod(key.c_str(), 0604);
  std::string bound, why;
  EXPECT_EQ(nullptr, web_start("127.0.0.1:0", web_hooks(), certs.server_cert, key, &bound, &why));
  EXPECT_EQ("the key " + key +
                " is open to other users (mode 0604); make it its owner's alone (chmod 600)",
            why);
  EXPECT_EQ("", bound);
  remove_tree(dir);
}

}  // namespace
