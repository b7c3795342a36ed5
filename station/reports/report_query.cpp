#include "station/reports/report_query.h"

#include <cctype>
#include <cmath>
#include <unordered_map>

#include "station/records/board_row.h"
#include "station/records/station_database.h"
#include "station/reports/slot_checks_query.h"
#include "korvane/why.h"

namespace {

// Every query takes the same three parameters, ?1 since, ?2 until and
// ?3 station, and names in its WHERE only those given, so that a range
// of dates is found through the index on the start time.
const char FILTER[] = " @FILTER@ ";

std::string filter_sql(const report_filter &f) {
  std::string out = " 1";
  if (!f.since.empty()) out += " AND started >= ?1";
  if (!f.until.empty()) out += " AND started <= ?2";
  if (!f.station.empty()) out += " AND station = ?3";
  return out + " ";
}

// The statement with the filter bound; null with the reason.
db_statement filtered(sqlite3 *db, const std::string &sql, const report_filter &f,
                      std::string *why) {
  std::string text = sql;
  for (size_t at = text.find(FILTER); at != std::string::npos; at = text.find(FILTER))
    text.replace(at, sizeof FILTER - 1, filter_sql(f));
  db_statement s = db_prepare(db, text, why);
  if (!s) return nullptr;
  db_bind_text(s.get(), 1, f.since);
  db_bind_text(s.get(), 2, f.until);
  db_bind_text(s.get(), 3, f.station);
  return s;
}

// Runs s to its end, handing each row to row.
bool each_row(sqlite3 *db, const db_statement &s, const std::function<void(sqlite3_stmt *)> &row,
              std::string *why) {
  if (!s) return false;
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) row(s.get());
  return rc == SQLITE_DONE || db_fail(db, why);
}

void read_counts(sqlite3_stmt *s, int first, board_counts *c) {
  c->tested = sqlite3_column_int64(s, first);
  c->passed = sqlite3_column_int64(s, first + 1);
  c->failed = sqlite3_column_int64(s, first + 2);
  c->errors = sqlite3_column_int64(s, first + 3);
  c->interrupted = sqlite3_column_int64(s, first + 4);
}

// outcome = 'passed', as SQL.
std::string outcome_is(board_outcome o) { return "outcome = " + board_outcome_sql(o); }

const std::string PASSED = outcome_is(board_outcome::passed);
const std::string JUDGED = "outcome <> " + board_outcome_sql(board_outcome::interrupted);

// The columns read_counts reads: boards, then one sum per outcome.
const std::string COUNTS =
    " COUNT(*), TOTAL(" + PASSED + "), TOTAL(" + outcome_is(board_outcome::failed) + "), TOTAL(" +
    outcome_is(board_outcome::error) + "), TOTAL(" + outcome_is(board_outcome::interrupted) + ") ";

// A unit's first and last verdict, in one group of the report.
struct unit_ends {
  board_outcome first, last;
};

// A serial's cycles as they stream past in order of serial and start: its
// ends in the whole range, and in each day and slot it was tested in (a
// handful: the groups of one board).
struct unit_run {
  std::string serial;
  long long cycles = 0;
  unit_ends whole = {board_outcome::error, board_outcome::error};
  std::vector<std::pair<size_t, unit_ends>> days, slots, stations;
};

void unit_cycle(std::vector<std::pair<size_t, unit_ends>> *groups, size_t group,
                board_outcome outcome) {
  for (auto &g : *groups) {
    if (g.first == group) {
      g.second.last = outcome;
      return;
    }
  }
  groups->push_back({group, {outcome, outcome}});
}

void end_unit(const unit_run &u, station_report *out) {
  if (!u.cycles) return;
  board_counts_add_unit(&out->total, u.whole.first, u.whole.last);
  for (const auto &d : u.days)
    board_counts_add_unit(&out->days[d.first].counts, d.second.first, d.second.last);
  for (const auto &g : u.slots)
    board_counts_add_unit(&out->slots[g.first].counts, g.second.first, g.second.last);
  for (const auto &g : u.stations)
    board_counts_add_unit(&out->stations[g.first].counts, g.second.first, g.second.last);
  if (u.cycles < 2 || u.serial.empty()) return;
  ++out->retested;
  if (out->retested_serials.size() < REPORT_MAX_RETESTED)
    out->retested_serials.push_back(
        {u.serial, u.cycles, board_outcome_name(u.whole.first), board_outcome_name(u.whole.last)});
}

