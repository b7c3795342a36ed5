#include "station/line/line_url.h"

#include "korvane/why.h"

bool line_parse_url(const std::string &text, line_url *url, std::string *why) {
  const std::string scheme = "http://";
  if (text.compare(0, scheme.size(), scheme) != 0)
    return set_why(why, "the line's URL starts with http://: %s", text.c_str());
  std::string rest = text.substr(scheme.size());
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
