#include "station/web/web_server.h"

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "korvane/thread_name.h"
#include "korvane/why.h"
#include "serve/serve_connection.h"
#include "serve/serve_events.h"
#include "serve/serve_listen.h"
#include "serve/serve_tls.h"
#include "station/web/web_address.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

// A request is small (a serial number); anything larger is not the page's.
constexpr std::size_t BODY_LIMIT = 4096;
constexpr std::size_t HEADER_LIMIT = 8192;
// How long a browser may take to send a request, and a page to take a write.
constexpr std::chrono::seconds READ_TIME = std::chrono::seconds(10);
constexpr std::chrono::seconds WRITE_TIME = std::chrono::seconds(5);
// A beat on every stream, so that a page that went away is noticed, a proxy
// does not close the stream as idle, and the page can tell a station that
// hangs (or a path that died without closing) from a quiet one: it says so
// when two beats did not come.
constexpr std::chrono::seconds HEARTBEAT = std::chrono::seconds(5);
// Enough for a floor of screens; beyond them a connection is turned away
// rather than let memory and the thread's time grow without bound.
constexpr int MAX_CONNECTIONS = 128;
constexpr std::size_t MAX_STREAMS = 64;
// One host beyond this PC holds at most this many of them, and those hosts
// together leave room for the station's own browser (loopback).
constexpr int MAX_PER_PEER = 16;
constexpr int LOOPBACK_ROOM = 16;
constexpr std::size_t MAX_STREAMS_PER_PEER = 8;
constexpr std::size_t STREAM_LOOPBACK_ROOM = 8;
// A connection turned away is answered in words rather than dropped, so
// that the browser shows why instead of its own error page; this many
// answers at most are under way (beyond them a connection is closed
// unanswered), each given this long to be sent and read.
constexpr int MAX_REFUSALS = 16;
constexpr std::chrono::seconds REFUSAL_TIME = std::chrono::seconds(2);
const char TOO_MANY_PAGES[] = "too many pages are open on this station; close one and reload\n";

// Who holds the server's connections: all of them, those from beyond this
// PC, and those of each such host.
struct peer_counts {
  int total = 0;
  int remote = 0;
  std::map<std::string, int> by_peer;
  int refusing = 0;  // connections turned away, their answer under way
};

// A connection's peer: its address, and whether it is this PC.
struct peer {
  std::string address;
  bool loopback = false;
};

void release(peer_counts *counts, const peer &p) {
  --counts->total;
  if (p.loopback) return;
  --counts->remote;
  if (--counts->by_peer[p.address] <= 0) counts->by_peer.erase(p.address);
}

struct stream_client {
  stream_client(serve_connection stream, const peer &from)
      : stream(std::move(stream)), from(from) {}
  serve_connection stream;
  peer from;
  std::string writing;
  std::string waiting;  // the newest state not yet written
  bool busy = false;
  bool closed = false;
  char probe[256];
};

}  // namespace

struct web_server {
  // Before the context, so that it outlives every connection the context's
  // handlers hold. Null for plain HTTP.
  std::unique_ptr<serve_tls, decltype(&serve_tls_free)> tls{nullptr, serve_tls_free};
  asio::io_context context{1};
  tcp::acceptor acceptor{context};
  asio::steady_timer heartbeat{context};
  std::thread thread;
  web_hooks hooks;
  std::string token;

  std::mutex mutex;  // guards `latest`, `flush_posted` and `last_content`
  std::string latest;
  bool flush_posted = false;
  std::string last_content;  // the last state but its time, to skip repeats

  // The server's thread alone touches these.
  std::string state;
  std::vector<std::shared_ptr<stream_client>> streams;
  // Shared with the sessions, which may outlive the rest of the server while
  // the context's destructor frees the handlers that hold them.
  std::shared_ptr<peer_counts> connections = std::make_shared<peer_counts>();
};

