// The boards' records committed off the station's loop. A finished board's
// record is first journaled (record_journal.h), durably, then committed in
// order by a thread of its own and tried again until the database takes it:
// a database locked by another program, a full disk or a database file
// deleted under the station stalls no slot and loses no board. The loop asks
// now and then what was committed and why the rest waits.
#pragma once

#include <string>
#include <vector>

#include "station/records/board_record.h"
#include "station/records/station_db.h"

struct record_committer;

// A record the database now holds (board.id set).
struct committed_record {
  long ticket = 0;  // committer_add's, or 0 for one a previous run left
  board_record board;
};

struct committer_news {
  std::vector<committed_record> committed;  // since the last call
  size_t waiting = 0;                       // records not committed yet
  std::string problem;                      // why the oldest of them waits; "" when none does
  std::string journal_problem;              // why a record is kept in memory only; "" when none is
};

// Takes db, opened from db_path, and queues the records a previous run left
// in the journal folder.
record_committer *committer_open(station_db *db, const std::string &db_path,
                                 const std::string &journal);

// Journals the board's record, durably, and queues it; returns its ticket. A
// journal that cannot be written leaves the record in memory only, and
// committer_news says so.
long committer_add(record_committer *c, const board_record &board);

// Tries, on the calling thread, to commit the waiting records in order; stops
// at the first the database refuses.
void committer_try(record_committer *c);

// From now on a thread of its own tries whenever a record is added, and
// retry_s after a refusal.
void committer_run(record_committer *c, double retry_s);

committer_news committer_take(record_committer *c);

// Stops the thread after a last try and closes the database; *last is the
// news since the last committer_take. The records still waiting stay in the
// journal, and are returned.
std::vector<board_record> committer_close(record_committer *c, committer_news *last);
