// Station databases as the tests write them: the station's own schema, and
// one row per board with its faults, so that each test states its boards
// as a table.
#pragma once

#include <string>
#include <vector>

struct report_fault {
  std::string test, kind, words;
};

struct report_board {
  const char *serial;  // nullptr: recorded without one
  std::string station, slot;
  std::string started;  // UTC, ISO 8601 with a Z; ended is started plus seconds
  double seconds;
  std::string outcome;
  std::vector<report_fault> faults;
  std::string diagnosis_json;  // empty: NULL
  std::string log;
};

// A new database at path holding boards; false with the reason.
bool write_board_database(const std::string &path, const std::vector<report_board> &boards,
                          std::string *why);
