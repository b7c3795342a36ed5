#include "station/line/line_status.h"

namespace {

std::string age_text(double seconds) {
  if (seconds < 60) return std::to_string((long long)seconds) + " s";
  if (seconds < 7200) return std::to_string((long long)(seconds / 60)) + " min";
  return std::to_string((long long)(seconds / 3600)) + " h";
}

// "line: ", marked when the line is reached unencrypted beyond this PC; a
// server the station refused comes next, for it is what the user must put
// right and what holds the records.
std::string lead(const line_status &s) {
  std::string text = s.in_clear ? "line (not encrypted): " : "line: ";
  if (!s.untrusted.empty()) text += s.untrusted + (s.waiting || s.parked ? "; " : "");
  return text;
}

}  // namespace

std::string line_status_text(const line_status &s) {
  if (s.broken) return "line: outbox unreadable: " + s.problem;
  std::string text;
  if (s.waiting) {
    text = std::to_string(s.waiting) + " waiting, oldest " + age_text(s.oldest_age_s);
    if (s.unreachable) {
      text += " (server unreachable since " + s.down_since + ")";
    } else if (!s.problem.empty()) {
      text += " (" + s.problem + ")";
    }
  }
  if (s.parked) {
    if (!text.empty()) text += ", ";
    text += std::to_string(s.parked) + " refused";
    if (!s.last_refusal.empty()) text += ": " + s.last_refusal;
  }
  if (text.empty() && s.untrusted.empty())
    text = s.unreachable ? "all sent (server unreachable since " + s.down_since + ")" : "all sent";
  return lead(s) + text;
}

std::string line_status_end_text(const line_status &s) {
  if (!s.waiting) return line_status_text(s);
  return lead(s) + std::to_string(s.waiting) +
         (s.waiting == 1 ? " record waits" : " records wait") + ", to be sent at the next start";
}

std::string line_status_key(const line_status &s) {
  return std::string(s.waiting ? "w" : "-") + (s.unreachable ? "u" : "-") + s.problem + "|" +
         std::to_string(s.parked) + (s.broken ? "b" : "") + "|" + s.untrusted;
}