namespace {

std::string event_of(const std::string &state) { return "event: state\ndata: " + state + "\n\n"; }

std::string beat_event() {
  return "event: beat\ndata: {\"every_ms\":" +
         std::to_string(std::chrono::milliseconds(HEARTBEAT).count()) + "}\n\n";
}

void drop_stream(web_server *server, const std::shared_ptr<stream_client> &client) {
  if (client->closed) return;
  client->closed = true;
  client->stream.close();
  auto &streams = server->streams;
  for (auto it = streams.begin(); it != streams.end(); ++it) {
    if (*it == client) {
      streams.erase(it);
      release(server->connections.get(), client->from);
      break;
    }
  }
}

void write_stream(web_server *server, const std::shared_ptr<stream_client> &client,
                  std::string text) {
  client->busy = true;
  client->writing = std::move(text);
  client->stream.expires_after(WRITE_TIME);
  asio::async_write(client->stream, asio::buffer(client->writing),
                    [server, client](beast::error_code error, std::size_t) {
                      client->busy = false;
                      if (error || client->closed) {
                        drop_stream(server, client);
                        return;
                      }
                      client->stream.expires_never();
                      if (!client->waiting.empty()) {
                        write_stream(server, client, std::move(client->waiting));
                        client->waiting.clear();
                      }
                    });
}

// A newer state replaces one still waiting: a slow page skips states, it never
// makes the queue grow.
void send_stream(web_server *server, const std::shared_ptr<stream_client> &client,
                 const std::string &text) {
  if (client->closed) return;
  if (client->busy) {
    client->waiting = text;
  } else {
    write_stream(server, client, text);
  }
}

// The stream's reader sees only the end of the connection (a browser sends
// nothing on it), which frees the stream at once rather than at the next write.
// It reads the socket's raw bytes, below TLS: nothing read is used.
void watch_stream(web_server *server, const std::shared_ptr<stream_client> &client) {
  client->stream.socket().async_read_some(asio::buffer(client->probe),
                                          [server, client](beast::error_code error, std::size_t) {
                                            if (error) {
                                              drop_stream(server, client);
                                              return;
                                            }
                                            watch_stream(server, client);
                                          });
}

void start_stream(web_server *server, serve_connection stream, const peer &from) {
  auto client = std::make_shared<stream_client>(std::move(stream), from);
  server->streams.push_back(client);
  watch_stream(server, client);
  write_stream(server, client,
               std::string(SERVE_EVENTS_HEAD) + event_of(server->state) + beat_event());
}

void beat(web_server *server) {
  server->heartbeat.expires_after(HEARTBEAT);
  server->heartbeat.async_wait([server](beast::error_code error) {
    if (error) return;
    auto streams = server->streams;
    for (auto &client : streams) {
      if (!client->busy) send_stream(server, client, beat_event());
    }
    beat(server);
  });
}

peer peer_of(const tcp::socket &socket) {
  peer p;
  beast::error_code error;
  tcp::endpoint end = socket.remote_endpoint(error);
  if (error) return p;
  asio::ip::address address = end.address();
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  }
  p.address = address.to_string(error);
  p.loopback = address.is_loopback();
  return p;
}

// Whether one more page stream from this peer leaves the others their room.
bool stream_room(const web_server *server, const peer &from);

struct http_session : std::enable_shared_from_this<http_session> {
  http_session(web_server *server, tcp::socket socket, const peer &from)
      : server(server),
        connections(server->connections),
        stream(std::move(socket), server->tls.get()),
        from(from) {}
  ~http_session() {
    if (!handed_over) release(connections.get(), from);
  }

  web_server *server;
  std::shared_ptr<peer_counts> connections;
  serve_connection stream;
  peer from;
  beast::flat_buffer buffer;
  std::optional<http::request_parser<http::string_body>> parser;
  http::response<http::string_body> response;
  bool handed_over = false;

  // A TLS connection first shakes hands, within the time a request has.
  void start() {
    stream.expires_after(READ_TIME);
    stream.async_handshake([self = shared_from_this()](beast::error_code error) {
      if (error) return self->close();
      self->read();
    });
  }

