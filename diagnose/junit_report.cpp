#include "junit_report.h"

namespace {

void suite(FILE *out, const char *name, const test_summary &t, const log_ending &ending,
           test_kind kind) {
  fprintf(out,
          "  <testsuite name=\"%s\" tests=\"%llu\" failures=\"%llu\" errors=\"0\" "
          "skipped=\"0\">\n",
          name, static_cast<unsigned long long>(t.passes),
          static_cast<unsigned long long>(t.failed));
  unsigned long long pass = 0;
  for (const std::pair<uint32_t, uint32_t> &run : t.runs) {
    const pass_group &g = t.groups[run.first];
    std::string words = xml_escaped(g.words);
    for (uint32_t i = 0; i < run.second; ++i) {
      ++pass;
      if (g.passed) {
        fprintf(out, "    <testcase classname=\"korvane.%s\" name=\"pass %llu\"/>\n", name, pass);
        continue;
      }
      fprintf(out,
              "    <testcase classname=\"korvane.%s\" name=\"pass %llu\">\n"
              "      <failure message=\"%s\" type=\"%s\">%s</failure>\n"
              "    </testcase>\n",
              name, pass, words.c_str(), verdict_name(g.kind), words.c_str());
    }
  }
  if (ending.cut_short_line && ending.cut_short_kind == kind)
    fprintf(out, "    <system-out>pass %llu was cut short at line %lld</system-out>\n", pass + 1,
            ending.cut_short_line);
  fputs("  </testsuite>\n", out);
}

}  // namespace

std::string xml_escaped(const std::string &text) {
  std::string out;
  for (unsigned char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c >= 0x7F
                   ? '?'
                   : static_cast<char>(c);
    }
  }
  return out;
}

bool write_junit_report(FILE *out, const log_summary &s) {
  unsigned long long tests = s.sdram.passes + s.flash.passes;
  unsigned long long failures = s.sdram.failed + s.flash.failed;
  fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", out);
  fprintf(out, "<testsuites name=\"korvane\" tests=\"%llu\" failures=\"%llu\">\n", tests, failures);
  if (s.sdram.present) suite(out, "SDRAM", s.sdram, s.ending, test_kind::sdram);
  if (s.flash.present) suite(out, "FLASH", s.flash, s.ending, test_kind::flash);
  fputs("</testsuites>\n", out);
  return fflush(out) == 0 && !ferror(out);
}
