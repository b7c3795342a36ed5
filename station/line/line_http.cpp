#include "station/line/line_http.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include "korvane/why.h"
#include "station/line/line_certificate.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

using clock_type = std::chrono::steady_clock;

namespace {

// Waits until fd is ready for events or the deadline passes (ec then holds
// the time-out); true when ready, or when the socket has an error or was
// closed, which the next read or write reports.
bool wait_for(int fd, short events, clock_type::time_point deadline, beast::error_code &ec) {
  for (;;) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock_type::now()).count();
    if (left <= 0) {
      ec = beast::error::timeout;
      return false;
    }
    pollfd ready = {fd, events, 0};
    int n = poll(&ready, 1, left > INT_MAX ? INT_MAX : (int)left);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) {
      ec = beast::error_code(errno, asio::error::get_system_category());
      return false;
    }
  }
}

// A connected socket every read and write of which waits at most until the
// exchange's deadline: non-blocking, with poll() for the time left. Beast
// writes the request and reads the answer through it synchronously, TLS
// runs on top of it, and an exchange costs its system calls and no event
// loop, no timer.
struct deadline_socket {
  using lowest_layer_type = tcp::socket;
  using executor_type = tcp::socket::executor_type;
  tcp::socket socket;
  clock_type::time_point deadline;

  explicit deadline_socket(tcp::socket &&connected) : socket(std::move(connected)) {}
  lowest_layer_type &lowest_layer() { return socket; }
  const lowest_layer_type &lowest_layer() const { return socket; }
  executor_type get_executor() { return socket.get_executor(); }

  // Reads come after something was written and wait for the answer first
  // rather than try a read that finds nothing.
  template <class Buffers>
  std::size_t read_some(const Buffers &buffers, beast::error_code &ec) {
    for (;;) {
      if (!wait_for(socket.native_handle(), POLLIN, deadline, ec)) return 0;
      std::size_t n = socket.read_some(buffers, ec);
      if (ec != asio::error::would_block) return n;
    }
  }
  template <class Buffers>
  std::size_t write_some(const Buffers &buffers, beast::error_code &ec) {
    for (;;) {
      std::size_t n = socket.write_some(buffers, ec);
      if (ec != asio::error::would_block) return n;
      if (!wait_for(socket.native_handle(), POLLOUT, deadline, ec)) return 0;
    }
  }
  // Declared for Beast's stream traits alone: never called, never defined.
  template <class Buffers>
  std::size_t read_some(const Buffers &buffers);
  template <class Buffers>
  std::size_t write_some(const Buffers &buffers);
};

}  // namespace

struct line_connection {
  line_url url;
  line_tls tls;
  std::string host;             // the Host header: the name or [IPv6]:port
  asio::io_context context{1};  // the sockets' own; never run, every step is synchronous
  asio::ssl::context ssl{asio::ssl::context::tls_client};
  std::string unusable;  // why no server can be checked (the CA file), else ""
  // One of the two while a connection is open: plain for http://, secure
  // for https://, never the one standing in for the other.
  std::unique_ptr<deadline_socket> plain;
  std::unique_ptr<beast::ssl_stream<deadline_socket>> secure;
  beast::flat_buffer buffer;
};

namespace {

// The server's answers are short; a longer one is not the line's.
constexpr std::size_t REPLY_LIMIT = 64 * 1024;

bool is_open(line_connection *c) { return c->plain || c->secure; }

deadline_socket &socket_of(line_connection *c) {
  return c->secure ? c->secure->next_layer() : *c->plain;
}

// Closes the socket without TLS's close_notify: waiting for the server's
// own would make a dead server cost a time-out more.
void drop(line_connection *c) {
  if (!is_open(c)) return;
  beast::error_code ignored;
  socket_of(c).socket.shutdown(tcp::socket::shutdown_both, ignored);
  socket_of(c).socket.close(ignored);
  c->plain.reset();
  c->secure.reset();
  c->buffer.clear();
}

// The handshake and the checks of an https:// server; nothing is written
// to a server that has not passed them.
bool handshake(line_connection *c, bool *untrusted, std::string *why) {
  SSL *ssl = c->secure->native_handle();
  if (!line_certificate_expect(ssl, c->url.host, c->tls, why)) return false;
  beast::error_code error;
  c->secure->handshake(asio::ssl::stream_base::client, error);
  if (error == beast::error::timeout) return set_why(why, "no answer in time");
  if (error) {
    *untrusted = true;
    bool closed = error == asio::ssl::error::stream_truncated || error == asio::error::eof;
    std::string said = closed ? "" : error.message();
    return set_why(why, "%s", line_certificate_refusal(ssl, c->url.host, said).c_str());
  }
  if (!line_certificate_pinned(ssl, c->url.host, c->tls, why)) {
    *untrusted = true;
    return false;
  }
  return true;
}

// A non-blocking socket connected to the first of the addresses found that
// takes it, tried in turn; else false with the last one's error, or the
// time-out.
bool connect_socket(line_connection *c, const tcp::resolver::results_type &found,
                    clock_type::time_point deadline, tcp::socket *out, beast::error_code &error) {
  error = asio::error::not_found;
  for (const auto &entry : found) {
    tcp::endpoint at = entry.endpoint();
    tcp::socket socket(c->context);
    socket.open(at.protocol(), error);
    if (!error) socket.non_blocking(true, error);
    if (error) continue;
    int fd = socket.native_handle();
    if (::connect(fd, at.data(), (socklen_t)at.size()) != 0) {
      if (errno != EINPROGRESS && errno != EINTR) {
        error = beast::error_code(errno, asio::error::get_system_category());
        continue;
      }
      if (!wait_for(fd, POLLOUT, deadline, error)) return false;
      int failed = 0;
      socklen_t size = sizeof failed;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &failed, &size) != 0) failed = errno;
      if (failed) {
        error = beast::error_code(failed, asio::error::get_system_category());
        continue;
      }
    }
    error = {};
    *out = std::move(socket);
    return true;
  }
  return false;
}

