// The station's outbox in its database: one entry per record that waits for
// the line server. The entry is written in the same transaction as its
// board's row, so a record committed is a record that will be sent, however
// the station ends; it is removed once the line acknowledged the record, and
// parked with the line's reason when the line refused it.
#pragma once

#include <string>

#include <sqlite3.h>

#include "station/records/station_database.h"

// The statements below, prepared at the first call that is given them and
// kept for the connection's life, for the sender that runs them for every
// record. Without them each call prepares its own.
struct outbox_statements {
  db_statement next, ack, park, count;
};

// Adds board_id's entry; queued is the commit's UTC time. Only inside the
// transaction that writes the board's row.
bool outbox_add(sqlite3 *db, long long board_id, const std::string &queued, std::string *why);

// The oldest waiting entry's board id, 0 when none waits.
bool outbox_next(sqlite3 *db, long long *board_id, std::string *why,
                 outbox_statements *kept = nullptr);

// The line acknowledged the record: its entry goes.
bool outbox_ack(sqlite3 *db, long long board_id, std::string *why,
                outbox_statements *kept = nullptr);

// The line refused the record for good: its entry stays, parked, with why.
bool outbox_park(sqlite3 *db, long long board_id, const std::string &reason, std::string *why,
                 outbox_statements *kept = nullptr);

struct outbox_counts {
  long long waiting = 0;
  std::string oldest;  // the oldest waiting entry's queued time, "" when none waits
  long long parked = 0;
  std::string last_reason;  // the newest parked entry's reason
};

bool outbox_count(sqlite3 *db, outbox_counts *out, std::string *why,
                  outbox_statements *kept = nullptr);
