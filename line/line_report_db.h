// The line's database as the report and history read it: a SQLite file as
// a station's, or a PostgreSQL server through libpq, every query in one
// read-only snapshot.
#pragma once

#include <string>

#include "station/reports/report_commands.h"

// report_opener's two functions for korvane-line.
bool line_report_db_open(const std::string &db, report_db *out, std::string *why);
bool line_report_db_is_file(const std::string &db);

const report_opener LINE_REPORT_OPENER = {line_report_db_open, line_report_db_is_file};
