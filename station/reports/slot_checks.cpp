#include "station/reports/slot_checks.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// log C(n, k), through the log-gamma function so that a station of a
// hundred thousand boards neither overflows nor loses the tail.
double log_choose(long long n, long long k) {
  return std::lgamma(double(n) + 1) - std::lgamma(double(k) + 1) - std::lgamma(double(n - k) + 1);
}

}  // namespace

double fisher_upper_p(long long total, long long failures, long long drawn, long long hits) {
  long long low = std::max(0LL, drawn - (total - failures));
  long long high = std::min(drawn, failures);
  if (hits <= low) return 1;
  if (hits > high) return 0;
  double denominator = log_choose(total, drawn);
  // The terms fall away from the mode; summing from the largest end keeps
  // each one's rounding below the sum's.
  double p = 0;
  for (long long k = high; k >= hits; --k)
    p += std::exp(log_choose(failures, k) + log_choose(total - failures, drawn - k) - denominator);
  return std::min(1.0, p);
}

slot_checks check_slots(const std::vector<slot_tally> &tallies, bool across_line) {
  std::map<std::string, std::pair<long long, long long>> stations;  // boards, failures
  long long line_boards = 0, line_failures = 0;
  for (const slot_tally &t : tallies) {
    stations[t.station].first += t.boards;
    stations[t.station].second += t.failures;
    line_boards += t.boards;
    line_failures += t.failures;
  }
  slot_checks out;
  out.across_line = across_line && stations.size() > 1;
  for (const slot_tally &t : tallies) {
    if (!t.boards) continue;
    ++out.slots;
    slot_check c;
    c.slot = t;
    const auto &station = stations[t.station];
    c.others_boards = station.first - t.boards;
    c.others_failures = station.second - t.failures;
    c.tested = t.boards >= SLOT_CHECK_MIN_BOARDS && c.others_boards >= SLOT_CHECK_MIN_BOARDS;
    if (c.tested) {
      c.p = fisher_upper_p(station.first, station.second, t.boards, t.failures);
      c.rate_flag = c.p < SLOT_CHECK_P;
    }
    if (out.across_line) {
      c.line_boards = line_boards - t.boards;
      c.line_failures = line_failures - t.failures;
      c.line_tested = t.boards >= SLOT_CHECK_MIN_BOARDS && c.line_boards >= SLOT_CHECK_MIN_BOARDS;
      if (c.line_tested) {
        c.line_p = fisher_upper_p(line_boards, line_failures, t.boards, t.failures);
        c.line_flag = c.line_p < SLOT_CHECK_P;
      }
    }
    if (!c.tested && !c.line_tested) out.left_out.push_back(t);
    c.moves_flag = t.moves >= SLOT_CHECK_MIN_MOVES;
    if (c.rate_flag || c.line_flag || c.moves_flag) out.flagged.push_back(c);
  }
  return out;
}
