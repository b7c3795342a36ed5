#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio.hpp>
#include <gtest/gtest.h>

#include "station/web/web_server.h"

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

unsigned short port_of(const std::string &url) {
  std::size_t colon = url.rfind(':');
  return static_cast<unsigned short>(std::stoi(url.substr(colon + 1)));
}

struct client {
  asio::io_context context;
  tcp::socket socket{context};
  asio::streambuf buffer;

  explicit client(unsigned short port, const std::string &address = "127.0.0.1") {
    socket.connect(tcp::endpoint(asio::ip::make_address(address), port));
  }
  void send(const std::string &text) { asio::write(socket, asio::buffer(text)); }
  // Up to and with the next blank line: a response's head, or one event.
  std::string next_block() {
    std::size_t size = asio::read_until(socket, buffer, "\n\n");
    std::string text(asio::buffers_begin(buffer.data()),
                     asio::buffers_begin(buffer.data()) + static_cast<std::ptrdiff_t>(size));
    buffer.consume(size);
    return text;
  }
  // The next state event's data.
  std::string next_state() {
    while (true) {
      std::string block = next_block();
      std::size_t data = block.find("data: ");
      if (block.rfind("event: state\n", 0) == 0 && data != std::string::npos) {
        return block.substr(data + 6, block.size() - data - 8);
      }
    }
  }
  std::string rest() {
    boost::system::error_code error;
    asio::read(socket, buffer, asio::transfer_all(), error);
    std::string text(asio::buffers_begin(buffer.data()), asio::buffers_end(buffer.data()));
    buffer.consume(buffer.size());
    return text;
  }
};

std::string get(unsigned short port, const std::string &target) {
  client c(port);
  c.send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  return c.rest();
}

std::string body_of(const std::string &response) {
  std::size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? "" : response.substr(end + 4);
}

std::vector<web_slot> one_slot(const std::string &phase, const std::string &detail = "") {
  web_slot slot;
  slot.name = "A";
  slot.port = "/dev/pts/9";
  slot.phase = phase;
  slot.detail = detail;
  return {slot};
}

struct server_under_test {
  web_server *server = nullptr;
  std::string bound;
  server_under_test() {
    std::string why;
    server = web_start("127.0.0.1:0", web_hooks(), "", "", &bound, &why);
    EXPECT_NE(nullptr, server) << why;
  }
  ~server_under_test() { web_stop(server); }
  unsigned short port() const { return port_of(bound); }
};

TEST(WebServer, APageIsSentTheWholeStateOnConnectThenEachNewOne) {
  server_under_test s;
  ASSERT_EQ(0u, s.bound.rfind("http://127.0.0.1:", 0)) << s.bound;
  ASSERT_NE(0, s.port());
  web_update(s.server, {"st", 1, 1, 0}, one_slot("first"));
  // The update reaches the server's thread in its own time: wait for it
  // through /api/slots, which answers from the same state.
  for (int i = 0;
       i < 1000 && body_of(get(s.port(), "/api/slots")).find("first") == std::string::npos; ++i) {
  }

  client page(s.port());
  page.send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  std::string head = page.next_block();
  EXPECT_EQ(0u, head.find("HTTP/1.1 200 OK\r\n")) << head;
  EXPECT_NE(std::string::npos, head.find("Content-Type: text/event-stream\r\n")) << head;
  EXPECT_NE(std::string::npos, page.next_state().find("\"phase\":\"first\""));

  web_update(s.server, {"st", 2, 1, 1}, one_slot("second"));
  EXPECT_NE(std::string::npos, page.next_state().find("\"phase\":\"second\""));
}

