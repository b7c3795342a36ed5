#include "station/line/line_url.h"

#include <cctype>
#include <cstdio>

#include "korvane/why.h"

bool line_parse_url(const std::string &text, line_url *url, std::string *why) {
  const std::string plain = "http://", secure = "https://";
  url->tls = text.compare(0, secure.size(), secure) == 0;
  if (!url->tls && text.compare(0, plain.size(), plain) != 0)
    return set_why(why, "the line's URL starts with http:// or https://: %s", text.c_str());
  url->port = url->tls ? "443" : "80";
  std::string rest = text.substr(url->tls ? secure.size() : plain.size());
  size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  url->path = slash == std::string::npos ? "" : rest.substr(slash);
  while (!url->path.empty() && url->path.back() == '/') url->path.pop_back();
  if (url->path.find_first_of("?# ") != std::string::npos)
    return set_why(why, "the line's URL has no query: %s", text.c_str());
  size_t colon = authority.rfind(':');
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return set_why(why, "an unclosed [ in %s", text.c_str());
    url->host = authority.substr(1, close - 1);
    colon =
        close + 1 < authority.size() && authority[close + 1] == ':' ? close + 1 : std::string::npos;
  } else {
    url->host = authority.substr(0, colon);
  }
  if (colon != std::string::npos) {
    url->port = authority.substr(colon + 1);
    bool digits = !url->port.empty() && url->port.size() <= 5 &&
                  url->port.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoul(url->port) == 0 || std::stoul(url->port) > 65535)
      return set_why(why, "not a port in %s", text.c_str());
  }
  if (url->host.empty() || url->host.find('@') != std::string::npos)
    return set_why(why, "no host in %s", text.c_str());
  return true;
}

bool line_host_is_loopback(const std::string &host) {
  std::string name = host;
  for (char &c : name) c = (char)std::tolower((unsigned char)c);
  if (name == "localhost" || name == "::1") return true;
  // 127.0.0.0/8 written as a dotted quad; a name is not looked up.
  unsigned a, b, c, d;
  char end;
  return std::sscanf(name.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &end) == 4 && a == 127 &&
         b < 256 && c < 256 && d < 256;
}
