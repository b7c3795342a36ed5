// The station's database opened for reading only, for the report and the
// history: they never change a record and never start a board.
#pragma once

#include <string>
#include <vector>

#include <sqlite3.h>

// Opens path read-only and checks that it holds the station's boards. Null,
// with the reason ("no such file", "not a station database: ..."), else.
sqlite3 *history_database_open(const std::string &path, std::string *why);

// A statement, or null with SQLite's reason.
sqlite3_stmt *history_prepare(sqlite3 *db, const char *sql, std::string *why);

// The text of a column, "" for NULL.
std::string column_text(sqlite3_stmt *s, int column);

// The statement board_fault_words reads a board's faults with.
sqlite3_stmt *history_prepare_faults(sqlite3 *db, std::string *why);

// Appends the fault words of board id, in the order they were recorded;
// false when the database fails while reading them.
bool board_fault_words(sqlite3_stmt *faults, long long id, std::vector<std::string> *words);
