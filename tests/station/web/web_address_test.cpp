#include <string>

#include <gtest/gtest.h>

#include "station/web/web_address.h"

namespace {

TEST(WebAddress, ParsesAddrPortWithLoopbackByDefault) {
  struct {
    const char *text;
    bool ok;
    const char *host;
    unsigned short port;
    const char *url;
  } cases[] = {
      {"8080", true, "127.0.0.1", 8080, "http://127.0.0.1:8080/"},
      {"0", true, "127.0.0.1", 0, "http://127.0.0.1:0/"},
      {"0.0.0.0:80", true, "0.0.0.0", 80, "http://0.0.0.0:80/"},
      {"192.168.1.20:65535", true, "192.168.1.20", 65535, "http://192.168.1.20:65535/"},
      {"localhost:9000", true, "127.0.0.1", 9000, "http://127.0.0.1:9000/"},
      {"[::1]:8080", true, "::1", 8080, "http://[::1]:8080/"},
      {"[::]:8080", true, "::", 8080, "http://[::]:8080/"},
      {"", false, "", 0, ""},
      {"65536", false, "", 0, ""},
      {"-1", false, "", 0, ""},
      {"80a", false, "", 0, ""},
      {"999999999999999999999", false, "", 0, ""},
      {"1.2.3:80", false, "", 0, ""},
      {"1.2.3.256:80", false, "", 0, ""},
      {"example.com:80", false, "", 0, ""},
      {":80", false, "", 0, ""},
      {"127.0.0.1:", false, "", 0, ""},
      {"::1:8080", false, "", 0, ""},
      {"[::1]8080", false, "", 0, ""},
      {"[::1", false, "", 0, ""},
      {"[zz]:80", false, "", 0, ""},
  };
  for (const auto &c : cases) {
    web_address address;
    std::string why;
    EXPECT_EQ(c.ok, web_parse_address(c.text, &address, &why)) << c.text;
    if (!c.ok) {
      EXPECT_FALSE(why.empty()) << c.text;
      continue;
    }
    EXPECT_EQ(c.host, address.host) << c.text;
    EXPECT_EQ(c.port, address.port) << c.text;
    EXPECT_EQ(c.url, web_address_url(address)) << c.text;
  }
}

TEST(WebAddress, KnowsALoopbackHostHeader) {
  struct {
    const char *host;
    bool loopback;
  } cases[] = {
      {"127.0.0.1:8080", true},
      {"127.0.0.1", true},
      {"127.1.2.3:80", true},
      {"localhost:8080", true},
      {"LocalHost", true},
      {"[::1]:8080", true},
      {"[::1]", true},
      {"", false},
      {"10.0.0.1:8080", false},
      {"evil.example:8080", false},
      {"localhost.evil.example", false},
      {"127.0.0.1.evil.example", false},
      {"[::2]:80", false},
      {"[::1]x", false},
      {"localhost:80x", false},
  };
  for (const auto &c : cases) EXPECT_EQ(c.loopback, web_host_is_loopback(c.host)) << c.host;
}

}  // namespace
