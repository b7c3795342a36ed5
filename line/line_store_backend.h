// The two back-ends behind line_store.h, each in its own file; line_store.cpp
// picks one by the database's name.
#pragma once

#include <string>
#include <vector>

#include "line/line_store.h"
#include "station/records/board_row.h"

// The line's own columns of `boards`, after a station's: the server's time
// of receipt and the content's hash, bound in this order after the board's.
extern const std::vector<std::string> LINE_COLUMNS;

// A station's tables with the line's columns, uid required, with the
// engine's key and reference to it.
board_tables line_board_tables(const char *key, const char *reference);

struct line_sqlite;
line_sqlite *line_sqlite_open(const std::string &path, std::string *why);
void line_sqlite_close(line_sqlite *db);
line_put line_sqlite_put(line_sqlite *db, const line_record &record, const std::string &received,
                         std::string *why);
bool line_sqlite_serial(line_sqlite *db, const std::string &serial, line_serial_attempts *out,
                        std::string *why);
bool line_sqlite_day(line_sqlite *db, const std::string &since,
                     std::map<std::string, line_day_counts> *out, std::string *why);

struct line_postgres;
line_postgres *line_postgres_open(const std::string &conninfo, std::string *why);
void line_postgres_close(line_postgres *db);
line_put line_postgres_put(line_postgres *db, const line_record &record,
                           const std::string &received, std::string *why);
bool line_postgres_serial(line_postgres *db, const std::string &serial, line_serial_attempts *out,
                          std::string *why);
bool line_postgres_day(line_postgres *db, const std::string &since,
                       std::map<std::string, line_day_counts> *out, std::string *why);
