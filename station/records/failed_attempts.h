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

// The read-only connection and its statements, prepared at their first use
// and kept: a serial is checked for every board, and compiling the queries
// each time cost more than running them.
struct attempts_reader {
  db_handle db;
  db_statement of, unsent;
};

// Opens the database at path read-only; false with the reason.
bool failed_attempts_open(const std::string &path, attempts_reader *reader, std::string *why);

// Closes it, its statements first.
void failed_attempts_close(attempts_reader *reader);

// The serial's failed attempts; false with SQLite's reason.
bool failed_attempts_of(attempts_reader *reader, const std::string &serial, failed_attempts *out,
                        std::string *why);

// The serial's failed attempts whose records still wait in the outbox for
// the line server, which does not count them yet; false with SQLite's reason.
bool failed_attempts_unsent(attempts_reader *reader, const std::string &serial,
                            std::vector<failed_attempt> *out, std::string *why);

// "KV-0007 failed 3 times (data line 5 stuck at 1); send it to rework".
std::string hold_reason(const std::string &serial, const failed_attempts &attempts);
