#include "report.h"

const char NO_TRACE_ADVICE[] =
    "No trace lines in this log: run korvane with -v (and -l LOGFILE) to name the faulty line.\n";

namespace {

// Verdicts a continuous run's line lists; the passes of the rest are counted.
constexpr size_t MAX_VERDICTS_LISTED = 20;
// Unreadable passes the report names with their reasons.
constexpr size_t MAX_UNREADABLE_NAMED = 3;

}  // namespace

// A continuous run: the passes grouped by their words, in order of first
// appearance; the good ones summed up last.
std::string test_words(const test_summary &t) {
  const char *good = t.traced ? "sound" : "passed";
  const uint64_t all = t.passes + t.unreadable;
  const std::string of_all = " of " + std::to_string(all) + " passes";
  // What cannot be read may hide a failure: no pass stands for it.
  if (t.passes == 0)
    return all == 1 ? "no verdict: its only pass is unreadable"
                    : "no verdict: none of its " + std::to_string(all) + " passes can be read";
  const std::string unreadable = std::to_string(t.unreadable) + " unreadable";
  if (t.unreadable && t.groups.size() == 1)
    return t.groups[0].words + " in " + std::to_string(t.passes) + of_all + ", " + unreadable;
  if (t.passes == 1) return t.groups[0].words;
  if (t.groups.size() == 1)
    return t.groups[0].words + " in all " + std::to_string(t.passes) + " passes";
  std::string out;
  bool others = false;
  size_t listed = 0;
  uint64_t unlisted = 0;
  for (const pass_group &g : t.groups) {
    if (g.words == good) {
      others = true;
      continue;
    }
    if (listed == MAX_VERDICTS_LISTED || g.words == OTHER_VERDICTS) {
      unlisted += g.passes;
      continue;
    }
    ++listed;
    if (!out.empty()) out += "; ";
    out += g.words + " in " + std::to_string(g.passes) + of_all + " (";
    for (size_t i = 0; i < g.first_passes.size(); ++i)
      out += (i ? ", " : "") + std::to_string(g.first_passes[i]);
    out += g.passes > g.first_passes.size() ? ", ...)" : ")";
  }
  if (unlisted) out += "; other verdicts, not listed, in " + std::to_string(unlisted) + of_all;
  if (t.unreadable) out += "; " + unreadable;
  if (others) out += std::string("; the others ") + good;
  return out;
}

std::string diagnosis_report(const log_summary &s) {
  std::string out;
  const std::pair<board_test, const test_summary *> tests[] = {{board_test::sdram, &s.sdram},
                                                               {board_test::flash, &s.flash}};
  for (const auto &t : tests)
    if (t.second->present)
      out += std::string(board_test_of(t.first).title) + ": " + test_words(*t.second) + "\n";
  bool traced = summary_traced(s);
  if (s.unreadable_count) {
    out += "Unreadable: " + std::to_string(s.unreadable_count) +
           (s.unreadable_count == 1 ? " pass" : " passes") + ", left out (";
    for (size_t i = 0; i < s.unreadable.size() && i < MAX_UNREADABLE_NAMED; ++i)
      out += (i ? "; " : "") + std::string("line ") + std::to_string(s.unreadable[i].line) + ": " +
             s.unreadable[i].reason;
    out += s.unreadable_count > MAX_UNREADABLE_NAMED ? "; ...)\n" : ")\n";
  }
  // With nothing failed there is no faulty line for a trace to name.
  bool failed = s.sdram.failed || s.flash.failed;
  if (!traced && failed) out += NO_TRACE_ADVICE;
  return out;
}

std::string cut_short_note(const log_ending &e) {
  return std::string("the last pass was cut short: its ") + board_test_of(e.cut_short_kind).title +
         " test, from line " + std::to_string(e.cut_short_line) + ", is left out";
}
