// A board_record as a row of `boards` and its rows of `board_faults`. The
// columns are listed once, here: the tables of the station and of the line
// (on SQLite and PostgreSQL), the inserts and the report's and history's
// queries are made from this list, and board_bind, board_values and
// board_read map it to board_record's fields.
#pragma once

#include <string>
#include <vector>

#include <sqlite3.h>

#include "station/records/board_record.h"
#include "station/records/row_view.h"

// What differs between the engines and programs that keep boards.
struct board_tables {
  const char *key = "INTEGER PRIMARY KEY";  // boards.id, numbered by the engine
  const char *reference = "INTEGER";        // board_faults.board_id
  // uid NOT NULL UNIQUE: every record has one from the start (the line's);
  // a station's older rows get theirs when it is brought up to date.
  bool uid_required = false;
  std::vector<std::string> more;  // further columns of boards, declared
};

// CREATE TABLE IF NOT EXISTS boards and board_faults, and their indexes.
std::string board_tables_sql(const board_tables &tables);

// "uid TEXT": a column's declaration, as a release that adds it adds it.
std::string board_column_sql(const std::string &name);

// "id, serial, slot, ..., log": what a query selects for board_read.
std::string board_select_list();

// "INSERT INTO boards (serial, ..., release) VALUES (?1, ..., ?20)": every
// column after id.
std::string board_insert_sql();

// The same with more columns of a table that holds a station's boards and
// more (the line server's), their values after board_bind's; parameters
// written as mark and their number ("?" or "$").
std::string board_insert_sql(const std::vector<std::string> &more, const char *mark = "?");

// The insert of one of a board's faults: board_id, test, kind, words.
std::string board_fault_insert_sql(const char *mark = "?");

// Inserts each of faults under board id through a statement made from
// board_fault_insert_sql; false with the reason.
bool board_insert_faults(sqlite3 *db, sqlite3_stmt *insert, long long id,
                         const std::vector<board_fault> &faults, std::string *why);

// How many parameters board_bind binds.
int board_bound_count();

// Binds the board's fields to an insert made by board_insert_sql. Empty
// text, and a korvane status below 0, are NULL.
void board_bind(sqlite3_stmt *insert, const board_record &board);

// The same values as text, for an engine that takes them so: null[i] for
// NULL.
void board_values(const board_record &board, std::vector<std::string> *texts,
                  std::vector<bool> *null);

// Reads a row selected through board_select_list into *board (its faults
// are left as they are); false for an outcome word no board has.
bool board_read(const row_view &row, board_record *board);
inline bool board_read(sqlite3_stmt *row, board_record *board) {
  return board_read(row_view{row, nullptr}, board);
}

// The statement board_read_faults reads a board's faults with; `rowid` is
// the order they were recorded in, on every engine.
const char BOARD_FAULTS_SQL[] =
    "SELECT test, kind, words FROM board_faults WHERE board_id = ?1 ORDER BY rowid";

// Appends the faults of board id, in the order they were recorded, read
// through a statement prepared from BOARD_FAULTS_SQL; false when the
// database fails while reading them.
bool board_read_faults(sqlite3_stmt *faults, long long id, std::vector<board_fault> *out);
