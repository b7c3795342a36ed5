// The station's database: opened or created from the schema the program
// carries, in WAL mode with synchronous FULL, so that a record committed is
// on disk whatever happens to the station after. Values are always bound,
// never written into the SQL: a serial is stored exactly as it was typed.
#pragma once

#include <string>

#include "station/records/board_record.h"

struct station_db;

// Opens the database at path, creating it and its tables when missing, and
// proves that it can be written. Null with the reason otherwise.
station_db *station_db_open(const std::string &path, std::string *why);

// Commits the board's row and its board_faults rows in one transaction and
// sets board->id, board->uid (unless it has one) and board->release. False
// with the reason, nothing written, otherwise.
bool station_db_commit(station_db *db, board_record *board, std::string *why);

// How long a commit waits for another program's write lock before it fails.
void station_db_busy_wait(station_db *db, int ms);

// Whether the database holds this board's row already: the same station,
// slot, start and log. A record journaled by a station that ended between
// its commit and the journal's tidying is so not committed twice.
bool station_db_holds(station_db *db, const board_record &board, bool *held, std::string *why);
// From now on each commit also enters its record in the outbox
// (outbox_rows.h), in the same transaction, for the line's sender.
void station_db_keep_outbox(station_db *db);

void station_db_close(station_db *db);
