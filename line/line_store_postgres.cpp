// The line's PostgreSQL back-end through libpq: a few connections taken in
// turn by the server's threads, each record in one transaction. A connection
// that broke (the server restarted) is made anew at its next use; until the
// server answers, a record is `unavailable` and nothing is acknowledged.
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <libpq-fe.h>

#include "korvane/why.h"
#include "line/line_store_backend.h"

namespace {

// The order faults were recorded in, which SQLite keeps as its rowid: a
// column of that name, so that the same queries read both; a table made
// before it had it gets it numbered in the table's order.
const char FAULT_ORDER[] = "ALTER TABLE board_faults ADD COLUMN IF NOT EXISTS rowid BIGSERIAL";

// The columns a later release added to a station's `boards`.
const char ADDED_COLUMNS[] = "ALTER TABLE boards ADD COLUMN IF NOT EXISTS attempts_checked TEXT";

// As many as the server has threads that store records.
const size_t CONNECTIONS = 8;

std::string error_of(PGconn *c) {
  std::string text = PQerrorMessage(c);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  size_t newline = text.find('\n');
  return newline == std::string::npos ? text : text.substr(0, newline);
}

// Runs sql; true when it answered as wanted.
bool command(PGconn *c, const char *sql, std::string *why) {
  PGresult *r = PQexec(c, sql);
  bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
  PQclear(r);
  return ok || set_why(why, "%s", error_of(c).c_str());
}

}  // namespace

struct line_postgres {
  std::string conninfo;
  std::mutex mutex;
  std::condition_variable freed;
  std::vector<PGconn *> idle;
  std::vector<PGconn *> all;
};

