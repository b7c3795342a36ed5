// Where both servers listen and how they take connections: an acceptor on
// an IP address and port, each socket kept from the programs the server's
// process starts, and each new connection handed over on a strand of its own.
#pragma once

#include <functional>
#include <string>

#include <boost/asio.hpp>

// Opens, binds and listens on ip:port (port 0: any free one) and puts the
// port listened on in *bound_port. The error of the step that failed.
boost::system::error_code serve_listen(boost::asio::ip::tcp::acceptor *acceptor,
                                       const boost::asio::ip::address &ip, unsigned short port,
                                       unsigned short *bound_port);

// Accepts until the acceptor is closed, handing each socket to take.
void serve_accept(boost::asio::ip::tcp::acceptor *acceptor,
                  std::function<void(boost::asio::ip::tcp::socket)> take);

// Whether `host` (an IP address, as web_address holds it) is this machine's
// loopback alone: 127.0.0.0/8 or ::1, or ::ffff:127.x.x.x.
bool serve_is_loopback(const std::string &host);

// The socket is not inherited by a child process.
void serve_not_inherited(boost::asio::ip::tcp::socket &socket);