// Each serial's cycles come in the order of the index on serial and start
// time, so one pass finds every serial's first and last cycle, in the
// range and in each day and slot, without a sort and in constant memory; a
// board without a serial is its own first and last.
bool gather_units(sqlite3 *db, const report_filter &f, station_report *out, std::string *why) {
  std::unordered_map<std::string, size_t> days, slots, stations;
  for (size_t i = 0; i < out->days.size(); ++i) days[out->days[i].name] = i;
  for (size_t i = 0; i < out->slots.size(); ++i)
    slots[out->slots[i].station + '\n' + out->slots[i].name] = i;
  for (size_t i = 0; i < out->stations.size(); ++i) stations[out->stations[i].name] = i;
  std::string sql =
      "SELECT serial, outcome, substr(started, 1, 10), station || char(10) || slot FROM boards"
      " WHERE " +
      JUDGED + " AND" + FILTER + "ORDER BY serial, started, id";
  unit_run unit;
  bool ok = each_row(
      db, filtered(db, sql, f, why),
      [&](sqlite3_stmt *s) {
        bool named = sqlite3_column_type(s, 0) != SQLITE_NULL;
        std::string serial = db_text(s, 0);
        board_outcome outcome = board_outcome::error;
        board_outcome_from_name(db_text(s, 1), &outcome);
        if (!named || serial != unit.serial || !unit.cycles) {
          end_unit(unit, out);
          unit = unit_run();
          unit.serial = serial;
          unit.whole = {outcome, outcome};
        }
        unit.whole.last = outcome;
        ++unit.cycles;
        auto day = days.find(db_text(s, 2));
        if (day != days.end()) unit_cycle(&unit.days, day->second, outcome);
        auto slot = slots.find(db_text(s, 3));
        if (slot != slots.end()) unit_cycle(&unit.slots, slot->second, outcome);
        std::string place = db_text(s, 3);
        auto station = stations.find(place.substr(0, place.find('\n')));
        if (station != stations.end()) unit_cycle(&unit.stations, station->second, outcome);
        // A board without a serial is a unit alone.
        if (!named) {
          end_unit(unit, out);
          unit = unit_run();
        }
      },
      why);
  if (!ok) return false;
  end_unit(unit, out);
  return true;
}

// One scan by day and station gives the days, the totals and the hours the
// stations ran: day by day, from a station's first start to its last end,
// so that nights do not count.
bool gather_groups(sqlite3 *db, const report_filter &f, station_report *out, std::string *why) {
  std::string days = std::string("SELECT substr(started, 1, 10) AS day,") + COUNTS +
                     ", (julianday(MAX(ended)) - julianday(MIN(started))) * 24"
                     " FROM boards WHERE" +
                     FILTER + "GROUP BY day, station ORDER BY day";
  bool ok = each_row(
      db, filtered(db, days, f, why),
      [out](sqlite3_stmt *s) {
        std::string day = db_text(s, 0);
        if (out->days.empty() || out->days.back().name != day) {
          out->days.emplace_back();
          out->days.back().name = day;
        }
        board_counts c;
        read_counts(s, 1, &c);
        board_counts_sum(&out->days.back().counts, c);
        board_counts_sum(&out->total, c);
        out->running_hours += sqlite3_column_double(s, 6);
      },
      why);
  std::string slots = std::string("SELECT slot, station,") + COUNTS + "FROM boards WHERE" + FILTER +
                      "GROUP BY station, slot ORDER BY station, slot";
  return ok && each_row(
                   db, filtered(db, slots, f, why),
                   [out](sqlite3_stmt *s) {
                     report_group g;
                     g.name = db_text(s, 0);
                     g.station = db_text(s, 1);
                     read_counts(s, 2, &g.counts);
                     out->slots.push_back(g);
                     // The slots come station by station.
                     if (out->stations.empty() || out->stations.back().name != g.station) {
                       out->stations.emplace_back();
                       out->stations.back().name = g.station;
                     }
                     board_counts_sum(&out->stations.back().counts, g.counts);
                   },
                   why);
}

