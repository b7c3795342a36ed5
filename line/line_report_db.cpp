// PostgreSQL's side: each query's rows streamed by COPY, one row in memory
// at a time, the server writing the next while this one is summed up.
#include "line/line_report_db.h"

#include <cctype>
#include <memory>
#include <vector>

#include <libpq-fe.h>

#include "korvane/why.h"
#include "line/line_store.h"

namespace {

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

// sql with each ?N written as the literal of params[N - 1] (NULL for empty
// text), quoted by libpq for this connection: COPY takes no parameters.
bool inline_parameters(PGconn *c, const std::string &sql, const std::vector<std::string> &params,
                       std::string *out, std::string *why) {
  out->clear();
  for (size_t i = 0; i < sql.size(); ++i) {
    if (sql[i] != '?' || i + 1 >= sql.size() || !isdigit((unsigned char)sql[i + 1])) {
      *out += sql[i];
      continue;
    }
    size_t n = 0;
    while (i + 1 < sql.size() && isdigit((unsigned char)sql[i + 1]))
      n = n * 10 + size_t(sql[++i] - '0');
    if (n == 0 || n > params.size()) return set_why(why, "no value for parameter %zu", n);
    const std::string &v = params[n - 1];
    char *literal = v.empty() ? nullptr : PQescapeLiteral(c, v.data(), v.size());
    if (!v.empty() && !literal) return pg_fail(c, why);
    *out += literal ? literal : "NULL";
    PQfreemem(literal);
  }
  return true;
}

// A field of COPY's text form, its escapes undone.
void unescape(const char *from, const char *end, std::string *to) {
  to->clear();
  for (const char *p = from; p < end; ++p) {
    if (*p != '\\' || p + 1 == end) {
      *to += *p;
      continue;
    }
    switch (*++p) {
      case 'b':
        *to += '\b';
        break;
      case 'f':
        *to += '\f';
        break;
      case 'n':
        *to += '\n';
        break;
      case 'r':
        *to += '\r';
        break;
      case 't':
        *to += '\t';
        break;
      case 'v':
        *to += '\v';
        break;
      default:
        *to += *p;
    }
  }
}

// The rows come as COPY streams them, the server writing while this reads:
// each line one row, tab between fields, \N for NULL.
bool pg_rows(PGconn *c, const std::string &sql, const std::vector<std::string> &params,
             const report_row_fn &row, std::string *why) {
  std::string query;
  if (!inline_parameters(c, sql, params, &query, why)) return false;
  PGresult *r = PQexec(c, ("COPY (" + query + ") TO STDOUT").c_str());
  bool ok = PQresultStatus(r) == PGRES_COPY_OUT;
  PQclear(r);
  if (!ok) return pg_fail(c, why);
  std::vector<std::string> fields;
  std::vector<bool> null;
  std::vector<const char *> texts;
  char *line = nullptr;
  int size;
  while ((size = PQgetCopyData(c, &line, 0)) > 0) {
    const char *end = line + size - (line[size - 1] == '\n');
    size_t count = 0;
    for (const char *at = line;; ++count) {
      const char *tab = at;
      while (tab < end && *tab != '\t') ++tab;
      if (fields.size() <= count) {
        fields.emplace_back();
        null.push_back(false);
      }
      null[count] = tab - at == 2 && at[0] == '\\' && at[1] == 'N';
      unescape(at, tab, &fields[count]);
      if (tab == end) break;
      at = tab + 1;
    }
    PQfreemem(line);
    texts.resize(fields.size());
    for (size_t i = 0; i <= count; ++i) texts[i] = null[i] ? nullptr : fields[i].c_str();
    row(row_view{nullptr, texts.data()});
  }
  ok = size == -1;
  while ((r = PQgetResult(c)) != nullptr) {
    ok = ok && PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
  }
  return ok || pg_fail(c, why);
}

}  // namespace

bool line_report_db_is_file(const std::string &db) { return !line_store_is_postgres(db); }

bool line_report_db_open(const std::string &db, report_db *out, std::string *why) {
  if (line_report_db_is_file(db)) return report_db_open_file(db, out, why);
  pg_handle c(PQconnectdb(db.c_str()), pg_closer());
  if (!c) return set_why(why, "out of memory");
  if (PQstatus(c.get()) != CONNECTION_OK) return pg_fail(c.get(), why);
  // One snapshot for every query.
  if (!pg_command(c.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", why)) return false;
  *out = [c](const std::string &sql, const std::vector<std::string> &params,
             const report_row_fn &row,
             std::string *why) { return pg_rows(c.get(), sql, params, row, why); };
  return true;
}
