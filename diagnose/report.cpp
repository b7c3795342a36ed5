#include "report.h"

const char NO_TRACE_ADVICE[] =
    "No trace lines in this log: run korvane with -v (and -l LOGFILE) to name the faulty line.\n";

namespace {

// A continuous run: the passes grouped by their words, in order of first
// appearance; the good ones summed up last.
std::string grouped(const test_summary &t) {
  const char *good = t.traced ? "sound" : "passed";
  if (t.passes == 1) return t.groups[0].words;
  if (t.groups.size() == 1)
    return t.groups[0].words + " in all " + std::to_string(t.passes) + " passes";
  std::string out;
  bool others = false;
  for (const pass_group &g : t.groups) {
    if (g.words == good) {
      others = true;
      continue;
    }
    if (!out.empty()) out += "; ";
    out += g.words + " in " + std::to_string(g.passes) + " of " + std::to_string(t.passes) +
           " passes (";
    for (size_t i = 0; i < g.first_passes.size(); ++i)
      out += (i ? ", " : "") + std::to_string(g.first_passes[i]);
    out += g.passes > g.first_passes.size() ? ", ...)" : ")";
  }
  if (others) out += std::string("; the others ") + good;
  return out;
}

}  // namespace

std::string diagnosis_report(const log_summary &s) {
  std::string out;
  if (s.sdram.present) out += "SDRAM: " + grouped(s.sdram) + "\n";
  if (s.flash.present) out += "FLASH: " + grouped(s.flash) + "\n";
  bool traced = s.sdram.present ? s.sdram.traced : s.flash.traced;
  // With nothing failed there is no faulty line for a trace to name.
  bool failed = s.sdram.failed || s.flash.failed;
  if (!traced && failed) out += NO_TRACE_ADVICE;
  return out;
}

std::string cut_short_note(const log_ending &e) {
  return "the last pass was cut short: its " +
         std::string(e.cut_short_kind == test_kind::sdram ? "SDRAM" : "FLASH") +
         " test, from line " + std::to_string(e.cut_short_line) + ", is left out";
}
