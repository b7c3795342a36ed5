// A station's database made by an earlier release, brought up to this one's
// on open: the columns it lacks are added (columns are only ever added), its
// rows without a uid are given one, and the uid index is made.
#pragma once

#include <string>

#include <sqlite3.h>

// Run inside no transaction; makes its own. False with the reason, nothing
// changed, when the database cannot be written.
bool board_schema_migrate(sqlite3 *db, std::string *why);

// Adds the columns of `boards` that a release added and the table lacks;
// for a table that holds a station's boards and more (the line server's).
bool board_columns_add(sqlite3 *db, std::string *why);

// For a reader that may not write (a report): a database of an earlier
// release is shown with the columns it lacks, as NULL, through a temporary
// view that stands in for `boards` on this connection alone.
bool board_schema_view(sqlite3 *db, std::string *why);
