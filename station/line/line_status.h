// The line's state as the station shows it in its view, its event lines and
// its web page: "line: all sent", "line: 37 waiting, oldest 4 min (server
// unreachable since 10:42)", "line: 2 refused", "line: certificate for
// 10.0.0.5 not trusted: certificate has expired; 3 waiting, oldest 2 min".
#pragma once

#include <string>

struct line_status {
  long long waiting = 0;
  double oldest_age_s = 0;  // of the oldest waiting record
  long long parked = 0;     // refused by the line, for good
  std::string last_refusal;
  bool unreachable = false;
  std::string down_since;  // the local time of day, HH:MM, it stopped answering
  std::string problem;     // why the last try failed ("connection refused", "token refused")
  bool broken = false;     // the station's database cannot be read for the outbox
  // Why the station refused the server at the last try ("certificate for
  // 10.0.0.5 not trusted: ..."), "" when it did not.
  std::string untrusted;
  bool in_clear = false;  // http:// beyond this PC, as --line-insecure allowed
};

// The one-line text.
std::string line_status_text(const line_status &s);

// The last word as the station ends: what still waits, to be sent at the
// next start, or line_status_text when nothing does.
std::string line_status_end_text(const line_status &s);

// What an event line is printed on: a change of this key, not every record.
std::string line_status_key(const line_status &s);
