#include "station/line/line_http.h"

#include <chrono>
#include <cstdlib>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "korvane/why.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

struct line_connection {
  line_url url;
  asio::io_context context{1};
  std::unique_ptr<beast::tcp_stream> stream;
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

void drop(line_connection *c) {
  if (!c->stream) return;
  beast::error_code ignored;
  c->stream->socket().shutdown(tcp::socket::shutdown_both, ignored);
  c->stream->close();
  c->stream.reset();
  c->buffer.clear();
}

bool connect(line_connection *c, std::chrono::milliseconds timeout, std::string *why) {
  tcp::resolver resolver(c->context);
  beast::error_code error;
  auto found = resolver.resolve(c->url.host, c->url.port, error);
  if (error)
    return set_why(why, "cannot find %s: %s", c->url.host.c_str(), error.message().c_str());
  c->stream.reset(new beast::tcp_stream(c->context));
  c->stream->expires_after(timeout);
  c->stream->async_connect(found,
                           [&error](beast::error_code e, const tcp::endpoint &) { error = e; });
  run(c);
  if (error) {
    drop(c);
    return set_why(why, "%s", error.message().c_str());
  }
  c->stream->socket().set_option(tcp::no_delay(true), error);
  return true;
}

bool exchange(line_connection *c, http::verb verb, const std::string &target,
              const std::vector<std::pair<std::string, std::string>> &headers,
              const std::string *body, double timeout_s, line_reply *reply, std::string *why);

}  // namespace

line_connection *line_connection_new(const line_url &url, const line_tls &) {
  line_connection *c = new line_connection;
  c->url = url;
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
  // A kept connection the server closed meanwhile fails at the write or the
  // read; the request is then tried once on a new one.
  for (int attempt = 0; attempt < 2; attempt++) {
    bool kept = c->stream != nullptr;
    if (!kept && !connect(c, timeout, why)) return false;
    http::request<http::string_body> request{verb, c->url.path + target, 11};
    request.set(http::field::host, c->url.host + ":" + c->url.port);
    if (body) {
      request.set(http::field::content_type, "application/json");
      request.body() = *body;
    }
    for (const auto &h : headers) request.set(h.first, h.second);
    request.prepare_payload();
    beast::error_code error;
    c->stream->expires_after(timeout);
    http::async_write(*c->stream, request,
                      [&error](beast::error_code e, std::size_t) { error = e; });
    run(c);
    http::response_parser<http::string_body> parser;
    parser.body_limit(REPLY_LIMIT);
    if (!error) {
      c->stream->expires_after(timeout);
      http::async_read(*c->stream, c->buffer, parser,
                       [&error](beast::error_code e, std::size_t) { error = e; });
      run(c);
    }
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
