#include "serve_listen.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#endif

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

// The server's sockets are its own: a child started meanwhile (a station's
// korvane) does not hold them open.
template <typename Socket>
void not_inherited(Socket &socket) {
#ifdef _WIN32
  SOCKET handle = static_cast<SOCKET>(socket.native_handle());
  SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
#else
  fcntl(socket.native_handle(), F_SETFD, FD_CLOEXEC);
#endif
}

}  // namespace

boost::system::error_code serve_listen(tcp::acceptor *acceptor, const asio::ip::address &ip,
                                       unsigned short port, unsigned short *bound_port) {
  boost::system::error_code error;
  tcp::endpoint endpoint(ip, port);
  acceptor->open(endpoint.protocol(), error);
  if (!error) not_inherited(*acceptor);
#ifndef _WIN32
  // Lets a server started again at once take its port back from the last
  // run's closing connections; on Windows the same option would let two
  // programs share the port, so it stays off there.
  if (!error) acceptor->set_option(tcp::acceptor::reuse_address(true), error);
#endif
  if (!error) acceptor->bind(endpoint, error);
  if (!error) acceptor->listen(asio::socket_base::max_listen_connections, error);
  if (!error) endpoint = acceptor->local_endpoint(error);
  if (!error) *bound_port = endpoint.port();
  return error;
}

void serve_accept(tcp::acceptor *acceptor, std::function<void(tcp::socket)> take) {
  acceptor->async_accept(asio::make_strand(acceptor->get_executor()),
                         [acceptor, take](boost::system::error_code error, tcp::socket socket) {
                           if (error == asio::error::operation_aborted || !acceptor->is_open())
                             return;
                           if (!error) {
                             not_inherited(socket);
                             take(std::move(socket));
                           }
                           serve_accept(acceptor, take);
                         });
}

bool serve_is_loopback(const std::string &host) {
  boost::system::error_code error;
  asio::ip::address ip = asio::ip::make_address(host, error);
  if (error) return false;
  if (ip.is_v6() && ip.to_v6().is_v4_mapped())
    ip = asio::ip::make_address_v4(asio::ip::v4_mapped, ip.to_v6());
  return ip.is_loopback();
}

void serve_not_inherited(tcp::socket &socket) { not_inherited(socket); }
