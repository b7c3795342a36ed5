// The station's page over HTTPS (--web-cert, --web-key): a browser that
// trusts the CA reads the page and its event stream from korvane-station.
#include <gtest/gtest.h>

#include <csignal>

#include "child_process.h"
#include "test_certs.h"
#include "test_files.h"
#include "tls_client.h"

namespace {

const double WAIT_S = 60;

// korvane-station itself, its slot waiting for a serial on a port it never
// opens.
TEST(WebTls, TheStationsPageAndItsStreamComeOverHttps) {
  test_certs certs;
  std::string why;
  ASSERT_TRUE(test_certs_make(&certs, &why)) << why;
  std::string dir = temp_dir("web-tls");
  pid_t station =
      start_child({STATION_PATH, "--web", "127.0.0.1:0", "--web-cert", certs.server_cert,
                   "--web-key", certs.server_key, "--db", dir + "/st.db", "--logs", dir + "/logs",
                   "--require-serial", "A=" + dir + "/no-port"},
                  "korvane-station");
  std::string line;
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
  EXPECT_EQ(0, stop_child(station, SIGINT, WAIT_S).status);
  remove_tree(dir);
  test_certs_remove(certs);
}

}  // namespace
