// The station's page over HTTPS (--web-cert, --web-key): a browser that
// trusts the CA reads the page and its event stream from korvane-station; a
// key open to others stops the page before it listens.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <fstream>

#include "child_process.h"
#include "station/web/web_server.h"
#include "test_certs.h"
#include "test_files.h"
#include "tls_client.h"

namespace {

const double WAIT_S = 60;

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

// korvane-station itself, its slot waiting for a serial on a port it never
// opens.
TEST_F(WebTls, TheStationsPageAndItsStreamComeOverHttps) {
  std::string dir = temp_dir("web-tls");
  pid_t station =
      start_child({STATION_PATH, "--web", "127.0.0.1:0", "--web-cert", certs.server_cert,
                   "--web-key", certs.server_key, "--db", dir + "/st.db", "--logs", dir + "/logs",
                   "--require-serial", "A=" + dir + "/no-port"},
                  "korvane-station");
  std::string line, why;
  ASSERT_TRUE(read_child_line(station, &line, WAIT_S));
  size_t at = line.find("web page at https://127.0.0.1:");
  ASSERT_NE(std::string::npos, at) << line;
  int port = std::atoi(line.c_str() + at + 30);
  tls_offer browser;
  browser.ca = certs.ca;
  const struct {
    const char *target, *until, *shows;
  } cases[] = {
      {"/", "", "<!DOCTYPE html>"},
      {"/events", "event: beat", "\"slot\":\"A\""},
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
  EXPECT_EQ(0, stop_child(station, SIGINT, WAIT_S).status);
  remove_tree(dir);
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
