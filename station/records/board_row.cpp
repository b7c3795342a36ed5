#include "station/records/board_row.h"

#include <cstdio>

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
  const char *declared;  // its type and constraints, as both engines take them
  kind is;
  std::string board_record::*text;
  int board_record::*number;
};

// The `boards` columns after id, in the table's order, with the field each
// holds.
const column COLUMNS[] = {
    {"serial", "TEXT", kind::text, &board_record::serial, nullptr},
    {"slot", "TEXT NOT NULL", kind::text, &board_record::slot, nullptr},
    {"port", "TEXT NOT NULL", kind::text, &board_record::port, nullptr},
    {"station", "TEXT NOT NULL", kind::text, &board_record::station, nullptr},
    {"operator", "TEXT", kind::text, &board_record::operator_name, nullptr},
    {"started", "TEXT NOT NULL", kind::text, &board_record::started, nullptr},
    {"ended", "TEXT NOT NULL", kind::text, &board_record::ended, nullptr},
    {"seconds", "DOUBLE PRECISION NOT NULL", kind::seconds, nullptr, nullptr},
    {"outcome", "TEXT NOT NULL CHECK (outcome IN ('passed', 'failed', 'error', 'interrupted'))",
     kind::outcome, nullptr, nullptr},
    {"sdram_passes", "INTEGER NOT NULL DEFAULT 0", kind::number, nullptr,
     &board_record::sdram_passes},
    {"sdram_failed", "INTEGER NOT NULL DEFAULT 0", kind::number, nullptr,
     &board_record::sdram_failed},
    {"flash_passes", "INTEGER NOT NULL DEFAULT 0", kind::number, nullptr,
     &board_record::flash_passes},
    {"flash_failed", "INTEGER NOT NULL DEFAULT 0", kind::number, nullptr,
     &board_record::flash_failed},
    {"diagnosis", "TEXT", kind::text, &board_record::diagnosis, nullptr},
    {"diagnosis_json", "TEXT", kind::text, &board_record::diagnosis_json, nullptr},
    {"korvane_status", "INTEGER", kind::status, nullptr, &board_record::korvane_status},
    {"message", "TEXT", kind::text, &board_record::message, nullptr},
    {"log", "TEXT", kind::text, &board_record::log, nullptr},
    {"uid", "TEXT", kind::text, &board_record::uid, nullptr},
    {"release", "TEXT", kind::text, &board_record::release, nullptr},
    {"attempts_checked", "TEXT", kind::text, &board_record::attempts_checked, nullptr},
};

const int COLUMN_COUNT = int(sizeof COLUMNS / sizeof *COLUMNS);

const column *find_column(const std::string &name) {
  for (const column &c : COLUMNS)
    if (name == c.name) return &c;
  return nullptr;
}

}  // namespace

std::string board_tables_sql(const board_tables &t) {
  std::string boards = std::string("CREATE TABLE IF NOT EXISTS boards (\n  id ") + t.key;
  for (const column &c : COLUMNS) {
    bool unique = t.uid_required && std::string(c.name) == "uid";
    boards += std::string(",\n  ") + c.name + " " + c.declared + (unique ? " NOT NULL UNIQUE" : "");
  }
  for (const std::string &m : t.more) boards += ",\n  " + m;
  std::string faults = std::string(
                           "CREATE TABLE IF NOT EXISTS board_faults (\n"
                           "  board_id ") +
                       t.reference +
                       " NOT NULL REFERENCES boards(id),\n"
                       "  test TEXT NOT NULL,\n"
                       "  kind TEXT NOT NULL,\n"
                       "  words TEXT NOT NULL";
  return boards + "\n);\n" + faults +
         "\n);\n"
         "CREATE INDEX IF NOT EXISTS boards_by_serial ON boards(serial, started);\n"
         "CREATE INDEX IF NOT EXISTS boards_by_started ON boards(started);\n"
         "CREATE INDEX IF NOT EXISTS board_faults_by_board ON board_faults(board_id);\n";
}

std::string board_column_sql(const std::string &name) {
  const column *c = find_column(name);
  return c ? name + " " + c->declared : "";
}

std::string board_select_list() {
  std::string list = "id";
  for (const column &c : COLUMNS) list += std::string(", ") + c.name;
  return list;
}

std::string board_insert_sql() { return board_insert_sql({}); }

std::string board_insert_sql(const std::vector<std::string> &more, const char *mark) {
  std::vector<std::string> all;
  for (const column &c : COLUMNS) all.push_back(c.name);
  all.insert(all.end(), more.begin(), more.end());
  std::string names, values;
  for (size_t i = 0; i < all.size(); i++) {
    names += std::string(i ? ", " : "") + all[i];
    values += (i ? ", " : "") + (mark + std::to_string(i + 1));
  }
  return "INSERT INTO boards (" + names + ") VALUES (" + values + ")";
}

std::string board_fault_insert_sql(const char *mark) {
  std::string m = mark;
  return "INSERT INTO board_faults (board_id, test, kind, words) VALUES (" + m + "1, " + m + "2, " +
         m + "3, " + m + "4)";
}

bool board_insert_faults(sqlite3 *db, sqlite3_stmt *insert, long long id,
                         const std::vector<board_fault> &faults, std::string *why) {
  for (const board_fault &f : faults) {
    sqlite3_bind_int64(insert, 1, id);
    db_bind_text(insert, 2, f.test);
    db_bind_text(insert, 3, f.kind);
    db_bind_text(insert, 4, f.words);
    if (!db_step_done(db, insert, why)) return false;
  }
  return true;
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

void board_values(const board_record &b, std::vector<std::string> *texts, std::vector<bool> *null) {
  for (const column &c : COLUMNS) {
    std::string text;
    bool none = false;
    switch (c.is) {
      case kind::text:
        text = b.*c.text;
        none = text.empty();
        break;
      case kind::status:
      case kind::number:
        none = c.is == kind::status && b.*c.number < 0;
        text = none ? "" : std::to_string(b.*c.number);
        break;
      case kind::seconds: {
        char seconds[32];
        snprintf(seconds, sizeof seconds, "%.17g", b.seconds);
        text = seconds;
        break;
      }
      case kind::outcome:
        text = board_outcome_name(b.outcome);
        break;
    }
    texts->push_back(text);
    null->push_back(none);
  }
}

bool board_read(const row_view &r, board_record *b) {
  // Column 0 is the id; a column of the list is one further on.
  b->id = row_number(r, 0);
  bool known = true;
  for (int i = 0; i < COLUMN_COUNT; i++) {
    const column &c = COLUMNS[i];
    int at = i + 1;
    switch (c.is) {
      case kind::text:
        b->*c.text = row_text(r, at);
        break;
      case kind::status:
      case kind::number:
        b->*c.number = c.is == kind::status && row_null(r, at) ? -1 : int(row_number(r, at));
        break;
      case kind::seconds:
        b->seconds = row_real(r, at);
        break;
      case kind::outcome:
        known = board_outcome_from_name(row_text(r, at), &b->outcome);
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
