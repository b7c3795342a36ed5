#include "station/web/web_address.h"

#include <cctype>

#include "korvane/why.h"

namespace {

bool all_digits(const std::string &text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool is_ipv4(const std::string &text, int *first_byte) {
  int parts = 0;
  std::size_t at = 0;
  while (true) {
    std::size_t dot = text.find('.', at);
    std::string part = text.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
    if (!all_digits(part) || part.size() > 3 || std::stoi(part) > 255) return false;
    if (parts == 0 && first_byte) *first_byte = std::stoi(part);
    ++parts;
    if (dot == std::string::npos) break;
    at = dot + 1;
  }
  return parts == 4;
}

bool is_ipv6(const std::string &text) {
  if (text.size() < 2 || text.find(':') == std::string::npos) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
  }
  return true;
}

}  // namespace

bool web_parse_address(const std::string &text, web_address *address, std::string *why) {
  std::string host = "127.0.0.1";
  std::string port = text;
  if (!text.empty() && text[0] == '[') {
    std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      set_why(why, "'" + text + "' is not [ADDR:]PORT");
      return false;
    }
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
    if (!is_ipv6(host)) {
      set_why(why, "'" + host + "' is not an IPv6 address");
      return false;
    }
  } else if (text.find(':') != std::string::npos) {
    std::size_t colon = text.rfind(':');
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host == "localhost") host = "127.0.0.1";
    if (!is_ipv4(host, nullptr)) {
      set_why(why, "'" + host + "' is not an IPv4 address (an IPv6 address goes in brackets)");
      return false;
    }
  }
  if (!all_digits(port) || port.size() > 5 || std::stoi(port) > 65535) {
    set_why(why, "'" + port + "' is not a port number (0 to 65535)");
    return false;
  }
  address->host = host;
  address->port = static_cast<unsigned short>(std::stoi(port));
  return true;
}

std::string web_address_url(const web_address &address, bool tls) {
  bool v6 = address.host.find(':') != std::string::npos;
  return (tls ? "https://" : "http://") + (v6 ? "[" + address.host + "]" : address.host) + ":" +
         std::to_string(address.port) + "/";
}

bool web_host_is_loopback(const std::string &host_header) {
  std::string host = host_header;
  if (!host.empty() && host[0] == '[') {
    std::size_t close = host.find(']');
    if (close == std::string::npos) return false;
    std::string rest = host.substr(close + 1);
    if (!rest.empty() && (rest[0] != ':' || !all_digits(rest.substr(1)))) return false;
    return host.substr(1, close - 1) == "::1";
  }
  std::size_t colon = host.find(':');
  if (colon != std::string::npos) {
    if (!all_digits(host.substr(colon + 1))) return false;
    host = host.substr(0, colon);
  }
  for (char &c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  int first = 0;
  return host == "localhost" || (is_ipv4(host, &first) && first == 127);
}
