// A board's failed attempts in the station's own records, for the retest
// limit: a board that failed N times is sent to rework rather than tested
// again by an operator who does not know its past. The records are read
// through a connection of their own, read-only, beside the one that writes.
#pragma once

#include <string>
#include <vector>

#include <sqlite3.h>

#include "station/records/station_database.h"

struct failed_attempts {
  long long count = 0;     // cycles of the serial that ended failed
  std::string last_fault;  // the first fault named by the last of them, "" for none
};

// One failed attempt: its record's uid, start and first fault.
struct failed_attempt {
  std::string uid, started, fault;
};

// Opens the database at path read-only; null with the reason.
db_handle failed_attempts_open(const std::string &path, std::string *why);

// The serial's failed attempts; false with SQLite's reason.
bool failed_attempts_of(sqlite3 *db, const std::string &serial, failed_attempts *out,
                        std::string *why);

// The serial's failed attempts whose records still wait in the outbox for
// the line server, which does not count them yet; false with SQLite's reason.
bool failed_attempts_unsent(sqlite3 *db, const std::string &serial,
                            std::vector<failed_attempt> *out, std::string *why);

// "KV-0007 failed 3 times (data line 5 stuck at 1); send it to rework".
std::string hold_reason(const std::string &serial, const failed_attempts &attempts);
