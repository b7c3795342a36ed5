// The run's reports, for CI servers and test-station software: a JSON
// document holding every board's record as the database holds it, and a
// JUnit XML report with one <testsuite> per board. Each board's part is
// written once, when the board is recorded; the report is replaced by a
// copy made whole and durable first, so that a reader never sees half a
// report and a station that dies leaves the last whole one.
//
// JUnit: <testsuites name="korvane-station"> holds, per board, a
// <testsuite> named by the board's serial (or its slot and start time) with
// timestamp (UTC), time, hostname (the station) and the properties serial,
// slot, port, operator, outcome and log; in it a <testcase> per test and
// pass ("SDRAM pass 3"), a failed pass with a <failure> whose message names
// the fault ("data line 5 stuck at 1") and whose type is the diagnosis's
// verdict ("faulty", "unexplained", "not diagnosed"); a board that ended in
// error adds a testcase "korvane" with an <error> giving korvane's message,
// an interrupted one a testcase "board" that is <skipped>.
//
// Both end with the run's counts as board_counts defines them, the same
// figures the terminal, the web page and `report` show: in the JSON a
// member "counts" after the boards, in the JUnit a <properties> after the
// last <testsuite>.
#pragma once

#include <string>
#include <vector>

#include "station/records/board_counts.h"
#include "station/records/board_record.h"

enum class report_kind { json, junit };

// A report being written board by board.
struct run_report;

// Writes the report with no board yet, so that a path that cannot take it
// stops the station before a board is touched. Null with the reason.
run_report *run_report_start(const std::string &path, report_kind kind, std::string *why);

// Adds the board's part, the run's counts now `counts` (the board counted
// in them). False with the reason, the report as it was.
bool run_report_add(run_report *r, const board_record &board, const board_counts &counts,
                    std::string *why);

// The run's counts changed without a board added (boards left not
// recorded at the end, a slot's port lost): the report says so too.
bool run_report_count(run_report *r, const board_counts &counts, std::string *why);

// Leaves the report as it is and frees what writing it took.
void run_report_end(run_report *r);

// {"boards": [record...], "counts": {...}}, each record as board_record_json
// gives it, the counts those of the boards given, all recorded.
bool write_run_json(const std::string &path, const std::vector<board_record> &boards,
                    std::string *why);
bool write_run_junit(const std::string &path, const std::vector<board_record> &boards,
                     std::string *why);

// The reports' contents, as the two functions above write them.
std::string run_json_text(const std::vector<board_record> &boards);
std::string run_junit_text(const std::vector<board_record> &boards);
