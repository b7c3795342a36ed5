// The run's reports, for CI servers and test-station software: a JSON
// document holding every board's record as the database holds it, and a
// JUnit XML report with one <testsuite> per board. Both are rewritten whole
// after every board, written to a temporary file beside the report and then
// renamed over the old one, so that a reader never sees half a report and a
// station that dies leaves the last whole one.
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
#pragma once

#include <string>
#include <vector>

#include "station/records/board_record.h"

// {"boards": [record...]}, each record as board_record_json gives it.
bool write_run_json(const std::string &path, const std::vector<board_record> &boards,
                    std::string *why);
bool write_run_junit(const std::string &path, const std::vector<board_record> &boards,
                     std::string *why);

// The reports' contents, as the two functions above write them.
std::string run_json_text(const std::vector<board_record> &boards);
std::string run_junit_text(const std::vector<board_record> &boards);
