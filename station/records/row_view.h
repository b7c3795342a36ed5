// A row of a result as the reports, the history and the line's stores read
// it, whichever engine gave it: a SQLite statement on its row, or another
// engine's columns as text (null for SQL NULL), as libpq gives them.
#pragma once

#include <string>

#include <sqlite3.h>

struct row_view {
  sqlite3_stmt *sqlite = nullptr;
  const char *const *texts = nullptr;
};

bool row_null(const row_view &row, int column);
// "" for NULL.
std::string row_text(const row_view &row, int column);
// 0 for NULL.
long long row_number(const row_view &row, int column);
double row_real(const row_view &row, int column);
