#include "line/line_store.h"

#include "line/line_store_backend.h"

const std::vector<std::string> LINE_COLUMNS = {"received", "content_hash"};

board_tables line_board_tables(const char *key, const char *reference) {
  board_tables t;
  t.key = key;
  t.reference = reference;
  t.uid_required = true;
  for (const std::string &c : LINE_COLUMNS) t.more.push_back(c + " TEXT NOT NULL");
  return t;
}

struct line_store {
  line_sqlite *sqlite = nullptr;
  line_postgres *postgres = nullptr;
};

bool line_store_is_postgres(const std::string &db) {
  return db.compare(0, 13, "postgresql://") == 0 || db.compare(0, 11, "postgres://") == 0 ||
         db.find('=') != std::string::npos;
}

line_store *line_store_open(const std::string &db, std::string *why) {
  line_store *store = new line_store;
  if (line_store_is_postgres(db)) {
    store->postgres = line_postgres_open(db, why);
  } else {
    store->sqlite = line_sqlite_open(db, why);
  }
  if (!store->sqlite && !store->postgres) {
    delete store;
    return nullptr;
  }
  return store;
}

void line_store_close(line_store *store) {
  if (!store) return;
  line_sqlite_close(store->sqlite);
  line_postgres_close(store->postgres);
  delete store;
}

line_put line_store_put(line_store *store, const line_record &record, const std::string &received,
                        std::string *why) {
  return store->sqlite ? line_sqlite_put(store->sqlite, record, received, why)
                       : line_postgres_put(store->postgres, record, received, why);
}

bool line_store_day(line_store *store, const std::string &since,
                    std::map<std::string, line_day_counts> *out, std::string *why) {
  return store->sqlite ? line_sqlite_day(store->sqlite, since, out, why)
                       : line_postgres_day(store->postgres, since, out, why);
}

bool line_store_serial(line_store *store, const std::string &serial, line_serial_attempts *out,
                       std::string *why) {
  *out = line_serial_attempts();
  return store->sqlite ? line_sqlite_serial(store->sqlite, serial, out, why)
                       : line_postgres_serial(store->postgres, serial, out, why);
}

void line_day_add(std::map<std::string, line_day_counts> *out, const std::string &station,
                  const std::string &outcome, long long n) {
  if (outcome == "interrupted") return;
  line_day_counts &c = (*out)[station];
  c.tested += n;
  if (outcome == "passed") c.passed += n;
  if (outcome == "failed") c.failed += n;
}