// A page that stops reading (a browser on a stalled network) fills its
// socket's buffers; the station must not wait for it (web_update would never
// return here), and the other pages go on getting the newest state.
TEST(WebServer, APageThatStopsReadingHoldsUpNeitherTheStationNorOtherPages) {
  server_under_test s;
  asio::io_context context;
  tcp::socket stalled(context);
  stalled.open(tcp::v4());
  // A small window, so that the server's buffer for it fills soon.
  stalled.set_option(asio::socket_base::receive_buffer_size(4096));
  stalled.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), s.port()));
  const std::string ask = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  asio::write(stalled, asio::buffer(ask));

  client page(s.port());
  page.send(ask);
  page.next_block();
  page.next_state();
  std::thread reader([&page] {
    while (page.next_state().find("\"phase\":\"last\"") == std::string::npos) {
    }
  });
  // 160 states of 64 KiB: 10 MiB, more than the kernel buffers for one
  // connection.
  const std::string bulk(64 * 1024, 'x');
  for (int i = 0; i < 160; ++i) {
    web_update(s.server, {}, one_slot("state " + std::to_string(i), bulk));
  }
  web_update(s.server, {}, one_slot("last"));
  reader.join();
}

TEST(WebServer, RefusesWhatItCannotServe) {
  server_under_test s;
  struct {
    const char *what;
    std::string request;
    const char *status;
  } cases[] = {
      {"a body beyond the limit",
       "POST /serial HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
       "Content-Length: 100000\r\n\r\n",
       "HTTP/1.1 413"},
      {"a post to the stream", "POST /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 405"},
      {"an unknown path", "GET /nothing HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
       "HTTP/1.1 404"},
  };
  for (const auto &c : cases) {
    client asking(s.port());
    asking.send(c.request);
    std::string answer = asking.rest();
    EXPECT_EQ(0u, answer.rfind(c.status, 0)) << c.what << ": " << answer.substr(0, 40);
  }
  std::string page = get(s.port(), "/");
  EXPECT_NE(std::string::npos, page.find("Content-Security-Policy: default-src 'none'"));
}

// This PC's own address beyond loopback, if it has one: a connection to it
// comes from a peer the server takes for a host on the network.
std::string lan_address() {
  ifaddrs *all = nullptr;
  std::string found;
  if (getifaddrs(&all) != 0) return found;
  for (ifaddrs *i = all; i && found.empty(); i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & IFF_LOOPBACK))
      continue;
    char text[INET_ADDRSTRLEN];
    const auto *in = reinterpret_cast<const sockaddr_in *>(i->ifa_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) found = text;
  }
  freeifaddrs(all);
  return found;
}

// One host on the network holding every connection and stream it may does
// not keep the station's own browser from the page.
TEST(WebServer, OneHostOnTheNetworkCannotLockThePageOut) {
  std::string lan = lan_address();
  if (lan.empty()) GTEST_SKIP() << "no address beyond loopback here";
  std::string bound, why;
  web_server *server = web_start("0.0.0.0:0", web_hooks(), "", "", &bound, &why);
  ASSERT_NE(nullptr, server) << why;
  unsigned short port = port_of(bound);
  auto from_lan = [&] {
    auto c = std::make_unique<client>(port, lan);
    return c;
  };
  std::vector<std::unique_ptr<client>> held;
  // Eight page streams, then the ninth is refused in words.
  for (int i = 0; i < 8; i++) {
    held.push_back(from_lan());
    held.back()->send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
    held.back()->next_state();
  }
  auto ninth = from_lan();
  ninth->send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
  std::string refused = ninth->rest();
  EXPECT_EQ(0u, refused.rfind("HTTP/1.1 503", 0)) << refused;
  EXPECT_NE(std::string::npos, refused.find("too many pages are open"));
  // Idle connections up to its share; the one after is closed unanswered.
  while (held.size() < 16) held.push_back(from_lan());
  auto beyond = from_lan();
  beyond->send("GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ("", beyond->rest());
  // The station's own browser still gets the page and its stream.
  EXPECT_EQ(0u, get(port, "/").rfind("HTTP/1.1 200", 0));
  client own(port);
  own.send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_NE("", own.next_state());
  held.clear();
  web_stop(server);
}

TEST(WebServer, APortInUseIsReported) {
  server_under_test s;
  std::string why;
  std::string bound;
  EXPECT_EQ(nullptr, web_start(std::to_string(s.port()), web_hooks(), "", "", &bound, &why));
  EXPECT_NE(std::string::npos, why.find("cannot listen on http://127.0.0.1:")) << why;
  EXPECT_EQ(nullptr, web_start("nonsense", web_hooks(), "", "", &bound, &why));
  EXPECT_FALSE(why.empty());
}

}  // namespace