namespace {

PGconn *take(line_postgres *db) {
  std::unique_lock<std::mutex> lock(db->mutex);
  db->freed.wait(lock, [db] { return !db->idle.empty(); });
  PGconn *c = db->idle.back();
  db->idle.pop_back();
  return c;
}

void give_back(line_postgres *db, PGconn *c) {
  std::lock_guard<std::mutex> lock(db->mutex);
  db->idle.push_back(c);
  db->freed.notify_one();
}

// A connection the server dropped is made anew; false when it still cannot be.
bool ready(PGconn *c, std::string *why) {
  if (PQstatus(c) != CONNECTION_OK) PQreset(c);
  return PQstatus(c) == CONNECTION_OK || set_why(why, "%s", error_of(c).c_str());
}

// Runs sql with values ($1, ...; null[i] for NULL); its result, which the
// caller clears, or null with the reason when it did not answer as wanted.
PGresult *run(PGconn *c, const std::string &sql, const std::vector<std::string> &texts,
              const std::vector<bool> &null, ExecStatusType wanted, std::string *why) {
  std::vector<const char *> values;
  for (size_t i = 0; i < texts.size(); i++) values.push_back(null[i] ? nullptr : texts[i].c_str());
  PGresult *r =
      PQexecParams(c, sql.c_str(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
  if (PQresultStatus(r) == wanted) return r;
  set_why(why, "%s", error_of(c).c_str());
  PQclear(r);
  return nullptr;
}

line_put put(PGconn *c, const line_record &record, const std::string &received, std::string *why) {
  const board_record &b = record.board;
  std::vector<std::string> texts;
  std::vector<bool> null;
  board_values(b, &texts, &null);
  texts.insert(texts.end(), {received, record.content_hash});
  null.insert(null.end(), {false, false});
  if (!command(c, "BEGIN", why)) return line_put::unavailable;
  PGresult *r =
      run(c, board_insert_sql(LINE_COLUMNS, "$") + " ON CONFLICT (uid) DO NOTHING RETURNING id",
          texts, null, PGRES_TUPLES_OK, why);
  bool ok = r != nullptr, inserted = ok && PQntuples(r) == 1;
  std::string id = inserted ? PQgetvalue(r, 0, 0) : "";
  PQclear(r);
  if (ok && !inserted) {
    // Stored before: the same content is a retry, another a clash.
    r = run(c, "SELECT content_hash FROM boards WHERE uid = $1", {b.uid}, {false}, PGRES_TUPLES_OK,
            why);
    ok = r && PQntuples(r) == 1;
    bool same = ok && record.content_hash == PQgetvalue(r, 0, 0);
    PQclear(r);
    if (ok && command(c, "COMMIT", why)) return same ? line_put::same : line_put::clash;
  }
  for (size_t i = 0; inserted && ok && i < b.faults.size(); i++) {
    const board_fault &f = b.faults[i];
    r = run(c, board_fault_insert_sql("$"), {id, f.test, f.kind, f.words},
            {false, false, false, false}, PGRES_COMMAND_OK, why);
    ok = r != nullptr;
    PQclear(r);
  }
  if (inserted && ok && command(c, "COMMIT", why)) return line_put::stored;
  PQclear(PQexec(c, "ROLLBACK"));
  return line_put::unavailable;
}

}  // namespace

line_postgres *line_postgres_open(const std::string &conninfo, std::string *why) {
  line_postgres *db = new line_postgres;
  db->conninfo = conninfo;
  bool ok = true;
  for (size_t i = 0; ok && i < CONNECTIONS; i++) {
    PGconn *c = PQconnectdb(conninfo.c_str());
    db->all.push_back(c);
    db->idle.push_back(c);
    ok = c && PQstatus(c) == CONNECTION_OK;
    if (!ok)
      set_why(why, "cannot open the database: %s", c ? error_of(c).c_str() : "out of memory");
    // Every record is on disk before it is acknowledged.
    ok = ok && command(c, "SET synchronous_commit = on", why);
    if (i == 0 && ok) {
      std::string tables = "SET client_min_messages = warning;\n" +
                           board_tables_sql(line_board_tables("BIGSERIAL PRIMARY KEY", "BIGINT"));
      ok = command(c, tables.c_str(), why) && command(c, FAULT_ORDER, why) &&
           command(c, ADDED_COLUMNS, why);
      if (!ok) *why = "cannot make the line's tables: " + *why;
    }
  }
  if (!ok) {
    line_postgres_close(db);
    return nullptr;
  }
  return db;
}

void line_postgres_close(line_postgres *db) {
  if (!db) return;
  for (PGconn *c : db->all) PQfinish(c);
  delete db;
}

line_put line_postgres_put(line_postgres *db, const line_record &record,
                           const std::string &received, std::string *why) {
  PGconn *c = take(db);
  line_put result = ready(c, why) ? put(c, record, received, why) : line_put::unavailable;
  give_back(db, c);
  return result;
}

bool line_postgres_day(line_postgres *db, const std::string &since,
                       std::map<std::string, line_day_counts> *out, std::string *why) {
  PGconn *c = take(db);
  bool ok = ready(c, why);
  if (ok) {
    const char *value[] = {since.c_str()};
    PGresult *r = PQexecParams(c,
                               "SELECT station, outcome, count(*) FROM boards WHERE started >= $1"
                               " GROUP BY station, outcome",
                               1, nullptr, value, nullptr, nullptr, 0);
    ok = PQresultStatus(r) == PGRES_TUPLES_OK;
    for (int i = 0; ok && i < PQntuples(r); i++)
      line_day_add(out, PQgetvalue(r, i, 0), PQgetvalue(r, i, 1), std::atoll(PQgetvalue(r, i, 2)));
    if (!ok) set_why(why, "%s", error_of(c).c_str());
    PQclear(r);
  }
  give_back(db, c);
  return ok;
}

namespace {

// As the SQLite back-end's, in one read-only transaction so that the counts
// and the list agree; board_faults is only ever appended to, so its rows'
// places keep the order they were recorded in.
const char SERIAL_COUNTS[] =
    "SELECT count(*), count(*) FILTER (WHERE outcome = 'failed') FROM boards WHERE serial = $1";
const char SERIAL_LIST[] =
    "SELECT b.uid, b.station, b.slot, b.started, b.ended, b.outcome,"
    " (SELECT CASE f.test WHEN 'flash' THEN 'flash: ' ELSE '' END || f.words"
    "  FROM board_faults f WHERE f.board_id = b.id ORDER BY f.ctid LIMIT 1)"
    " FROM boards b WHERE b.serial = $1 ORDER BY b.started DESC, b.id DESC LIMIT $2";

bool serial_attempts(PGconn *c, const std::string &serial, line_serial_attempts *out,
                     std::string *why) {
  std::string limit = std::to_string(LINE_ATTEMPTS_LISTED);
  const char *values[] = {serial.c_str(), limit.c_str()};
  if (!command(c, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", why)) return false;
  PGresult *r = PQexecParams(c, SERIAL_COUNTS, 1, nullptr, values, nullptr, nullptr, 0);
  bool ok = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
  if (ok) {
    out->total = std::atoll(PQgetvalue(r, 0, 0));
    out->failed = std::atoll(PQgetvalue(r, 0, 1));
  }
  PQclear(r);
  if (ok) {
    r = PQexecParams(c, SERIAL_LIST, 2, nullptr, values, nullptr, nullptr, 0);
    ok = PQresultStatus(r) == PGRES_TUPLES_OK;
    for (int i = 0; ok && i < PQntuples(r); i++)
      out->newest.push_back({PQgetvalue(r, i, 0), PQgetvalue(r, i, 1), PQgetvalue(r, i, 2),
                             PQgetvalue(r, i, 3), PQgetvalue(r, i, 4), PQgetvalue(r, i, 5),
                             PQgetvalue(r, i, 6)});
    PQclear(r);
  }
  if (ok && command(c, "COMMIT", why)) return true;
  set_why(why, "%s", error_of(c).c_str());
  PQclear(PQexec(c, "ROLLBACK"));
  return false;
}

}  // namespace

bool line_postgres_serial(line_postgres *db, const std::string &serial, line_serial_attempts *out,
                          std::string *why) {
  PGconn *c = take(db);
  bool ok = ready(c, why) && serial_attempts(c, serial, out, why);
  give_back(db, c);
  return ok;
}
