#include "junit_report.h"

#include "markup_entity.h"

namespace {

void testcase(FILE *out, const char *suite, const std::string &name, const pass_group &g) {
  if (g.passed) {
    fprintf(out, "    <testcase classname=\"korvane.%s\" name=\"%s\"/>\n", suite, name.c_str());
    return;
  }
  std::string words = xml_escaped(g.words);
  fprintf(out,
          "    <testcase classname=\"korvane.%s\" name=\"%s\">\n"
          "      <failure message=\"%s\" type=\"%s\">%s</failure>\n"
          "    </testcase>\n",
          suite, name.c_str(), words.c_str(), verdict_name(g.kind), words.c_str());
}

// A record too long to keep whole: each run kept is one testcase, named
// by its passes, and the passes after the last run one testcase per group.
void collapsed(FILE *out, const char *name, const test_summary &t) {
  unsigned long long pass = 0;
  for (const std::pair<uint32_t, uint32_t> &run : t.runs) {
    unsigned long long first = pass + 1;
    pass += run.second;
    std::string cases = run.second == 1
                            ? "pass " + std::to_string(first)
                            : "passes " + std::to_string(first) + " to " + std::to_string(pass) +
                                  " (" + std::to_string(run.second) + " passes)";
    testcase(out, name, cases, t.groups[run.first]);
  }
  for (size_t g = 0; g < t.later_passes.size(); ++g) {
    if (!t.later_passes[g]) continue;
    testcase(out, name,
             std::to_string(t.later_passes[g]) + (t.later_passes[g] == 1 ? " pass" : " passes") +
                 " after pass " + std::to_string(pass),
             t.groups[g]);
  }
}

void suite(FILE *out, const test_summary &t, const log_ending &ending, test_kind kind) {
  const char *name = board_test_of(kind).title;
  fprintf(out,
          "  <testsuite name=\"%s\" tests=\"%llu\" failures=\"%llu\" errors=\"0\" "
          "skipped=\"0\">\n",
          name, static_cast<unsigned long long>(t.passes),
          static_cast<unsigned long long>(t.failed));
  unsigned long long pass = t.passes;
  if (!t.runs_complete) {
    collapsed(out, name, t);
  } else {
    pass = 0;
    for (const std::pair<uint32_t, uint32_t> &run : t.runs)
      for (uint32_t i = 0; i < run.second; ++i)
        testcase(out, name, "pass " + std::to_string(++pass), t.groups[run.first]);
  }
  if (ending.cut_short_line && ending.cut_short_kind == kind)
    fprintf(out, "    <system-out>pass %llu was cut short at line %lld</system-out>\n", pass + 1,
            ending.cut_short_line);
  fputs("  </testsuite>\n", out);
}

// The passes that could not be read, each an error: the first listed, the
// rest counted.
void unreadable_suite(FILE *out, const log_summary &s) {
  fprintf(out,
          "  <testsuite name=\"unreadable\" tests=\"%zu\" failures=\"0\" errors=\"%zu\" "
          "skipped=\"0\">\n",
          s.unreadable.size(), s.unreadable.size());
  for (const unreadable_pass &u : s.unreadable) {
    std::string reason = xml_escaped(u.reason);
    fprintf(out,
            "    <testcase classname=\"korvane.unreadable\" name=\"line %lld\">\n"
            "      <error message=\"%s\" type=\"unreadable\">%s</error>\n"
            "    </testcase>\n",
            u.line, reason.c_str(), reason.c_str());
  }
  if (s.unreadable_count > s.unreadable.size())
    fprintf(out, "    <system-out>%llu more unreadable passes, not listed</system-out>\n",
            static_cast<unsigned long long>(s.unreadable_count - s.unreadable.size()));
  fputs("  </testsuite>\n", out);
}

}  // namespace

std::string xml_escaped(const std::string &text) {
  std::string out;
  for (unsigned char c : text) {
    if (const char *entity = markup_entity(static_cast<char>(c), "&apos;")) {
      out += entity;
    } else {
      out += (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c >= 0x7F ? '?'
                                                                            : static_cast<char>(c);
    }
  }
  return out;
}

bool write_junit_report(FILE *out, const log_summary &s) {
  unsigned long long tests = s.sdram.passes + s.flash.passes;
  unsigned long long failures = s.sdram.failed + s.flash.failed;
  unsigned long long errors = s.unreadable_count;
  fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", out);
  fprintf(out, "<testsuites name=\"korvane\" tests=\"%llu\" failures=\"%llu\"", tests + errors,
          failures);
  if (errors) fprintf(out, " errors=\"%llu\"", errors);
  fputs(">\n", out);
  if (s.sdram.present) suite(out, s.sdram, s.ending, test_kind::sdram);
  if (s.flash.present) suite(out, s.flash, s.ending, test_kind::flash);
  if (errors) unreadable_suite(out, s);
  fputs("</testsuites>\n", out);
  return fflush(out) == 0 && !ferror(out);
}