  void read() {
    parser.emplace();
    parser->body_limit(BODY_LIMIT);
    parser->header_limit(HEADER_LIMIT);
    stream.expires_after(READ_TIME);
    http::async_read(stream, buffer, *parser,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                       self->on_read(error);
                     });
  }

  void on_read(beast::error_code error) {
    if (error == http::error::body_limit || error == http::error::header_limit) {
      reply_and_close(http::status::payload_too_large, "the request is too large\n");
      return;
    }
    if (error) {
      close();
      return;
    }
    const http::request<http::string_body> &request = parser->get();
    web_request asked;
    asked.method = std::string(request.method_string());
    asked.target = std::string(request.target());
    asked.host = std::string(request[http::field::host]);
    asked.content_type = std::string(request[http::field::content_type]);
    asked.body = request.body();
    asked.from_loopback = from.loopback;
    asked.over_tls = server->tls != nullptr;

    if (asked.target == "/events" || asked.target.rfind("/events?", 0) == 0) {
      if (asked.method != "GET") {
        reply_and_close(http::status::method_not_allowed, "use GET\n");
        return;
      }
      if (!stream_room(server, from)) {
        reply_and_close(http::status::service_unavailable, TOO_MANY_PAGES);
        return;
      }
      handed_over = true;
      stream.expires_never();
      start_stream(server, std::move(stream), from);
      return;
    }

    web_reply reply = web_handle(asked, server->token, server->state, server->hooks);
    response = {};
    response.version(request.version());
    response.result(static_cast<unsigned>(reply.status));
    response.set(http::field::content_type, reply.content_type);
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    response.set("Referrer-Policy", "no-referrer");
    // The page's script alone builds the page, from its own origin; nothing
    // inline runs, whatever text ended up in the page.
    response.set("Content-Security-Policy",
                 "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
                 "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    response.keep_alive(request.keep_alive());
    response.body() = asked.method == "HEAD" ? std::string() : std::move(reply.body);
    response.prepare_payload();
    if (asked.method == "HEAD") response.content_length(reply.body.size());
    write();
  }

  void write() {
    stream.expires_after(WRITE_TIME);
    http::async_write(stream, response,
                      [self = shared_from_this()](beast::error_code error, std::size_t) {
                        if (error || !self->response.keep_alive()) {
                          self->close();
                          return;
                        }
                        self->read();
                      });
  }

  void reply_and_close(http::status status, const std::string &text) {
    response = {};
    response.result(status);
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    response.keep_alive(false);
    response.body() = text;
    response.prepare_payload();
    write();
  }

  void close() {
    if (handed_over) return;
    stream.shutdown_send();
    stream.close();
  }
};

bool stream_room(const web_server *server, const peer &from) {
  if (server->streams.size() >= MAX_STREAMS) return false;
  if (from.loopback) return true;
  std::size_t remote = 0, this_peer = 0;
  for (const auto &client : server->streams) {
    remote += !client->from.loopback;
    this_peer += !client->from.loopback && client->from.address == from.address;
  }
  return remote < MAX_STREAMS - STREAM_LOOPBACK_ROOM && this_peer < MAX_STREAMS_PER_PEER;
}

// Whether a connection from this peer is taken: loopback up to the limit,
// a host beyond this PC up to its own share and the remote hosts' room.
bool connection_room(const peer_counts &counts, const peer &from) {
  if (counts.total >= MAX_CONNECTIONS) return false;
  if (from.loopback) return true;
  auto it = counts.by_peer.find(from.address);
  int held = it == counts.by_peer.end() ? 0 : it->second;
  return counts.remote < MAX_CONNECTIONS - LOOPBACK_ROOM && held < MAX_PER_PEER;
}

// A connection turned away: answered 503 with the reason without reading
// its request (a browser reads an answer sent early), then its request is
// read and dropped until the browser closes, since closing with it unread
// would reset the connection and lose the answer.
struct refusal : std::enable_shared_from_this<refusal> {
  refusal(tcp::socket socket, std::shared_ptr<peer_counts> counts)
      : stream(std::move(socket)), counts(std::move(counts)) {
    ++this->counts->refusing;
  }
  ~refusal() { --counts->refusing; }

  beast::tcp_stream stream;
  std::shared_ptr<peer_counts> counts;
  std::string answer;
  char unread[512];

  void start() {
    answer = std::string(
                 "HTTP/1.1 503 Service Unavailable\r\n"
                 "Content-Type: text/plain; charset=utf-8\r\n"
                 "Cache-Control: no-store\r\n"
                 "X-Content-Type-Options: nosniff\r\n"
                 "Retry-After: 5\r\n"
                 "Connection: close\r\n"
                 "Content-Length: ") +
             std::to_string(sizeof TOO_MANY_PAGES - 1) + "\r\n\r\n" + TOO_MANY_PAGES;
    // One deadline for the whole answer and the drain after it.
    stream.expires_after(REFUSAL_TIME);
    asio::async_write(stream, asio::buffer(answer),
                      [self = shared_from_this()](beast::error_code error, std::size_t) {
                        if (error) return self->close();
                        beast::error_code ignored;
                        self->stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
                        self->drain();
                      });
  }

