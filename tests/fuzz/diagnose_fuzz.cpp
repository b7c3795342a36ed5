// korvane-diagnose's log parser and report over arbitrary text. A log either
// parses, and then its report has one line per test kind and every traced
// SDRAM test's trace, printed again from the reads parsed, is in the input;
// or it is refused with a message that names a line of the input. The pair
// search is left out: it costs a tenth of a second and parses nothing.
#include <algorithm>
#include <cstdint>
#include <string>

#include "invariant.h"
#include "log_parser.h"
#include "report.h"
#include "sdram_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);
  log_contents log;
  log_error err;
  if (!parse_log(text, &log, &err)) {
    size_t lines = 1;
    for (char c : text) lines += c == '\n';
    if (err.line < 1 || static_cast<size_t>(err.line) > lines)
      fail("error names no line of the input");
    if (err.message.rfind("line " + std::to_string(err.line) + ": ", 0) != 0)
      fail("error message does not start with its line");
    return 0;
  }
  if (log.tests.empty()) fail("a log without tests was accepted");
  std::string report = diagnosis_report(log, false);
  if (report.empty() || report.back() != '\n') fail("report does not end in a line break");
  if (report != NO_TRACE_ADVICE) {
    for (size_t at = 0; at < report.size(); at = report.find('\n', at) + 1)
      if (report.compare(at, 7, "SDRAM: ") != 0 && report.compare(at, 7, "FLASH: ") != 0)
        fail("report line of neither test");
  }
  // The parser takes a line with any number of CRs before its LF, or none
  // (a log converted to LF line ends), so the comparison leaves CRs out.
  auto without_cr = [](std::string s) {
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
  };
  const std::string lf_text = without_cr(text);
  for (const test_record &t : log.tests)
    if (t.traced && t.kind == test_kind::sdram &&
        lf_text.find(without_cr(sdram_trace(t.sdram))) == std::string::npos)
      fail("the trace printed again from its reads is not in the log");
  return 0;
}
