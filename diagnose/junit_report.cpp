#include "junit_report.h"

#include "markup_entity.h"

namespace {

void error_case(FILE *out, const char *suite, const std::string &name, const std::string &why) {
  std::string reason = xml_escaped(why);
  fprintf(out,
          "    <testcase classname=\"korvane.%s\" name=\"%s\">\n"
          "      <error message=\"%s\" type=\"unreadable\">%s</error>\n"
          "    </testcase>\n",
          suite, name.c_str(), reason.c_str(), reason.c_str());
}

// A test's passes as the log holds them, and what it says of those that
// could not be read.
struct test_passes {
  const char *name;
  const test_summary *t;
  test_kind kind;
  const log_summary *s;
};

// Why pass number `pass` of the test could not be read, as listed.
std::string unreadable_reason(const test_passes &p, uint64_t pass) {
  for (const unreadable_pass &u : p.s->unreadable)
    if (u.kind_known && u.kind == p.kind && u.pass == pass)
      return "line " + std::to_string(u.line) + ": " + u.reason;
  return "the pass cannot be read";
}

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
std::string counted(uint64_t n) { return std::to_string(n) + (n == 1 ? " pass" : " passes"); }

void collapsed(FILE *out, const test_passes &p) {
  const test_summary &t = *p.t;
  unsigned long long pass = 0;
  for (const std::pair<uint32_t, uint32_t> &run : t.runs) {
    unsigned long long first = pass + 1;
    pass += run.second;
    std::string cases = run.second == 1
                            ? "pass " + std::to_string(first)
                            : "passes " + std::to_string(first) + " to " + std::to_string(pass) +
                                  " (" + std::to_string(run.second) + " passes)";
    if (run.first == UNREADABLE_GROUP) {
      error_case(out, p.name, cases,
                 run.second == 1 ? unreadable_reason(p, first) : "the passes cannot be read");
    } else {
      testcase(out, p.name, cases, t.groups[run.first]);
    }
  }
  const std::string after = " after pass " + std::to_string(pass);
  for (size_t g = 0; g < t.later_passes.size(); ++g)
    if (t.later_passes[g]) testcase(out, p.name, counted(t.later_passes[g]) + after, t.groups[g]);
  if (t.later_unreadable)
    error_case(out, p.name, counted(t.later_unreadable) + after, "the passes cannot be read");
}

void suite(FILE *out, const test_passes &p, const log_ending &ending) {
  const test_summary &t = *p.t;
  const char *name = p.name;
  fprintf(out,
          "  <testsuite name=\"%s\" tests=\"%llu\" failures=\"%llu\" errors=\"%llu\" "
          "skipped=\"0\">\n",
          name, static_cast<unsigned long long>(t.passes + t.unreadable),
          static_cast<unsigned long long>(t.failed), static_cast<unsigned long long>(t.unreadable));
  unsigned long long pass = t.passes + t.unreadable;
  if (!t.runs_complete) {
    collapsed(out, p);
  } else {
    pass = 0;
    for (const std::pair<uint32_t, uint32_t> &run : t.runs)
      for (uint32_t i = 0; i < run.second; ++i) {
        std::string number = "pass " + std::to_string(++pass);
        if (run.first == UNREADABLE_GROUP) {
          error_case(out, name, number, unreadable_reason(p, pass));
        } else {
          testcase(out, name, number, t.groups[run.first]);
        }
      }
  }
  if (ending.cut_short_line && ending.cut_short_kind == p.kind)
    fprintf(out, "    <system-out>pass %llu was cut short at line %lld</system-out>\n", pass + 1,
            ending.cut_short_line);
  fputs("  </testsuite>\n", out);
}

// The passes that could not be read and whose test is not known, each an
// error: the first listed, the rest counted.
void unreadable_suite(FILE *out, const log_summary &s, uint64_t count) {
  size_t listed = 0;
  for (const unreadable_pass &u : s.unreadable) listed += !u.kind_known;
  fprintf(out,
          "  <testsuite name=\"unreadable\" tests=\"%zu\" failures=\"0\" errors=\"%zu\" "
          "skipped=\"0\">\n",
          listed, listed);
  for (const unreadable_pass &u : s.unreadable)
    if (!u.kind_known) error_case(out, "unreadable", "line " + std::to_string(u.line), u.reason);
  if (count > listed)
    fprintf(out, "    <system-out>%llu more unreadable passes, not listed</system-out>\n",
            static_cast<unsigned long long>(count - listed));
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
  if (s.sdram.present)
    suite(out, {board_test_of(board_test::sdram).title, &s.sdram, test_kind::sdram, &s}, s.ending);
  if (s.flash.present)
    suite(out, {board_test_of(board_test::flash).title, &s.flash, test_kind::flash, &s}, s.ending);
  // Those whose test is known are in its suite.
  const uint64_t unknown = errors - s.sdram.unreadable - s.flash.unreadable;
  if (unknown) unreadable_suite(out, s, unknown);
  fputs("</testsuites>\n", out);
  return fflush(out) == 0 && !ferror(out);
}
