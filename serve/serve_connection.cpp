#include "serve_connection.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

serve_connection::serve_connection(tcp::socket socket, serve_tls *tls) {
#ifdef KORVANE_TLS
  if (tls) {
    tls_ = std::make_unique<beast::ssl_stream<beast::tcp_stream>>(
        beast::tcp_stream(std::move(socket)), tls->context);
    return;
  }
#else
  (void)tls;
#endif
  plain_ = std::make_unique<beast::tcp_stream>(std::move(socket));
}

beast::tcp_stream &serve_connection::tcp() {
#ifdef KORVANE_TLS
  if (tls_) return tls_->next_layer();
#endif
  return *plain_;
}

void serve_connection::async_handshake(std::function<void(beast::error_code)> done) {
#ifdef KORVANE_TLS
  if (tls_) {
    tls_->async_handshake(asio::ssl::stream_base::server, std::move(done));
    return;
  }
#endif
  asio::post(get_executor(), [done = std::move(done)] { done(beast::error_code()); });
}

void serve_connection::shutdown_send() {
  beast::error_code ignored;
  socket().shutdown(tcp::socket::shutdown_send, ignored);
}

void serve_connection::close() {
  beast::error_code ignored;
  socket().shutdown(tcp::socket::shutdown_both, ignored);
  tcp().close();
}
