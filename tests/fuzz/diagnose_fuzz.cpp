// korvane-diagnose's reader, parser and reports over arbitrary text. A log
// either parses, and then its text report has one line per test kind (and
// the advice for a log without trace lines), its counts add up, its JSON
// and JUnit reports are written, and every traced SDRAM test's trace,
// printed again from the reads parsed, is in the input; or it is refused
// with a message that names a line of the input. The pair search is left
// out: it parses nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "invariant.h"
#include "json_report.h"
#include "junit_report.h"
#include "log_summary.h"
#include "report.h"
#include "sdram_walk.h"

namespace {

// Every traced SDRAM test's trace, checked against the input as it is read.
struct check_context {
  log_summary *summary;
  const std::string *lf_text;
};

std::string without_cr(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
  return s;
}

// The text with its line ends made LF as the reader takes them: a run of
// CRs before an LF is part of that line end, and one before anything else
// is a line end of its own.
std::string as_lf(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\r') {
      out += s[i];
      continue;
    }
    size_t end = i;
    while (end < s.size() && s[end] == '\r') ++end;
    if (end == s.size() || s[end] != '\n') out += '\n';
    i = end - 1;
  }
  return out;
}

bool check_and_add(void *context, const test_record &t, std::string *why) {
  check_context *c = static_cast<check_context *>(context);
  // The reader takes a line with any number of CRs before its LF, or none
  // (a log converted to LF line ends), or CRs alone, so the comparison is
  // made on LF line ends.
  if (t.traced && t.kind == test_kind::sdram &&
      c->lf_text->find(without_cr(sdram_trace(t.sdram))) == std::string::npos)
    fail("the trace printed again from its reads is not in the log");
  return summary_add(c->summary, t, why);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);
  const std::string lf_text = as_lf(text);
  static line_reader in;
  in = line_reader{};
  line_reader_open_text(&in, &text);
  log_summary summary;
  summary.try_pairs = false;
  summary.keep_passes = true;
  check_context context = {&summary, &lf_text};
  std::string why;
  if (!parse_log(&in, check_and_add, &context, &summary.ending, &why)) {
    size_t lines = 1;
    for (char c : lf_text) lines += c == '\n';
    size_t line = 0;
    if (sscanf(why.c_str(), "line %zu: ", &line) != 1 || line < 1 || line > lines)
      fail("error names no line of the input");
    return 0;
  }
  if (!summary.sdram.present && !summary.flash.present) fail("a log without tests was accepted");
  for (const test_summary *t : {&summary.sdram, &summary.flash}) {
    uint64_t grouped = 0;
    for (const pass_group &g : t->groups) grouped += g.passes;
    if (grouped != t->passes || t->failed > t->passes) fail("counts do not add up");
    if (t->present && t->unreadable && test_verdict(*t) == verdict::sound)
      fail("a test with unreadable passes called sound");
  }
  if (summary.unreadable_count && summary_status(summary) == 0)
    fail("unreadable passes with the status of a sound board");
  if (summary.unreadable.size() > summary.unreadable_count ||
      summary.unreadable.size() > MAX_UNREADABLE_LISTED)
    fail("more unreadable passes listed than counted");
  std::string report = diagnosis_report(summary);
  if (report.empty() || report.back() != '\n') fail("report does not end in a line break");
  for (size_t at = 0; at < report.size(); at = report.find('\n', at) + 1)
    if (report.compare(at, 7, "SDRAM: ") != 0 && report.compare(at, 7, "FLASH: ") != 0 &&
        report.compare(at, 12, "Unreadable: ") != 0 &&
        report.compare(at, std::string::npos, NO_TRACE_ADVICE) != 0)
      fail("report line of neither test");
  std::string json = json_report(summary);
  if (json.empty() || json[0] != '{') fail("no JSON object");
  FILE *sink = fopen("/dev/null", "w");
  if (sink) {
    if (!write_junit_report(sink, summary)) fail("JUnit report not written");
    fclose(sink);
  }
  return 0;
}
