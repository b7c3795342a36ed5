// The records the database does not hold yet, one file each in the journal
// folder beside the boards' logs (LOGS/.journal): written whole and made
// durable before a board's verdict is shown, removed once the database holds
// the record, and read back at the next start when the station ended first.
#pragma once

#include <string>
#include <vector>

#include "station/records/board_record.h"

struct journal_entry {
  std::string path;
  std::string database;  // the database it is for, as journal_write was given it
  long writer = 0;       // the process that wrote it
  board_record board;
};

// LOGS/.journal
std::string journal_folder(const std::string &logs);

// Writes the record, for the database at `database`, as a file of its own in
// folder (made when missing) and sets *path to it.
bool journal_write(const std::string &folder, const std::string &database,
                   const board_record &board, std::string *path, std::string *why);

// Whether the entry is for a station to take up at its start: it is for
// that station's database, and the station that wrote it has ended (two
// stations may share a logs folder).
bool journal_left_over(const journal_entry &entry, const std::string &database);

// The records left in folder, oldest first; a file that holds no record is
// left where it is, and named in *why.
std::vector<journal_entry> journal_read(const std::string &folder, std::string *why);
