#include "station/records/row_view.h"

#include <cstdlib>

#include "station/records/station_database.h"

bool row_null(const row_view &r, int c) {
  return r.sqlite ? sqlite3_column_type(r.sqlite, c) == SQLITE_NULL : r.texts[c] == nullptr;
}

std::string row_text(const row_view &r, int c) {
  if (r.sqlite) return db_text(r.sqlite, c);
  return r.texts[c] ? r.texts[c] : "";
}

long long row_number(const row_view &r, int c) {
  if (r.sqlite) return sqlite3_column_int64(r.sqlite, c);
  return r.texts[c] ? std::strtoll(r.texts[c], nullptr, 10) : 0;
}

double row_real(const row_view &r, int c) {
  if (r.sqlite) return sqlite3_column_double(r.sqlite, c);
  return r.texts[c] ? std::strtod(r.texts[c], nullptr) : 0;
}