bool connect(line_connection *c, clock_type::time_point deadline, bool *untrusted,
             std::string *why) {
  if (!c->unusable.empty()) {
    *untrusted = true;
    return set_why(why, "%s", c->unusable.c_str());
  }
  // The token and the records cross the network readable by anyone on it
  // only when the user said so.
  if (!c->url.tls && !c->tls.insecure && !line_host_is_loopback(c->url.host)) {
    *untrusted = true;
    return set_why(why, "http:// to %s only with --line-insecure", c->url.host.c_str());
  }
  tcp::resolver resolver(c->context);
  beast::error_code error;
  auto found = resolver.resolve(c->url.host, c->url.port, error);
  if (error)
    return set_why(why, "cannot find %s: %s", c->url.host.c_str(), error.message().c_str());
  tcp::socket socket(c->context);
  if (!connect_socket(c, found, deadline, &socket, error))
    return set_why(why, "%s", error.message().c_str());
  socket.set_option(tcp::no_delay(true), error);
  if (c->url.tls)
    c->secure.reset(new beast::ssl_stream<deadline_socket>(std::move(socket), c->ssl));
  else
    c->plain.reset(new deadline_socket(std::move(socket)));
  socket_of(c).deadline = deadline;
  if (c->secure && !handshake(c, untrusted, why)) {
    drop(c);
    return false;
  }
  return true;
}

// One request written and its answer read, on either kind of stream.
template <class Stream>
beast::error_code round_trip(line_connection *c, Stream &stream,
                             http::request<http::string_body> &request,
                             http::response_parser<http::string_body> &parser) {
  beast::error_code error;
  http::write(stream, request, error);
  if (error) return error;
  http::read(stream, c->buffer, parser, error);
  return error;
}

bool exchange(line_connection *c, http::verb verb, const std::string &target,
              const std::vector<std::pair<std::string, std::string>> &headers,
              const std::string *body, double timeout_s, line_reply *reply, std::string *why);

}  // namespace

line_connection *line_connection_new(const line_url &url, const line_tls &tls) {
  line_connection *c = new line_connection;
  c->url = url;
  c->tls = tls;
  bool v6 = url.host.find(':') != std::string::npos;
  c->host = (v6 ? "[" + url.host + "]" : url.host) + ":" + url.port;
  // Room for a serial's answer in one read, not the 512 bytes of a first
  // read into an empty buffer.
  c->buffer.reserve(4096);
  if (url.tls) line_certificate_context(c->ssl.native_handle(), tls, &c->unusable);
  return c;
}

void line_connection_free(line_connection *c) {
  if (!c) return;
  drop(c);
  delete c;
}

bool line_post(line_connection *c, const std::string &target,
               const std::vector<std::pair<std::string, std::string>> &headers,
               const std::string &body, double timeout_s, line_reply *reply, std::string *why) {
  return exchange(c, http::verb::post, target, headers, &body, timeout_s, reply, why);
}

bool line_get(line_connection *c, const std::string &target,
              const std::vector<std::pair<std::string, std::string>> &headers, double timeout_s,
              line_reply *reply, std::string *why) {
  return exchange(c, http::verb::get, target, headers, nullptr, timeout_s, reply, why);
}

namespace {

bool exchange(line_connection *c, http::verb verb, const std::string &target,
              const std::vector<std::pair<std::string, std::string>> &headers,
              const std::string *body, double timeout_s, line_reply *reply, std::string *why) {
  // One deadline for the whole exchange, the connection and its retry
  // included: a server that stalls mid-answer costs the time-out, no more.
  auto deadline = clock_type::now() + std::chrono::milliseconds((long long)(timeout_s * 1000));
  reply->untrusted = false;
  // A kept connection the server closed meanwhile fails at the write or the
  // read; the request is then tried once on a new one.
  for (int attempt = 0; attempt < 2; attempt++) {
    bool kept = is_open(c);
    if (!kept && !connect(c, deadline, &reply->untrusted, why)) return false;
    socket_of(c).deadline = deadline;
    http::request<http::string_body> request{verb, c->url.path + target, 11};
    request.set(http::field::host, c->host);
    if (body) {
      request.set(http::field::content_type, "application/json");
      request.body() = *body;
    }
    for (const auto &h : headers) request.set(h.first, h.second);
    request.prepare_payload();
    http::response_parser<http::string_body> parser;
    parser.body_limit(REPLY_LIMIT);
    beast::error_code error = c->secure ? round_trip(c, *c->secure, request, parser)
                                        : round_trip(c, *c->plain, request, parser);
    if (error) {
      drop(c);
      if (kept && error != beast::error::timeout) continue;
      return set_why(
          why, "%s",
          error == beast::error::timeout ? "no answer in time" : error.message().c_str());
    }
    auto &response = parser.get();
    reply->status = (int)response.result_int();
    reply->body = std::move(response.body());
    reply->retry_after = -1;
    auto after = response.find(http::field::retry_after);
    if (after != response.end()) {
      std::string text(after->value());
      char *end = nullptr;
      double seconds = std::strtod(text.c_str(), &end);
      if (end != text.c_str() && !*end && seconds >= 0) reply->retry_after = seconds;
    }
    if (!response.keep_alive()) drop(c);
    return true;
  }
  return set_why(why, "the connection closed");
}

}  // namespace
