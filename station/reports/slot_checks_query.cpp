#include "station/reports/slot_checks_query.h"

#include <algorithm>
#include <map>

#include "station/records/station_database.h"

namespace {

// A slot's key: a station's name may hold any byte but a NUL.
std::string slot_key(const std::string &station, const std::string &slot) {
  return station + std::string(1, '\0') + slot;
}

// One pass over the serials' cycles, in order of serial and start time:
// a serial's failures are kept until it passes, and each slot it failed on,
// other than the one it passed on, counts the serial once.
bool gather_moves(sqlite3 *db, const report_filter &f, const std::map<std::string, size_t> &index,
                  std::vector<slot_tally> *tallies, std::string *why) {
  std::string sql = std::string(
                        "SELECT serial, station, slot, outcome = 'passed' FROM boards"
                        " WHERE serial IS NOT NULL AND outcome <> 'interrupted' AND") +
                    " @FILTER@ ORDER BY serial, started, id";
  std::string serial;
  std::vector<size_t> failed_on, counted;
  return report_rows(
      db, report_statement(db, sql, f, why),
      [&](sqlite3_stmt *s) {
        std::string this_serial = db_text(s, 0);
        if (this_serial != serial) {
          serial = this_serial;
          failed_on.clear();
          counted.clear();
        }
        auto at = index.find(slot_key(db_text(s, 1), db_text(s, 2)));
        if (at == index.end()) return;
        size_t slot = at->second;
        if (!sqlite3_column_int(s, 3)) {
          if (std::find(failed_on.begin(), failed_on.end(), slot) == failed_on.end())
            failed_on.push_back(slot);
          return;
        }
        for (size_t x : failed_on) {
          if (x == slot || std::find(counted.begin(), counted.end(), x) != counted.end()) continue;
          ++(*tallies)[x].moves;
          counted.push_back(x);
        }
        failed_on.clear();
      },
      why);
}

// The fault each slot's failures name most; on a tie the one the report's
// list of faults would put first.
bool gather_top_faults(sqlite3 *db, const report_filter &f,
                       const std::map<std::string, size_t> &index, std::vector<slot_tally> *tallies,
                       std::string *why) {
  std::string sql =
      "SELECT b.station, b.slot, t.test, t.words, COUNT(DISTINCT t.board_id) AS n"
      " FROM board_faults t JOIN boards b ON b.id = t.board_id"
      " WHERE b.outcome IN ('failed', 'error') AND @FILTER@"
      " GROUP BY b.station, b.slot, t.test, t.words ORDER BY n DESC, t.test DESC, t.words";
  return report_rows(
      db, report_statement(db, sql, f, why),
      [&](sqlite3_stmt *s) {
        auto at = index.find(slot_key(db_text(s, 0), db_text(s, 1)));
        if (at == index.end()) return;
        slot_tally &t = (*tallies)[at->second];
        if (!t.fault.empty()) return;
        std::string words = db_text(s, 3);
        t.fault = db_text(s, 2) == "flash" ? "flash: " + words : words;
        t.fault_boards = sqlite3_column_int64(s, 4);
      },
      why);
}

}  // namespace

bool slot_checks_gather(sqlite3 *db, const report_filter &f, const std::vector<report_group> &slots,
                        slot_checks *out, std::string *why) {
  std::vector<slot_tally> tallies;
  std::map<std::string, size_t> index;
  for (const report_group &g : slots) {
    slot_tally t;
    t.station = g.station;
    t.slot = g.name;
    t.boards = g.counts.tested - g.counts.interrupted;
    t.failures = g.counts.failed + g.counts.errors;
    index[slot_key(t.station, t.slot)] = tallies.size();
    tallies.push_back(t);
  }
  if (!gather_moves(db, f, index, &tallies, why) || !gather_top_faults(db, f, index, &tallies, why))
    return false;
  *out = check_slots(tallies);
  return true;
}
