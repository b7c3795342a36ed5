// Boards read back whole from a database whose `boards` and `board_faults`
// tables are a station's (the station's own, or the line server's): the
// record as it was committed, faults included, for the line's sender and
// for export.
#pragma once

#include <functional>
#include <string>

#include <sqlite3.h>

#include "station/records/board_record.h"
#include "station/records/station_database.h"

// The statements that read a board, prepared at the first fetch that is
// given them and kept for the connection's life (the line's sender fetches
// every record it sends).
struct board_fetch_statements {
  db_statement boards, faults;
};

// The board with row id. False with the reason when the database fails or
// holds no such row. kept, when given, holds the statements from one call to
// the next; none is left open between calls.
bool board_fetch(sqlite3 *db, long long id, board_record *out, std::string *why,
                 board_fetch_statements *kept = nullptr);

// Every board started at or after since ("" for all), oldest first, each
// handed to each as it is read; each returns false to stop.
bool board_fetch_each(sqlite3 *db, const std::string &since,
                      const std::function<bool(const board_record &)> &each, std::string *why);
