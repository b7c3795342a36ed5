#include "line/line_server.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "korvane/why.h"
#include "serve/serve_connection.h"
#include "serve/serve_events.h"
#include "serve/serve_listen.h"
#include "station/web/web_address.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

// Threads that answer requests: a record's commit blocks its thread, and a
// PostgreSQL back-end takes several at once.
const int THREADS = 8;
// Beyond this many connections a new one is closed at once, rather than let
// memory and threads' time grow without bound.
const int MAX_CONNECTIONS = 512;
constexpr std::size_t HEADER_LIMIT = 8192;
// How long a station may take over a request, or leave a kept connection idle.
constexpr std::chrono::seconds READ_TIME = std::chrono::seconds(60);
constexpr std::chrono::seconds WRITE_TIME = std::chrono::seconds(10);
// A refused body still on its way is read and dropped for this long, so
// that the sender reads the refusal rather than a reset connection.
constexpr std::chrono::seconds DRAIN_TIME = std::chrono::seconds(5);
// The line page's stream: a state at most this often, a comment when quiet.
constexpr std::chrono::milliseconds STREAM_EVERY = std::chrono::milliseconds(1000);
const int STREAM_QUIET_TICKS = 15;

struct session {
  session(tcp::socket socket, serve_tls *tls, line_service *service,
          std::shared_ptr<std::atomic<int>> count)
      : stream(std::move(socket), tls),
        timer(stream.get_executor()),
        service(service),
        count(count) {}
  ~session() { --*count; }
  serve_connection stream;
  beast::flat_buffer buffer;
  std::optional<http::request_parser<http::string_body>> parser;
  http::response<http::string_body> response;
  asio::steady_timer timer;
  line_service *service;
  std::shared_ptr<std::atomic<int>> count;
  std::string writing, last;
  int quiet = 0;
  char sink[16384];
};

using session_ptr = std::shared_ptr<session>;

void read_request(session_ptr s);

void close(session_ptr s) {
  s->stream.close();
  s->timer.cancel();
}

// Reads the socket's raw bytes, TLS records or not (they are dropped), until
// the peer ends or DRAIN_TIME has passed.
void drain(session_ptr s) {
  s->stream.socket().async_read_some(asio::buffer(s->sink),
                                     [s](beast::error_code error, std::size_t) {
                                       if (error) return close(s);
                                       drain(s);
                                     });
}

void start_drain(session_ptr s) {
  s->stream.shutdown_send();
  s->timer.expires_after(DRAIN_TIME);
  s->timer.async_wait([s](beast::error_code error) {
    if (!error) close(s);
  });
  drain(s);
}

void write_response(session_ptr s, const line_response &answer, bool keep, bool refused_body) {
  auto &r = s->response;
  r = {};
  r.version(11);
  r.result((unsigned)answer.status);
  r.set(http::field::server, "korvane-line");
  r.set(http::field::content_type, answer.content_type);
  r.set(http::field::cache_control, "no-store");
  r.set("X-Content-Type-Options", "nosniff");
  if (answer.retry_after >= 0) r.set(http::field::retry_after, std::to_string(answer.retry_after));
  r.body() = answer.body;
  r.keep_alive(keep);
  r.prepare_payload();
  s->stream.expires_after(WRITE_TIME);
  http::async_write(s->stream, r, [s, keep, refused_body](beast::error_code error, std::size_t) {
    if (error) return close(s);
    if (refused_body) return start_drain(s);
    if (!keep) return close(s);
    read_request(s);
  });
}

void stream_tick(session_ptr s) {
  std::string doc = line_stations_json(s->service->stations);
  // The time inside (the document's last member) changes every second; only
  // the rest counts as news.
  std::string content = doc.substr(0, doc.rfind(",\"time_ms\""));
  std::string text;
  if (content != s->last) {
    s->last = content;
    s->quiet = 0;
    text = "event: line\ndata: " + doc + "\n\n";
  } else if (++s->quiet >= STREAM_QUIET_TICKS) {
    s->quiet = 0;
    text = ": quiet\n\n";
  }
  auto next = [s]() {
    s->timer.expires_after(STREAM_EVERY);
    s->timer.async_wait([s](beast::error_code error) {
      if (!error) stream_tick(s);
    });
  };
  if (text.empty()) return next();
  s->writing = text;
  s->stream.expires_after(WRITE_TIME);
  asio::async_write(s->stream, asio::buffer(s->writing),
                    [s, next](beast::error_code error, std::size_t) {
                      if (error) return close(s);
                      next();
                    });
}

