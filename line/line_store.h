// The line's database: a SQLite file (the default) or a PostgreSQL server
// (a connection string, postgresql://... or libpq's key=value form), with
// the same `boards` and `board_faults` tables as a station's, plus each
// record's `uid` (unique), `received` (the server's UTC time) and
// `content_hash`. A record is stored once: the same uid again is a retry
// when its content is the same and a clash when it is not.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "line/line_ingest.h"

struct line_store;

// Whether text names a PostgreSQL database rather than a file.
bool line_store_is_postgres(const std::string &db);

// Opens (creating the tables when missing). Null with the reason.
line_store *line_store_open(const std::string &db, std::string *why);
void line_store_close(line_store *store);

enum class line_put { stored, same, clash, unavailable };

// Stores the record in one transaction, received at `received`. Safe from
// any thread. `unavailable` (with the reason) when the database cannot take
// it now: nothing was stored.
line_put line_store_put(line_store *store, const line_record &record, const std::string &received,
                        std::string *why);

struct line_day_counts {
  long long tested = 0, passed = 0, failed = 0;
};

// Each station's boards started at or after `since` (interrupted ones
// aside), for the line page's yield of the day.
bool line_store_day(line_store *store, const std::string &since,
                    std::map<std::string, line_day_counts> *out, std::string *why);

// Adds n boards of station with that outcome to the day's counts.
void line_day_add(std::map<std::string, line_day_counts> *out, const std::string &station,
                  const std::string &outcome, long long n);

// One attempt of a serial as the stations ask for it: where and when it was
// tested, how it ended and the first fault it named ("data line 5 stuck at
// 1", "flash: ..."; "" for none).
struct line_attempt {
  std::string uid, station, slot, started, ended, outcome, fault;
};

// How many of a serial's attempts an answer lists, the newest first; the
// counts are over all of them.
constexpr int LINE_ATTEMPTS_LISTED = 100;

struct line_serial_attempts {
  long long total = 0;   // every attempt the line holds of the serial
  long long failed = 0;  // of those, the ones that ended failed
  std::vector<line_attempt> newest;
};

// The serial's attempts across the line; false with the reason when the
// database cannot be read now.
bool line_store_serial(line_store *store, const std::string &serial, line_serial_attempts *out,
                       std::string *why);
