// One board's cycle at a station, as it is stored in the `boards` table and
// written to the run's JSON and JUnit reports: which board, where, when, how
// long, and what was broken. The table's columns are a stable interface
// (documented in korvane-station(1)); this record mirrors them one to one.
#pragma once

#include <string>
#include <vector>

// How a board's cycle ended.
enum class board_outcome { passed, failed, error, interrupted };

// One fault the diagnosis named for a board, one row of `board_faults`: the
// test ("sdram" or "flash"), the kind as the diagnosis's JSON gives it
// ("data_stuck", "address_short", ..., a flash check's name, or "one_of" for
// an ambiguity set) and its words as the text report says them.
struct board_fault {
  std::string test;
  std::string kind;
  std::string words;
};

struct board_record {
  long long id = 0;    // the row's id once committed, 0 before
  std::string serial;  // empty: none (NULL in the table)
  std::string slot;
  std::string port;
  std::string station;
  std::string operator_name;  // empty: none (NULL in the table)
  std::string started;        // UTC, ISO 8601 with a Z: 2026-12-09T11:22:12Z
  std::string ended;
  double seconds = 0;
  board_outcome outcome = board_outcome::error;
  int sdram_passes = 0;  // complete passes that ran the SDRAM test
  int sdram_failed = 0;  // of those, how many failed
  int flash_passes = 0;
  int flash_failed = 0;
  std::string diagnosis;       // the diagnosis's text report
  std::string diagnosis_json;  // the diagnosis's JSON document
  int korvane_status = -1;     // korvane's exit status; -1: none (NULL)
  std::string message;         // korvane's error line, for an error
  std::string log;             // the path of the board's log
  std::string uid;             // a random UUID, unique across the line; made at commit
  std::string release;         // the station's release, as --version prints it
  // With --max-attempts, where the serial's failed attempts were counted:
  // "line" (the line server's records), "station" (the station's own: no
  // --line, or the line did not answer); empty when nothing was counted.
  std::string attempts_checked;
  std::vector<board_fault> faults;
  // Not in the table, for the run's JUnit report: each complete pass of a
  // test, in order, true where it failed, as the slot saw them end.
  std::vector<bool> sdram_pass_failed, flash_pass_failed;
};

// The words stored in `outcome`, from one table: "passed", "failed",
// "error", "interrupted".
const char *board_outcome_name(board_outcome outcome);
// The outcome a word names; false for any other word.
bool board_outcome_from_name(const std::string &word, board_outcome *outcome);
// The word as an SQL literal, for a query: 'passed'.
std::string board_outcome_sql(board_outcome outcome);
