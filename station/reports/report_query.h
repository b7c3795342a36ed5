// The station's report gathered from its database: yield first time through
// and after retests, per day and per slot, the faults that keep coming back,
// board times and throughput, the slots to check and the SDRAM lines named
// across boards. The boards are read once, in order of serial and start
// time, and their faults once; everything is summed as the rows go by, so
// memory grows only with the groups (days, slots, faults, board times to
// the tenth of a second), not with the boards; lists are bounded. The same code reads SQLite
// and PostgreSQL (report_db.h).
//
// Principles of operation
// - Every figure is as board_counts defines it (station/records/
//   board_counts.h): a unit is a serial, a board recorded without one a
//   unit of its own; its first cycle with a verdict decides first-pass
//   yield, its last the final yield, within the whole range and within
//   each day and slot alike.
// - An interrupted cycle is the station stopping, not a verdict on the
//   board: it is counted, but left out of yields, times and units.
// - A fault's share is the boards that showed it over the failed boards.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "station/records/board_counts.h"
#include "station/records/board_record.h"
#include "station/reports/report_db.h"
#include "station/reports/bus_lines.h"
#include "station/reports/slot_checks.h"

// Which boards: started at or after since, at or before until (bounds as
// report_bound makes them), at this station; empty means no bound.
struct report_filter {
  std::string since, until, station;
};

// A DATE as the user gives it, YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ, as a
// bound on `started`: a date as an upper bound takes in its whole day.
// False for anything else.
bool report_bound(const std::string &date, bool upper, std::string *bound);

struct report_group {
  std::string name;     // the day (YYYY-MM-DD) or the slot
  std::string station;  // the slot's station; empty for a day
  board_counts counts;
};

struct fault_count {
  std::string test;  // "sdram" or "flash"
  std::string words;
  long long boards = 0;
};

struct retested_serial {
  std::string serial;
  long long cycles = 0;
  std::string first, last;  // the first and last cycle's outcome
};

constexpr size_t REPORT_MAX_RETESTED = 20;
constexpr size_t REPORT_MAX_FAULTS = 50;

struct station_report {
  board_counts total;
  long long retested = 0;
  std::vector<retested_serial> retested_serials;  // the first REPORT_MAX_RETESTED by serial
  std::vector<report_group> days, slots;
  std::vector<report_group> stations;  // the slots summed by station, for the line's report
  std::vector<fault_count> faults;     // most frequent first, up to REPORT_MAX_FAULTS
  long long other_faults = 0;          // distinct faults beyond those
  long long timed = 0;                 // boards whose time counts
  double median_seconds = 0, p95_seconds = 0;
  double running_hours = 0;   // per station and day, first start to last end
  slot_checks checks;         // the slots whose fixture may fail good boards
  bus_line_counts bus_lines;  // how many boards had each SDRAM line named
};

// across_line: each slot's failure rate is also set against every other
// slot of the line (the line's report).
bool report_gather(const report_db &db, const report_filter &filter, bool across_line,
                   station_report *out, std::string *why);

constexpr int REPORT_MAX_FAILED_BOARDS = 100;

// The most recent failed boards, newest first, up to REPORT_MAX_FAILED_BOARDS,
// each handed to each as it is read, its faults with it.
bool report_failed_boards(const report_db &db, const report_filter &filter,
                          const std::function<void(const board_record &)> &each, std::string *why);
