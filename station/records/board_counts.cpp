#include "station/records/board_counts.h"

#include <cstdio>

namespace {

void count_outcome(board_counts *c, board_outcome outcome, long long n) {
  switch (outcome) {
    case board_outcome::passed:
      c->passed += n;
      break;
    case board_outcome::failed:
      c->failed += n;
      break;
    case board_outcome::error:
      c->errors += n;
      break;
    case board_outcome::interrupted:
      c->interrupted += n;
      break;
  }
}

// A recorded verdict joins its unit: a new serial is a new unit, a known
// one changes only its last verdict.
void count_unit(board_counts *c, unit_tally *tally, const std::string &serial,
                board_outcome outcome) {
  if (outcome == board_outcome::interrupted) return;
  bool passed = outcome == board_outcome::passed;
  if (!tally || serial.empty()) {
    board_counts_add_unit(c, outcome, outcome);
    return;
  }
  auto found = tally->last_passed.find(serial);
  if (found == tally->last_passed.end()) {
    tally->last_passed.emplace(serial, passed);
    board_counts_add_unit(c, outcome, outcome);
    return;
  }
  c->final_passed += (long long)passed - (long long)found->second;
  found->second = passed;
}

std::string counted(long long n, const char *one, const char *many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void board_counts_add(board_counts *c, unit_tally *tally, const std::string &serial,
                      board_outcome outcome, bool recorded) {
  ++c->tested;
  if (!recorded) {
    ++c->not_recorded;
    return;
  }
  count_outcome(c, outcome, 1);
  count_unit(c, tally, serial, outcome);
}

void board_counts_recorded(board_counts *c, unit_tally *tally, const std::string &serial,
                           board_outcome outcome) {
  if (c->not_recorded <= 0) return;
  --c->not_recorded;
  count_outcome(c, outcome, 1);
  count_unit(c, tally, serial, outcome);
}

void board_counts_add_unit(board_counts *c, board_outcome first, board_outcome last) {
  ++c->units;
  c->first_passed += first == board_outcome::passed;
  c->final_passed += last == board_outcome::passed;
}

void board_counts_sum(board_counts *a, const board_counts &b) {
  a->tested += b.tested;
  a->passed += b.passed;
  a->failed += b.failed;
  a->errors += b.errors;
  a->interrupted += b.interrupted;
  a->not_recorded += b.not_recorded;
  a->slot_errors += b.slot_errors;
  a->units += b.units;
  a->first_passed += b.first_passed;
  a->final_passed += b.final_passed;
}

double first_pass_yield(const board_counts &c) {
  return c.units > 0 ? 100.0 * double(c.first_passed) / double(c.units) : -1;
}

double final_yield(const board_counts &c) {
  return c.units > 0 ? 100.0 * double(c.final_passed) / double(c.units) : -1;
}

std::string yield_text(double percent) {
  if (percent < 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", percent);
  return text;
}

std::vector<std::string> board_counts_words(const board_counts &c) {
  std::vector<std::string> out = {
      counted(c.tested, "board tested", "boards tested"), std::to_string(c.passed) + " passed",
      std::to_string(c.failed) + " failed", counted(c.errors, "error", "errors")};
  if (c.interrupted) out.push_back(std::to_string(c.interrupted) + " interrupted");
  if (c.not_recorded) out.push_back(std::to_string(c.not_recorded) + " not recorded");
  if (c.slot_errors) out.push_back(counted(c.slot_errors, "slot error", "slot errors"));
  out.push_back("first-pass yield " + yield_text(first_pass_yield(c)));
  out.push_back("final yield " + yield_text(final_yield(c)));
  return out;
}
