// The diagnosis as a JUnit XML report, as test-station software and CI
// servers read it (korvane-diagnose --junit): one <testsuite> per test in
// the log (named "SDRAM" or "FLASH"), one <testcase> per pass ("pass 1",
// "pass 2", ...), and for a failed pass a <failure> whose message is the
// verdict in words ("data line 5 stuck at 1") and whose type is the
// verdict's name ("faulty", "unexplained", "not diagnosed"). A record of
// passes too long to keep whole (log_summary.h) is written one testcase per
// run of identical passes ("passes 5 to 9 (5 passes)"), and the passes after
// it one per verdict. A pass that could not be read is a <testcase> of its
// test with an <error> (its line and reason); those whose test is not known
// are a <testsuite> "unreadable" of their own.
#pragma once

#include <cstdio>
#include <string>

#include "log_summary.h"

// Text made safe for an XML attribute or element: the five markup
// characters as entities, and characters XML 1.0 cannot hold as "?".
std::string xml_escaped(const std::string &text);

// Writes the report; needs the pass-by-pass record (keep_passes). False
// when the stream failed.
bool write_junit_report(FILE *out, const log_summary &summary);
