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

const char SCHEMA[] = R"sql(
SET client_min_messages = warning;
CREATE TABLE IF NOT EXISTS boards (
  id BIGSERIAL PRIMARY KEY,
  serial TEXT,
  slot TEXT NOT NULL,
  port TEXT NOT NULL,
  station TEXT NOT NULL,
  operator TEXT,
  started TEXT NOT NULL,
  ended TEXT NOT NULL,
  seconds DOUBLE PRECISION NOT NULL,
  outcome TEXT NOT NULL CHECK (outcome IN ('passed', 'failed', 'error', 'interrupted')),
  sdram_passes INTEGER NOT NULL DEFAULT 0,
  sdram_failed INTEGER NOT NULL DEFAULT 0,
  flash_passes INTEGER NOT NULL DEFAULT 0,
  flash_failed INTEGER NOT NULL DEFAULT 0,
  diagnosis TEXT,
  diagnosis_json TEXT,
  korvane_status INTEGER,
  message TEXT,
  log TEXT,
  uid TEXT NOT NULL UNIQUE,
  release TEXT,
  received TEXT NOT NULL,
  content_hash TEXT NOT NULL
);
ALTER TABLE boards ADD COLUMN IF NOT EXISTS attempts_checked TEXT;
CREATE TABLE IF NOT EXISTS board_faults (
  board_id BIGINT NOT NULL REFERENCES boards(id),
  test TEXT NOT NULL,
  kind TEXT NOT NULL,
  words TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS boards_by_serial ON boards(serial, started);
CREATE INDEX IF NOT EXISTS boards_by_started ON boards(started);
CREATE INDEX IF NOT EXISTS board_faults_by_board ON board_faults(board_id);
)sql";

const char INSERT_BOARD[] =
    "INSERT INTO boards (serial, slot, port, station, operator, started, ended, seconds, outcome,"
    " sdram_passes, sdram_failed, flash_passes, flash_failed, diagnosis, diagnosis_json,"
    " korvane_status, message, log, uid, release, received, content_hash, attempts_checked)"
    " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17, $18,"
    " $19, $20, $21, $22, $23) ON CONFLICT (uid) DO NOTHING RETURNING id";

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

// A value or NULL, as libpq takes it.
struct params {
  std::vector<std::string> texts;
  std::vector<bool> null;
  void add(const std::string &t, bool empty_is_null = false) {
    texts.push_back(t);
    null.push_back(empty_is_null && t.empty());
  }
  std::vector<const char *> values() const {
    std::vector<const char *> v;
    for (size_t i = 0; i < texts.size(); i++) v.push_back(null[i] ? nullptr : texts[i].c_str());
    return v;
  }
};

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

line_put put(PGconn *c, const line_record &record, const std::string &received, std::string *why) {
  const board_record &b = record.board;
  params p;
  p.add(b.serial, true);
  p.add(b.slot);
  p.add(b.port);
  p.add(b.station);
  p.add(b.operator_name, true);
  p.add(b.started);
  p.add(b.ended);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.17g", b.seconds);
  p.add(seconds);
  p.add(board_outcome_name(b.outcome));
  p.add(std::to_string(b.sdram_passes));
  p.add(std::to_string(b.sdram_failed));
  p.add(std::to_string(b.flash_passes));
  p.add(std::to_string(b.flash_failed));
  p.add(b.diagnosis, true);
  p.add(b.diagnosis_json, true);
  p.add(b.korvane_status < 0 ? "" : std::to_string(b.korvane_status), true);
  p.add(b.message, true);
  p.add(b.log, true);
  p.add(b.uid);
  p.add(b.release, true);
  p.add(received);
  p.add(record.content_hash);
  p.add(b.attempts_checked, true);
  if (!command(c, "BEGIN", why)) return line_put::unavailable;
  std::vector<const char *> values = p.values();
  PGresult *r = PQexecParams(c, INSERT_BOARD, (int)values.size(), nullptr, values.data(), nullptr,
                             nullptr, 0);
  bool ok = PQresultStatus(r) == PGRES_TUPLES_OK;
  bool inserted = ok && PQntuples(r) == 1;
  long long id = inserted ? std::atoll(PQgetvalue(r, 0, 0)) : 0;
  PQclear(r);
  if (ok && !inserted) {
    // Stored before: the same content is a retry, another a clash.
    const char *uid[] = {b.uid.c_str()};
    r = PQexecParams(c, "SELECT content_hash FROM boards WHERE uid = $1", 1, nullptr, uid, nullptr,
                     nullptr, 0);
    ok = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
    bool same = ok && record.content_hash == PQgetvalue(r, 0, 0);
    PQclear(r);
    if (ok && command(c, "COMMIT", why)) return same ? line_put::same : line_put::clash;
  }
  for (size_t i = 0; inserted && ok && i < b.faults.size(); i++) {
    std::string board_id = std::to_string(id);
    const char *fault[] = {board_id.c_str(), b.faults[i].test.c_str(), b.faults[i].kind.c_str(),
                           b.faults[i].words.c_str()};
    r = PQexecParams(c,
                     "INSERT INTO board_faults (board_id, test, kind, words)"
                     " VALUES ($1, $2, $3, $4)",
                     4, nullptr, fault, nullptr, nullptr, 0);
    ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
  }
  if (inserted && ok && command(c, "COMMIT", why)) return line_put::stored;
  set_why(why, "%s", error_of(c).c_str());
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
      ok = command(c, SCHEMA, why);
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
