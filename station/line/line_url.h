// The line server's address as --line takes it: http://HOST[:PORT][/PATH] or
// https://HOST[:PORT][/PATH] (port 80 or 443 by default).
// The records go to PATH/api/v1/records, the station's state to
// PATH/api/v1/stations/state.
#pragma once

#include <string>

struct line_url {
  std::string host;  // a name or an IP address, without brackets
  std::string port = "80";
  std::string path;  // "" or "/prefix", never ending in '/'
  bool tls = false;  // https://
};

// False with the reason for anything but an http:// or https:// URL.
bool line_parse_url(const std::string &text, line_url *url, std::string *why);

// True for a host that is this PC alone: localhost, 127.x.x.x, ::1. Plain
// http:// goes nowhere else without --line-insecure: the token and the
// records would cross the network readable by anyone on it.
bool line_host_is_loopback(const std::string &host);
