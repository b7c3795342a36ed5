// One accepted connection as both servers read and write it: plain TCP, or
// TLS over it when the server has a certificate. It is a stream as Beast's
// HTTP reads and writes take it, with the TCP stream's time limits.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <utility>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#ifdef KORVANE_TLS
#include <boost/beast/ssl.hpp>
#endif

#include "serve_tls.h"

class serve_connection {
 public:
  using executor_type = boost::beast::tcp_stream::executor_type;

  // TLS over the socket when tls is not null (the server's, which outlives
  // the connection).
  serve_connection(boost::asio::ip::tcp::socket socket, serve_tls *tls);

  executor_type get_executor() { return tcp().get_executor(); }

  template <typename Buffers, typename Handler>
  void async_read_some(const Buffers &buffers, Handler &&handler) {
#ifdef KORVANE_TLS
    if (tls_) return tls_->async_read_some(buffers, std::forward<Handler>(handler));
#endif
    plain_->async_read_some(buffers, std::forward<Handler>(handler));
  }

  template <typename Buffers, typename Handler>
  void async_write_some(const Buffers &buffers, Handler &&handler) {
#ifdef KORVANE_TLS
    if (tls_) return tls_->async_write_some(buffers, std::forward<Handler>(handler));
#endif
    plain_->async_write_some(buffers, std::forward<Handler>(handler));
  }

  // The TLS handshake as the server, within the time limit set before it;
  // done at once (from the executor) on a plain connection.
  void async_handshake(std::function<void(boost::beast::error_code)> done);

  void expires_after(std::chrono::steady_clock::duration time) { tcp().expires_after(time); }
  void expires_never() { tcp().expires_never(); }

  // The socket underneath: its peer, or the raw bytes of a connection whose
  // reader only waits for its end.
  boost::asio::ip::tcp::socket &socket() { return tcp().socket(); }

  // Ends sending (the peer reads the end of the stream after what was sent).
  void shutdown_send();
  // Closes the connection at once; a pending read or write ends with an error.
  void close();

 private:
  boost::beast::tcp_stream &tcp();
  std::unique_ptr<boost::beast::tcp_stream> plain_;
#ifdef KORVANE_TLS
  std::unique_ptr<boost::beast::ssl_stream<boost::beast::tcp_stream>> tls_;
#endif
};
