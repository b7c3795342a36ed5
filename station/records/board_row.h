// A board_record as a row of `boards` and its rows of `board_faults`. The
// columns are listed once, here: the station's insert and the report's and
// history's queries are made from this list, and board_bind and board_read
// map it to board_record's fields.
#pragma once

#include <string>
#include <vector>

#include <sqlite3.h>

#include "station/records/board_record.h"

// "id, serial, slot, ..., log": what a query selects for board_read.
std::string board_select_list();

// "INSERT INTO boards (serial, ..., log) VALUES (?1, ..., ?18)": every
// column after id.
std::string board_insert_sql();

// The same with more columns of a table that holds a station's boards and
// more (the line server's), their values at ?19, ?20, ... after board_bind's.
std::string board_insert_sql(const std::vector<std::string> &more);

// How many parameters board_bind binds.
int board_bound_count();

// Binds the board's fields to an insert made by board_insert_sql. Empty
// text, and a korvane status below 0, are NULL.
void board_bind(sqlite3_stmt *insert, const board_record &board);

// Reads a row selected through board_select_list into *board (its faults
// are left as they are); false for an outcome word no board has.
bool board_read(sqlite3_stmt *row, board_record *board);

// The statement board_read_faults reads a board's faults with.
const char BOARD_FAULTS_SQL[] =
    "SELECT test, kind, words FROM board_faults WHERE board_id = ?1 ORDER BY rowid";

// Appends the faults of board id, in the order they were recorded, read
// through a statement prepared from BOARD_FAULTS_SQL; false when the
// database fails while reading them.
bool board_read_faults(sqlite3_stmt *faults, long long id, std::vector<board_fault> *out);
