#include "report_query.h"

#include <cctype>
#include <cmath>

#include "history_database.h"

namespace {

// Every query takes the same three parameters: ?1 since, ?2 until,
// ?3 station, NULL where there is no bound.
const char FILTER[] =
    " (?1 IS NULL OR started >= ?1) AND (?2 IS NULL OR started <= ?2)"
    " AND (?3 IS NULL OR station = ?3) ";

void bind_text(sqlite3_stmt *s, int index, const std::string &text) {
  if (text.empty()) {
    sqlite3_bind_null(s, index);
  } else {
    sqlite3_bind_text(s, index, text.c_str(), int(text.size()), SQLITE_TRANSIENT);
  }
}

// The statement with the filter bound; null with the reason.
sqlite3_stmt *filtered(sqlite3 *db, const std::string &sql, const report_filter &f,
                       std::string *why) {
  sqlite3_stmt *s = history_prepare(db, sql.c_str(), why);
  if (!s) return nullptr;
  bind_text(s, 1, f.since);
  bind_text(s, 2, f.until);
  bind_text(s, 3, f.station);
  return s;
}

// Runs s to its end, handing each row to row; finalizes it.
bool each_row(sqlite3 *db, sqlite3_stmt *s, const std::function<void(sqlite3_stmt *)> &row,
              std::string *why) {
  if (!s) return false;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) row(s);
  sqlite3_finalize(s);
  if (rc != SQLITE_DONE) {
    if (why) *why = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

void read_counts(sqlite3_stmt *s, int first, outcome_counts *c) {
  c->boards = sqlite3_column_int64(s, first);
  c->passed = sqlite3_column_int64(s, first + 1);
  c->failed = sqlite3_column_int64(s, first + 2);
  c->errors = sqlite3_column_int64(s, first + 3);
  c->interrupted = sqlite3_column_int64(s, first + 4);
}

const char COUNTS[] =
    " COUNT(*), TOTAL(outcome = 'passed'), TOTAL(outcome = 'failed'), TOTAL(outcome = 'error'),"
    " TOTAL(outcome = 'interrupted') ";

// Each cycle with a verdict, numbered within its unit, oldest first.
const char CYCLES[] =
    "WITH c AS (SELECT serial, outcome,"
    " ROW_NUMBER() OVER (PARTITION BY unit ORDER BY started, id) AS n,"
    " COUNT(*) OVER (PARTITION BY unit) AS cycles,"
    " FIRST_VALUE(outcome) OVER (PARTITION BY unit ORDER BY started, id) AS first_outcome"
    " FROM (SELECT *, CASE WHEN serial IS NULL THEN 'board ' || id ELSE 'serial ' || serial END"
    " AS unit FROM boards WHERE outcome <> 'interrupted' AND";

bool gather_units(sqlite3 *db, const report_filter &f, station_report *out, std::string *why) {
  std::string units = std::string(CYCLES) + FILTER +
                      ")) SELECT TOTAL(n = 1), TOTAL(n = 1 AND outcome = 'passed'),"
                      " TOTAL(n = cycles AND outcome = 'passed'),"
                      " TOTAL(n = 1 AND cycles > 1 AND serial IS NOT NULL) FROM c";
  bool ok = each_row(
      db, filtered(db, units, f, why),
      [out](sqlite3_stmt *s) {
        out->units = sqlite3_column_int64(s, 0);
        out->first_passed = sqlite3_column_int64(s, 1);
        out->final_passed = sqlite3_column_int64(s, 2);
        out->retested = sqlite3_column_int64(s, 3);
      },
      why);
  if (!ok || !out->retested) return ok;
  std::string retested = std::string(CYCLES) + FILTER +
                         ")) SELECT serial, cycles, first_outcome, outcome FROM c"
                         " WHERE n = cycles AND cycles > 1 AND serial IS NOT NULL"
                         " ORDER BY serial LIMIT " +
                         std::to_string(REPORT_MAX_RETESTED);
  return each_row(
      db, filtered(db, retested, f, why),
      [out](sqlite3_stmt *s) {
        out->retested_serials.push_back(
            {column_text(s, 0), sqlite3_column_int64(s, 1), column_text(s, 2), column_text(s, 3)});
      },
      why);
}

bool gather_groups(sqlite3 *db, const report_filter &f, station_report *out, std::string *why) {
  std::string days = std::string("SELECT substr(started, 1, 10) AS day,") + COUNTS +
                     "FROM boards WHERE" + FILTER + "GROUP BY day ORDER BY day";
  bool ok = each_row(
      db, filtered(db, days, f, why),
      [out](sqlite3_stmt *s) {
        report_group g;
        g.name = column_text(s, 0);
        read_counts(s, 1, &g.counts);
        out->days.push_back(g);
      },
      why);
  std::string slots = std::string("SELECT slot, station,") + COUNTS + "FROM boards WHERE" + FILTER +
                      "GROUP BY station, slot ORDER BY station, slot";
  return ok && each_row(
                   db, filtered(db, slots, f, why),
                   [out](sqlite3_stmt *s) {
                     report_group g;
                     g.name = column_text(s, 0);
                     g.station = column_text(s, 1);
                     read_counts(s, 2, &g.counts);
                     out->slots.push_back(g);
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
          out->faults.push_back({column_text(s, 0), column_text(s, 1), sqlite3_column_int64(s, 2)});
        } else {
          ++out->other_faults;
        }
      },
      why);
}

// The nearest-rank percentile: the smallest time at or below which p of the
// boards finished.
bool percentile(sqlite3 *db, const report_filter &f, long long count, double p, double *out,
                std::string *why) {
  long long rank = (long long)std::ceil(p * double(count));
  if (rank < 1) rank = 1;
  std::string sql = std::string("SELECT seconds FROM boards WHERE outcome <> 'interrupted' AND") +
                    FILTER + "ORDER BY seconds LIMIT 1 OFFSET " + std::to_string(rank - 1);
  return each_row(
      db, filtered(db, sql, f, why), [out](sqlite3_stmt *s) { *out = sqlite3_column_double(s, 0); },
      why);
}

bool gather_times(sqlite3 *db, const report_filter &f, station_report *out, std::string *why) {
  out->timed = out->total.boards - out->total.interrupted;
  if (out->timed > 0 && (!percentile(db, f, out->timed, 0.5, &out->median_seconds, why) ||
                         !percentile(db, f, out->timed, 0.95, &out->p95_seconds, why)))
    return false;
  // A station runs in shifts: its hours are, day by day, from its first
  // board's start to its last board's end, so nights do not count.
  std::string hours = std::string(
                          "SELECT TOTAL(span) FROM (SELECT (julianday(MAX(ended)) -"
                          " julianday(MIN(started))) * 24 AS span FROM boards WHERE") +
                      FILTER + "GROUP BY station, substr(started, 1, 10))";
  return each_row(
      db, filtered(db, hours, f, why),
      [out](sqlite3_stmt *s) { out->running_hours = sqlite3_column_double(s, 0); }, why);
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

double yield_percent(const outcome_counts &c) {
  long long judged = c.boards - c.interrupted;
  return judged > 0 ? 100.0 * double(c.passed) / double(judged) : 0;
}

bool report_gather(sqlite3 *db, const report_filter &f, station_report *out, std::string *why) {
  *out = station_report();
  std::string total = std::string("SELECT") + COUNTS + "FROM boards WHERE" + FILTER;
  bool ok = each_row(
      db, filtered(db, total, f, why), [out](sqlite3_stmt *s) { read_counts(s, 0, &out->total); },
      why);
  return ok && gather_units(db, f, out, why) && gather_groups(db, f, out, why) &&
         gather_faults(db, f, out, why) && gather_times(db, f, out, why);
}

bool report_failed_boards(sqlite3 *db, const report_filter &f,
                          const std::function<void(const failed_board &)> &each, std::string *why) {
  std::string sql = std::string(
                        "SELECT id, serial, station, slot, started, seconds, diagnosis_json, log"
                        " FROM boards WHERE outcome = 'failed' AND") +
                    FILTER + "ORDER BY started DESC, id DESC LIMIT " +
                    std::to_string(REPORT_MAX_FAILED_BOARDS);
  sqlite3_stmt *faults =
      history_prepare(db, "SELECT words FROM board_faults WHERE board_id = ? ORDER BY rowid", why);
  if (!faults) return false;
  bool fault_error = false;
  bool ok = each_row(
      db, filtered(db, sql, f, why),
      [&](sqlite3_stmt *s) {
        failed_board b;
        b.id = sqlite3_column_int64(s, 0);
        b.serial = column_text(s, 1);
        b.station = column_text(s, 2);
        b.slot = column_text(s, 3);
        b.started = column_text(s, 4);
        b.seconds = sqlite3_column_double(s, 5);
        b.diagnosis_json = column_text(s, 6);
        b.log = column_text(s, 7);
        sqlite3_reset(faults);
        sqlite3_bind_int64(faults, 1, b.id);
        int rc;
        while ((rc = sqlite3_step(faults)) == SQLITE_ROW)
          b.faults.push_back(column_text(faults, 0));
        if (rc != SQLITE_DONE) fault_error = true;
        each(b);
      },
      why);
  if (ok && fault_error && why) *why = sqlite3_errmsg(db);
  sqlite3_finalize(faults);
  return ok && !fault_error;
}
