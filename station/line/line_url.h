// The line server's address as --line takes it: http://HOST[:PORT][/PATH].
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

// False with the reason for anything but a plain http:// URL.
bool line_parse_url(const std::string &text, line_url *url, std::string *why);