bool gather_faults(sqlite3 *db, const report_filter &f, station_report *out, std::string *why) {
  std::string faults = std::string(
                           "SELECT test, words, COUNT(DISTINCT board_id) AS n FROM board_faults"
                           " WHERE board_id IN (SELECT id FROM boards WHERE") +
                       FILTER + ") GROUP BY test, words ORDER BY n DESC, test DESC, words";
  return each_row(
      db, filtered(db, faults, f, why),
      [out](sqlite3_stmt *s) {
        if (out->faults.size() < REPORT_MAX_FAULTS) {
          out->faults.push_back({db_text(s, 0), db_text(s, 1), sqlite3_column_int64(s, 2)});
        } else {
          ++out->other_faults;
        }
      },
      why);
}

// The nearest-rank percentiles: the smallest time at or below which half,
// and 95 in 100, of the boards finished; one sorted pass finds both.
bool gather_times(sqlite3 *db, const report_filter &f, station_report *out, std::string *why) {
  out->timed = out->total.tested - out->total.interrupted;
  if (out->timed <= 0) return true;
  long long median = (long long)std::ceil(0.5 * double(out->timed));
  long long p95 = (long long)std::ceil(0.95 * double(out->timed));
  std::string sql = "SELECT seconds FROM boards WHERE " + JUDGED + " AND" + FILTER +
                    "ORDER BY seconds LIMIT " + std::to_string(p95);
  long long rank = 0;
  return each_row(
      db, filtered(db, sql, f, why),
      [&](sqlite3_stmt *s) {
        ++rank;
        if (rank == median) out->median_seconds = sqlite3_column_double(s, 0);
        if (rank == p95) out->p95_seconds = sqlite3_column_double(s, 0);
      },
      why);
}

bool digits(const std::string &text, size_t at, size_t count) {
  for (size_t i = at; i < at + count; ++i)
    if (i >= text.size() || !isdigit((unsigned char)text[i])) return false;
  return true;
}

bool in_range(const std::string &text, size_t at, int low, int high) {
  int v = std::stoi(text.substr(at, 2));
  return v >= low && v <= high;
}

}  // namespace

bool report_bound(const std::string &date, bool upper, std::string *bound) {
  bool day = date.size() == 10, moment = date.size() == 20;
  if (!day && !moment) return false;
  if (!digits(date, 0, 4) || date[4] != '-' || !digits(date, 5, 2) || date[7] != '-' ||
      !digits(date, 8, 2) || !in_range(date, 5, 1, 12) || !in_range(date, 8, 1, 31))
    return false;
  if (moment &&
      (date[10] != 'T' || !digits(date, 11, 2) || date[13] != ':' || !digits(date, 14, 2) ||
       date[16] != ':' || !digits(date, 17, 2) || date[19] != 'Z' || !in_range(date, 11, 0, 23) ||
       !in_range(date, 14, 0, 59) || !in_range(date, 17, 0, 60)))
    return false;
  // Every time of that day ("YYYY-MM-DDT...") sorts before "YYYY-MM-DDU".
  *bound = day && upper ? date + "U" : date;
  return true;
}

bool report_gather(sqlite3 *db, const report_filter &f, station_report *out, std::string *why) {
  *out = station_report();
  return gather_groups(db, f, out, why) && gather_units(db, f, out, why) &&
         gather_faults(db, f, out, why) && gather_times(db, f, out, why) &&
         slot_checks_gather(db, f, out->slots, &out->checks, why) &&
         bus_lines_gather(db, f, &out->bus_lines, why);
}

db_statement report_statement(sqlite3 *db, const std::string &sql, const report_filter &f,
                              std::string *why) {
  return filtered(db, sql, f, why);
}

bool report_rows(sqlite3 *db, const db_statement &s, const std::function<void(sqlite3_stmt *)> &row,
                 std::string *why) {
  return each_row(db, s, row, why);
}

bool report_failed_boards(sqlite3 *db, const report_filter &f,
                          const std::function<void(const board_record &)> &each, std::string *why) {
  std::string sql = "SELECT " + board_select_list() + " FROM boards WHERE " +
                    outcome_is(board_outcome::failed) + " AND" + FILTER +
                    "ORDER BY started DESC, id DESC LIMIT " +
                    std::to_string(REPORT_MAX_FAILED_BOARDS);
  db_statement faults = db_prepare(db, BOARD_FAULTS_SQL, why);
  if (!faults) return false;
  bool fault_error = false;
  bool ok = each_row(
      db, filtered(db, sql, f, why),
      [&](sqlite3_stmt *s) {
        board_record b;
        board_read(s, &b);
        if (!board_read_faults(faults.get(), b.id, &b.faults)) fault_error = true;
        each(b);
      },
      why);
  return ok && (!fault_error || db_fail(db, why));
}