void start_stream(session_ptr s) {
  s->writing = SERVE_EVENTS_HEAD;
  s->stream.expires_after(WRITE_TIME);
  asio::async_write(s->stream, asio::buffer(s->writing), [s](beast::error_code error, std::size_t) {
    if (error) return close(s);
    stream_tick(s);
  });
}

void on_request(session_ptr s, beast::error_code error) {
  if (error == http::error::body_limit) {
    return write_response(s, line_error(413, "a record is at most 1 MiB"), false, true);
  }
  if (error == http::error::end_of_stream || error) return close(s);
  auto &request = s->parser->get();
  line_request r;
  r.method = std::string(request.method_string());
  r.target = std::string(request.target());
  auto field = [&request](http::field f) {
    auto it = request.find(f);
    return it == request.end() ? std::string() : std::string(it->value());
  };
  r.authorization = field(http::field::authorization);
  auto key = request.find("Idempotency-Key");
  if (key != request.end()) r.idempotency_key = std::string(key->value());
  r.body = std::move(request.body());
  if (r.method == "GET" && r.target == "/events") return start_stream(s);
  line_response answer = line_answer(s->service, r);
  write_response(s, answer, request.keep_alive(), false);
}

void read_request(session_ptr s) {
  s->parser.emplace();
  s->parser->body_limit(LINE_BODY_LIMIT);
  s->parser->header_limit(HEADER_LIMIT);
  s->stream.expires_after(READ_TIME);
  http::async_read(s->stream, s->buffer, *s->parser,
                   [s](beast::error_code error, std::size_t) { on_request(s, error); });
}

// A TLS connection first shakes hands, within the time a request has.
void start_session(session_ptr s) {
  s->stream.expires_after(READ_TIME);
  s->stream.async_handshake([s](beast::error_code error) {
    if (error) return close(s);
    read_request(s);
  });
}

}  // namespace

struct line_server {
  asio::io_context context{THREADS};
  tcp::acceptor acceptor{context};
  std::vector<std::thread> threads;
  line_service *service = nullptr;
  serve_tls *tls = nullptr;
  std::shared_ptr<std::atomic<int>> connections = std::make_shared<std::atomic<int>>(0);
};

namespace {

void take(line_server *server, tcp::socket socket) {
  if (++*server->connections > MAX_CONNECTIONS) {
    --*server->connections;
    beast::error_code ignored;
    socket.close(ignored);
    return;
  }
  start_session(std::make_shared<session>(std::move(socket), server->tls, server->service,
                                          server->connections));
}

}  // namespace

line_server *line_server_start(const std::string &address, line_service *service, serve_tls *tls,
                               std::string *bound, std::string *why) {
  web_address where;
  if (!web_parse_address(address, &where, why)) return nullptr;
  line_server *server = new line_server;
  server->service = service;
  server->tls = tls;
  beast::error_code error;
  asio::ip::address ip = asio::ip::make_address(where.host, error);
  if (!error) error = serve_listen(&server->acceptor, ip, where.port, &where.port);
  if (error) {
    set_why(why, "cannot listen on %s: %s", address.c_str(), error.message().c_str());
    delete server;
    return nullptr;
  }
  *bound = web_address_url(where, tls != nullptr);
  serve_accept(&server->acceptor,
               [server](tcp::socket socket) { take(server, std::move(socket)); });
  for (int i = 0; i < THREADS; i++)
    server->threads.emplace_back([server] { server->context.run(); });
  return server;
}

void line_server_stop(line_server *server) {
  if (!server) return;
  server->context.stop();
  for (std::thread &t : server->threads) t.join();
  delete server;
}