  void drain() {
    stream.async_read_some(asio::buffer(unread),
                           [self = shared_from_this()](beast::error_code error, std::size_t) {
                             if (error) return self->close();
                             self->drain();
                           });
  }

  void close() { stream.close(); }
};

// The page's sockets are the station's alone (serve_accept): a korvane
// child started meanwhile does not hold them open (the child closes what it
// inherited as well, whatever thread opened it).
void take(web_server *server, tcp::socket socket) {
  peer from = peer_of(socket);
  peer_counts &counts = *server->connections;
  if (!connection_room(counts, from)) {
    // Over TLS a plain answer would not be read: the connection is closed.
    if (!server->tls && counts.refusing < MAX_REFUSALS) {
      std::make_shared<refusal>(std::move(socket), server->connections)->start();
      return;
    }
    beast::error_code ignored;
    socket.close(ignored);
    return;
  }
  ++counts.total;
  if (!from.loopback) {
    ++counts.remote;
    ++counts.by_peer[from.address];
  }
  std::make_shared<http_session>(server, std::move(socket), from)->start();
}

long long now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

web_server *web_start(const std::string &address, const web_hooks &hooks, const std::string &cert,
                      const std::string &key, std::string *bound, std::string *why) {
  web_address parsed;
  if (!web_parse_address(address, &parsed, why)) return nullptr;
  beast::error_code error;
  asio::ip::address ip = asio::ip::make_address(parsed.host, error);
  if (error) {
    set_why(why, "'" + parsed.host + "' is not an IP address");
    return nullptr;
  }
  auto server = std::make_unique<web_server>();
  if (!cert.empty()) {
    server->tls.reset(serve_tls_load(cert, key, why));
    if (!server->tls) return nullptr;
  }
  server->hooks = hooks;
  server->token = web_new_token();
  server->state = web_state_json({}, {}, now_ms());
  bool tls = server->tls != nullptr;
  unsigned short port = 0;
  error = serve_listen(&server->acceptor, ip, parsed.port, &port);
  if (error) {
    set_why(why, "cannot listen on " + web_address_url(parsed, tls) + ": " + error.message());
    return nullptr;
  }
  parsed.port = port;
  if (bound) *bound = web_address_url(parsed, tls);
  web_server *serving = server.get();
  serve_accept(&server->acceptor,
               [serving](tcp::socket socket) { take(serving, std::move(socket)); });
  beat(server.get());
  web_server *running = server.release();
  running->thread = std::thread([running] {
    name_this_thread("web");
    running->context.run();
  });
  return running;
}

void web_update(web_server *server, const web_header &header, const std::vector<web_slot> &slots) {
  if (!server) return;
  // The station may hand the same state on every turn of its loop; only a
  // change is sent, stamped with the time it was made.
  std::string content = web_state_content(header, slots);
  {
    std::lock_guard<std::mutex> lock(server->mutex);
    if (content == server->last_content) return;
    server->latest = web_state_stamped(content, now_ms());
    server->last_content = std::move(content);
    if (server->flush_posted) return;
    server->flush_posted = true;
  }
  // One flush in the server's queue at a time, whatever the station's pace:
  // it takes the latest state when it runs.
  asio::post(server->context, [server] {
    {
      std::lock_guard<std::mutex> lock(server->mutex);
      server->state = server->latest;
      server->flush_posted = false;
    }
    std::string event = event_of(server->state);
    auto streams = server->streams;
    for (auto &client : streams) send_stream(server, client, event);
  });
}

void web_stop(web_server *server) {
  if (!server) return;
  asio::post(server->context, [server] {
    beast::error_code ignored;
    server->acceptor.close(ignored);
    server->heartbeat.cancel();
    auto streams = server->streams;
    for (auto &client : streams) drop_stream(server, client);
    server->context.stop();
  });
  server->thread.join();
  delete server;
}
