#include "line/line_tokens.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "korvane/why.h"

namespace {

// Whether a and b are equal, in a time that depends on their lengths alone.
bool same_secret(const std::string &a, const std::string &b) {
  unsigned char differ = a.size() == b.size() ? 0 : 1;
  size_t n = a.size() > b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; i++) {
    unsigned char x = i < a.size() ? (unsigned char)a[i] : 0;
    unsigned char y = i < b.size() ? (unsigned char)b[i] : 0;
    differ |= (unsigned char)(x ^ y);
  }
  return differ == 0;
}

}  // namespace

bool line_tokens_read(const std::string &path, std::vector<line_token> *tokens, std::string *why) {
  struct stat st = {};
  if (stat(path.c_str(), &st) != 0)
    return set_why(why, "cannot read the tokens %s: %s", path.c_str(), strerror(errno));
  if (st.st_mode & (S_IRWXG | S_IRWXO))
    return set_why(why, "the tokens %s can be read by others; chmod 600 it", path.c_str());
  std::ifstream in(path);
  if (!in) return set_why(why, "cannot read the tokens %s", path.c_str());
  tokens->clear();
  std::string text;
  for (int number = 1; std::getline(in, text); number++) {
    std::istringstream words(text);
    line_token t;
    std::string extra;
    if (!(words >> t.station) || t.station[0] == '#') continue;
    if (!(words >> t.token) || (words >> extra))
      return set_why(why, "%s line %d: STATION TOKEN expected", path.c_str(), number);
    if (t.token.size() < 16)
      return set_why(why, "%s line %d: a token of fewer than 16 characters", path.c_str(), number);
    for (const line_token &other : *tokens) {
      if (other.station == t.station || other.token == t.token)
        return set_why(why, "%s line %d: a station or token given twice", path.c_str(), number);
    }
    tokens->push_back(t);
  }
  if (tokens->empty()) return set_why(why, "no token in %s", path.c_str());
  return true;
}

std::string line_token_station(const std::vector<line_token> &tokens, const std::string &given) {
  std::string station;
  for (const line_token &t : tokens) {
    if (same_secret(t.token, given)) station = t.station;
  }
  return station;
}
