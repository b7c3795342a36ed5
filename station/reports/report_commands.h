// korvane-station's two commands that read its database and never start a
// board, as entries the program's main calls with argv[0] the command name:
//
//   korvane-station report [--db PATH] [--since DATE] [--until DATE]
//                          [--station NAME] [--csv] [--html FILE]
//   korvane-station history SERIAL [--db PATH] [--csv] [--html FILE]
//
// Each prints its text (or CSV) on standard output, writes the HTML page
// when asked, and returns the exit status: 0 done, 1 a database that cannot
// be read, a serial with no record or a report that cannot be written, 2 a
// bad option.
#pragma once

#include <cstddef>
#include <string>

#include "station/reports/report_db.h"

int station_report_main(int argc, char **argv);
int station_history_main(int argc, char **argv);

// How a program opens the database it names for reading.
struct report_opener {
  // False with the reason.
  bool (*open)(const std::string &db, report_db *out, std::string *why);
  // Whether db names a file, beside which a nets file may lie.
  bool (*is_file)(const std::string &db);
};

// The same commands of korvane-line over the line's database (default
// korvane-line.db), whose boards are every station's, opened as `opener`
// says (a SQLite file or a PostgreSQL server).
int line_report_main(int argc, char **argv, const report_opener &opener);
int line_history_main(int argc, char **argv, const report_opener &opener);

// Each command's synopsis from its option table, after lead
// ("Usage: korvane-station"), lines broken before width columns.
std::string report_synopsis(const std::string &lead, size_t width);
std::string history_synopsis(const std::string &lead, size_t width);
