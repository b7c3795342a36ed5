#include "station/reports/history_format.h"

#include "station/reports/csv_row.h"
#include "station/reports/report_format.h"

namespace {

std::string number(long long n) { return std::to_string(n); }

std::string test_words(const char *name, long long passes, long long failed) {
  return std::string(name) + " " + number(failed) + " of " + number(passes) + " failed";
}

}  // namespace

std::string history_fault_words(const board_record &c) {
  std::string out;
  for (const board_fault &f : c.faults) out += (out.empty() ? "" : "; ") + f.words;
  if (out.empty() && c.outcome == board_outcome::error) out = c.message;
  return out;
}

std::string history_text_line(const board_record &c) {
  std::string out = c.started + "  " + board_outcome_name(c.outcome) + "  slot " + c.slot + " at " +
                    c.station + "  " + fixed_text(c.seconds, 1) + " s";
  std::string tests;
  if (c.sdram_passes) tests = test_words("SDRAM", c.sdram_passes, c.sdram_failed);
  if (c.flash_passes)
    tests += (tests.empty() ? "" : ", ") + test_words("flash", c.flash_passes, c.flash_failed);
  if (!tests.empty()) out += "  " + tests;
  std::string faults = history_fault_words(c);
  if (!faults.empty()) out += (tests.empty() ? "  " : ": ") + faults;
  if (!c.log.empty()) out += "  log " + c.log;
  return out + "\n";
}

std::string history_csv_header() {
  return csv_row({"id", "serial", "started", "ended", "seconds", "outcome", "station", "slot",
                  "port", "operator", "sdram_passes", "sdram_failed", "flash_passes",
                  "flash_failed", "faults", "log"});
}

std::string history_csv_line(const board_record &c) {
  return csv_row({number(c.id), c.serial, c.started, c.ended, fixed_text(c.seconds, 1),
                  board_outcome_name(c.outcome), c.station, c.slot, c.port, c.operator_name,
                  number(c.sdram_passes), number(c.sdram_failed), number(c.flash_passes),
                  number(c.flash_failed), history_fault_words(c), c.log});
}
