// PostgreSQL's side: a cursor per query, its rows fetched a batch at a
// time, so that a report over millions of boards holds one batch in memory
// and never the whole result.
#include "line/line_report_db.h"

#include <cctype>
#include <memory>
#include <vector>

#include <libpq-fe.h>

#include "korvane/why.h"
#include "line/line_store.h"

namespace {

const int BATCH_ROWS = 20000;

struct pg_closer {
  void operator()(PGconn *c) const { PQfinish(c); }
};
using pg_handle = std::shared_ptr<PGconn>;

// libpq's reason, its first line.
bool pg_fail(PGconn *c, std::string *why) {
  std::string text = PQerrorMessage(c);
  size_t end = text.find('\n');
  return set_why(why, "%s", text.substr(0, end).c_str());
}

bool pg_command(PGconn *c, const char *sql, std::string *why) {
  PGresult *r = PQexec(c, sql);
  bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  return ok || pg_fail(c, why);
}

// The report's SQL with PostgreSQL's parameters: ?N is $N.
std::string dollar_parameters(const std::string &sql) {
  std::string out = sql;
  for (size_t i = 0; i + 1 < out.size(); ++i)
    if (out[i] == '?' && isdigit((unsigned char)out[i + 1])) out[i] = '$';
  return out;
}

bool pg_rows(PGconn *c, const std::string &sql, const std::vector<std::string> &params,
             const report_row_fn &row, std::string *why) {
  std::vector<const char *> values;
  for (const std::string &p : params) values.push_back(p.empty() ? nullptr : p.c_str());
  std::string declare = "DECLARE report NO SCROLL CURSOR FOR " + dollar_parameters(sql);
  PGresult *r = PQexecParams(c, declare.c_str(), int(values.size()), nullptr, values.data(),
                             nullptr, nullptr, 0);
  bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  if (!ok) return pg_fail(c, why);
  std::string fetch = "FETCH " + std::to_string(BATCH_ROWS) + " FROM report";
  std::vector<const char *> texts;
  for (;;) {
    r = PQexec(c, fetch.c_str());
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
      PQclear(r);
      return pg_fail(c, why);
    }
    int rows = PQntuples(r), columns = PQnfields(r);
    texts.resize(size_t(columns));
    for (int i = 0; i < rows; ++i) {
      for (int j = 0; j < columns; ++j)
        texts[size_t(j)] = PQgetisnull(r, i, j) ? nullptr : PQgetvalue(r, i, j);
      row(row_view{nullptr, texts.data()});
    }
    PQclear(r);
    if (rows < BATCH_ROWS) break;
  }
  return pg_command(c, "CLOSE report", why);
}

}  // namespace

bool line_report_db_is_file(const std::string &db) { return !line_store_is_postgres(db); }

bool line_report_db_open(const std::string &db, report_db *out, std::string *why) {
  if (line_report_db_is_file(db)) return report_db_open_file(db, out, why);
  pg_handle c(PQconnectdb(db.c_str()), pg_closer());
  if (!c) return set_why(why, "out of memory");
  if (PQstatus(c.get()) != CONNECTION_OK) return pg_fail(c.get(), why);
  // One snapshot for every query; each query's plan made for all its rows,
  // not the first few.
  if (!pg_command(c.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", why) ||
      !pg_command(c.get(), "SET LOCAL cursor_tuple_fraction = 1", why))
    return false;
  *out = [c](const std::string &sql, const std::vector<std::string> &params,
             const report_row_fn &row,
             std::string *why) { return pg_rows(c.get(), sql, params, row, why); };
  return true;
}
