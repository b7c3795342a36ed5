// The two back-ends behind line_store.h, each in its own file; line_store.cpp
// picks one by the database's name.
#pragma once

#include "line/line_store.h"

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
