// The database the reports and the history read, whichever engine holds
// it: one function that runs a query and hands each row over. The queries
// are written in the SQL both SQLite and PostgreSQL take, their parameters
// ?1, ?2, ...; the engine's own implementation does the rest (SQLite's here,
// PostgreSQL's with the line server, line/line_report_db).
//
//   report_db db;
//   if (!report_db_open_file(path, &db, &why)) ...;
//   report_db_rows(db, "SELECT serial FROM boards WHERE station = ?1", {"A"},
//                  [](const row_view &r) { ... row_text(r, 0) ... }, &why);
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "station/records/row_view.h"

using report_row_fn = std::function<void(const row_view &)>;

// Runs sql to its end with params bound to ?1, ?2, ... in order (empty
// text as NULL), handing each row to row; false with the reason.
using report_db = std::function<bool(const std::string &sql, const std::vector<std::string> &params,
                                     const report_row_fn &row, std::string *why)>;

// Opens a station's (or the line's) SQLite file read-only, every query in
// one snapshot of it, so that a station committing meanwhile does not make
// the figures disagree. False with the reason.
bool report_db_open_file(const std::string &path, report_db *out, std::string *why);

// Reads an open SQLite database, which stays the caller's.
report_db report_db_sqlite(sqlite3 *db);

bool report_db_rows(const report_db &db, const std::string &sql,
                    const std::vector<std::string> &params, const report_row_fn &row,
                    std::string *why);
