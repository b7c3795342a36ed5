#include "station/records/board_row.h"

#include "station/records/station_database.h"

namespace {

enum class kind {
  text,     // a std::string field; empty is NULL
  number,   // an int field
  status,   // an int field, -1 is NULL
  seconds,  // board_record::seconds
  outcome,  // board_record::outcome, as its word
};

struct column {
  const char *name;
  kind is;
  std::string board_record::*text;
  int board_record::*number;
};

// The `boards` columns after id, in the table's order, with the field each
// holds.
const column COLUMNS[] = {
    {"serial", kind::text, &board_record::serial, nullptr},
    {"slot", kind::text, &board_record::slot, nullptr},
    {"port", kind::text, &board_record::port, nullptr},
    {"station", kind::text, &board_record::station, nullptr},
    {"operator", kind::text, &board_record::operator_name, nullptr},
    {"started", kind::text, &board_record::started, nullptr},
    {"ended", kind::text, &board_record::ended, nullptr},
    {"seconds", kind::seconds, nullptr, nullptr},
    {"outcome", kind::outcome, nullptr, nullptr},
    {"sdram_passes", kind::number, nullptr, &board_record::sdram_passes},
    {"sdram_failed", kind::number, nullptr, &board_record::sdram_failed},
    {"flash_passes", kind::number, nullptr, &board_record::flash_passes},
    {"flash_failed", kind::number, nullptr, &board_record::flash_failed},
    {"diagnosis", kind::text, &board_record::diagnosis, nullptr},
    {"diagnosis_json", kind::text, &board_record::diagnosis_json, nullptr},
    {"korvane_status", kind::status, nullptr, &board_record::korvane_status},
    {"message", kind::text, &board_record::message, nullptr},
    {"log", kind::text, &board_record::log, nullptr},
    {"uid", kind::text, &board_record::uid, nullptr},
    {"release", kind::text, &board_record::release, nullptr},
    {"attempts_checked", kind::text, &board_record::attempts_checked, nullptr},
};

const int COLUMN_COUNT = int(sizeof COLUMNS / sizeof *COLUMNS);

}  // namespace

std::string board_select_list() {
  std::string list = "id";
  for (const column &c : COLUMNS) list += std::string(", ") + c.name;
  return list;
}

std::string board_insert_sql() { return board_insert_sql({}); }

std::string board_insert_sql(const std::vector<std::string> &more) {
  std::vector<std::string> all;
  for (const column &c : COLUMNS) all.push_back(c.name);
  all.insert(all.end(), more.begin(), more.end());
  std::string names, values;
  for (size_t i = 0; i < all.size(); i++) {
    names += std::string(i ? ", " : "") + all[i];
    values += (i ? ", ?" : "?") + std::to_string(i + 1);
  }
  return "INSERT INTO boards (" + names + ") VALUES (" + values + ")";
}

int board_bound_count() { return COLUMN_COUNT; }

void board_bind(sqlite3_stmt *s, const board_record &b) {
  // A column's parameter is its place in the list, from ?1.
  for (int i = 0; i < COLUMN_COUNT; i++) {
    const column &c = COLUMNS[i];
    int at = i + 1;
    switch (c.is) {
      case kind::text:
        db_bind_text(s, at, b.*c.text);
        break;
      case kind::status:
      case kind::number:
        if (c.is == kind::status && b.*c.number < 0) {
          sqlite3_bind_null(s, at);
        } else {
          sqlite3_bind_int64(s, at, b.*c.number);
        }
        break;
      case kind::seconds:
        sqlite3_bind_double(s, at, b.seconds);
        break;
      case kind::outcome:
        db_bind_text(s, at, board_outcome_name(b.outcome));
        break;
    }
  }
}

bool board_read(sqlite3_stmt *s, board_record *b) {
  // Column 0 is the id; a column of the list is one further on.
  b->id = sqlite3_column_int64(s, 0);
  bool known = true;
  for (int i = 0; i < COLUMN_COUNT; i++) {
    const column &c = COLUMNS[i];
    int at = i + 1;
    switch (c.is) {
      case kind::text:
        b->*c.text = db_text(s, at);
        break;
      case kind::status:
      case kind::number:
        b->*c.number = c.is == kind::status && sqlite3_column_type(s, at) == SQLITE_NULL
                           ? -1
                           : int(sqlite3_column_int64(s, at));
        break;
      case kind::seconds:
        b->seconds = sqlite3_column_double(s, at);
        break;
      case kind::outcome:
        known = board_outcome_from_name(db_text(s, at), &b->outcome);
        break;
    }
  }
  return known;
}

bool board_read_faults(sqlite3_stmt *faults, long long id, std::vector<board_fault> *out) {
  sqlite3_reset(faults);
  sqlite3_bind_int64(faults, 1, id);
  int rc;
  while ((rc = sqlite3_step(faults)) == SQLITE_ROW)
    out->push_back({db_text(faults, 0), db_text(faults, 1), db_text(faults, 2)});
  return rc == SQLITE_DONE;
}
