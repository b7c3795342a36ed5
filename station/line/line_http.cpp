#include "station/line/line_http.h"

#include <chrono>
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

struct line_connection {
  line_url url;
  line_tls tls;
  asio::io_context context{1};
  asio::ssl::context ssl{asio::ssl::context::tls_client};
  std::string unusable;  // why no server can be checked (the CA file), else ""
  // One of the two while a connection is open: plain for http://, secure
  // for https://, never the one standing in for the other.
  std::unique_ptr<beast::tcp_stream> plain;
  std::unique_ptr<beast::ssl_stream<beast::tcp_stream>> secure;
  beast::flat_buffer buffer;
};

namespace {

// The server's answers are short; a longer one is not the line's.
constexpr std::size_t REPLY_LIMIT = 64 * 1024;

// Runs the context until the one operation started has called back.
void run(line_connection *c) {
  c->context.restart();
  c->context.run();
}

bool is_open(line_connection *c) { return c->plain || c->secure; }

beast::tcp_stream &tcp_of(line_connection *c) {
  return c->secure ? beast::get_lowest_layer(*c->secure) : *c->plain;
}

// Closes the socket without TLS's close_notify: waiting for the server's
// own would make a dead server cost a time-out more.
void drop(line_connection *c) {
  if (!is_open(c)) return;
  beast::error_code ignored;
  tcp_of(c).socket().shutdown(tcp::socket::shutdown_both, ignored);
  tcp_of(c).close();
  c->plain.reset();
  c->secure.reset();
  c->buffer.clear();
}

// The handshake and the checks of an https:// server; nothing is written
// to a server that has not passed them.
bool handshake(line_connection *c, std::chrono::milliseconds timeout, bool *untrusted,
               std::string *why) {
  SSL *ssl = c->secure->native_handle();
  if (!line_certificate_expect(ssl, c->url.host, c->tls, why)) return false;
  beast::error_code error;
  tcp_of(c).expires_after(timeout);
  c->secure->async_handshake(asio::ssl::stream_base::client,
                             [&error](beast::error_code e) { error = e; });
  run(c);
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

bool connect(line_connection *c, std::chrono::milliseconds timeout, bool *untrusted,
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
  if (c->url.tls)
    c->secure.reset(new beast::ssl_stream<beast::tcp_stream>(c->context, c->ssl));
  else
    c->plain.reset(new beast::tcp_stream(c->context));
  tcp_of(c).expires_after(timeout);
  tcp_of(c).async_connect(found,
                          [&error](beast::error_code e, const tcp::endpoint &) { error = e; });
  run(c);
  if (error) {
    drop(c);
    return set_why(why, "%s", error.message().c_str());
  }
  tcp_of(c).socket().set_option(tcp::no_delay(true), error);
  if (c->secure && !handshake(c, timeout, untrusted, why)) {
    drop(c);
    return false;
  }
  return true;
}

// One request written and its answer read, on either kind of stream.
template <class Stream>
beast::error_code round_trip(line_connection *c, Stream &stream,
                             http::request<http::string_body> &request,
                             http::response_parser<http::string_body> &parser,
                             std::chrono::milliseconds timeout) {
  beast::error_code error;
  tcp_of(c).expires_after(timeout);
  http::async_write(stream, request, [&error](beast::error_code e, std::size_t) { error = e; });
  run(c);
  if (error) return error;
  tcp_of(c).expires_after(timeout);
  http::async_read(stream, c->buffer, parser,
                   [&error](beast::error_code e, std::size_t) { error = e; });
  run(c);
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
  auto timeout = std::chrono::milliseconds((long long)(timeout_s * 1000));
  reply->untrusted = false;
  // A kept connection the server closed meanwhile fails at the write or the
  // read; the request is then tried once on a new one.
  for (int attempt = 0; attempt < 2; attempt++) {
    bool kept = is_open(c);
    if (!kept && !connect(c, timeout, &reply->untrusted, why)) return false;
    http::request<http::string_body> request{verb, c->url.path + target, 11};
    bool v6 = c->url.host.find(':') != std::string::npos;
    request.set(http::field::host,
                (v6 ? "[" + c->url.host + "]" : c->url.host) + ":" + c->url.port);
    if (body) {
      request.set(http::field::content_type, "application/json");
      request.body() = *body;
    }
    for (const auto &h : headers) request.set(h.first, h.second);
    request.prepare_payload();
    http::response_parser<http::string_body> parser;
    parser.body_limit(REPLY_LIMIT);
    beast::error_code error = c->secure ? round_trip(c, *c->secure, request, parser, timeout)
                                        : round_trip(c, *c->plain, request, parser, timeout);
    if (error) {
      drop(c);
      if (kept && error != beast::error::timeout) continue;
      return set_why(
          why, "%s",
          error == beast::error::timeout ? "no answer in time" : error.message().c_str());
    }
    auto &response = parser.get();
    reply->status = (int)response.result_int();
    reply->body = response.body();
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
