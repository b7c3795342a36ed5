// The line server's tokens file: one `STATION TOKEN` line per station
// (blank lines and lines starting with # aside). A token names its station:
// a station may send only its own records. The file is refused when others
// than its owner can read it, and tokens are compared in constant time, so
// that neither the file nor the server's answers give a token away.
#pragma once

#include <string>
#include <vector>

struct line_token {
  std::string station;
  std::string token;
};

// False with the reason (unreadable, readable by others, a bad line, a
// station or token twice).
bool line_tokens_read(const std::string &path, std::vector<line_token> *tokens, std::string *why);

// The station whose token is `given`, "" for none. Every token is compared
// whole, whichever matches, so the time taken tells nothing.
std::string line_token_station(const std::vector<line_token> &tokens, const std::string &given);
