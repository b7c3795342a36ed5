#include "station/reports/report_format.h"

#include <cstdio>

#include "station/reports/csv_row.h"
#include "station/reports/slot_checks_format.h"

namespace {

std::string number(long long n) { return std::to_string(n); }

// "1 board", "2 boards".
std::string counted(long long n, const char *noun) {
  return number(n) + " " + noun + (n == 1 ? "" : "s");
}

double share_percent(long long part, long long whole) {
  return whole > 0 ? 100.0 * double(part) / double(whole) : 0;
}

// A group's counts, as board_counts says them everywhere.
std::string counts_words(const board_counts &c) {
  std::string out;
  for (const std::string &part : board_counts_words(c)) out += (out.empty() ? "" : ", ") + part;
  return out;
}

std::string fault_name(const fault_count &f) {
  return f.test == "flash" ? "flash: " + f.words : f.words;
}

void csv_counts(std::string *out, const char *section, const report_group &g) {
  const board_counts &c = g.counts;
  const std::pair<const char *, long long> figures[] = {
      {"boards", c.tested}, {"passed", c.passed},           {"failed", c.failed},
      {"errors", c.errors}, {"interrupted", c.interrupted}, {"units", c.units}};
  for (const auto &f : figures)
    *out += csv_row({section, g.name, g.station, f.first, number(f.second)});
  const std::pair<const char *, double> yields[] = {
      {"first_pass_yield_percent", first_pass_yield(c)}, {"final_yield_percent", final_yield(c)}};
  for (const auto &y : yields) {
    if (y.second >= 0)
      *out += csv_row({section, g.name, g.station, y.first, fixed_text(y.second, 1)});
  }
}

}  // namespace

std::string fixed_text(double value, int decimals) {
  char text[64];
  snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string percent_text(double percent) { return fixed_text(percent, 1) + "%"; }

std::string report_text(const station_report &r, bool per_station) {
  const board_counts &t = r.total;
  std::string out = "Boards tested: " + number(t.tested) + " (passed " + number(t.passed) +
                    ", failed " + number(t.failed) + ", errors " + number(t.errors) +
                    ", interrupted " + number(t.interrupted) + ")\n";
  if (t.units) {
    out += "First-pass yield: " + yield_text(first_pass_yield(t)) + " (" + number(t.first_passed) +
           " of " + number(t.units) + " boards)\n";
    out += "Final yield: " + yield_text(final_yield(t)) + " (" + number(t.final_passed) + " of " +
           number(t.units) + " boards)\n";
  } else {
    out += "First-pass yield: no board with a verdict\nFinal yield: no board with a verdict\n";
  }
  out += "Retested: " + counted(r.retested, "serial") + "\n";
  for (const retested_serial &s : r.retested_serials)
    out += "  " + s.serial + ": " + number(s.cycles) + " cycles, first " + s.first + ", last " +
           s.last + "\n";
  if (r.retested > (long long)r.retested_serials.size())
    out += "  and " + number(r.retested - (long long)r.retested_serials.size()) + " more\n";
  out += "Yield per day:\n";
  if (r.days.empty()) out += "  none\n";
  for (const report_group &g : r.days) out += "  " + g.name + ": " + counts_words(g.counts) + "\n";
  if (per_station) {
    out += "Yield per station:\n";
    if (r.stations.empty()) out += "  none\n";
    for (const report_group &g : r.stations)
      out += "  " + g.name + ": " + counts_words(g.counts) + "\n";
  }
  out += "Yield per slot:\n";
  if (r.slots.empty()) out += "  none\n";
  for (const report_group &g : r.slots)
    out += "  " + g.station + " " + g.name + ": " + counts_words(g.counts) + "\n";
  out += slot_checks_text(r.checks);
  out += "Faults, most frequent first:\n";
  if (r.faults.empty()) out += "  none\n";
  for (const fault_count &f : r.faults)
    out += "  " + fault_name(f) + ": " + counted(f.boards, "board") + ", " +
           fixed_text(share_percent(f.boards, t.failed), 0) + "% of failures\n";
  if (r.other_faults) out += "  and " + counted(r.other_faults, "other fault") + "\n";
  if (r.timed) {
    out += "Board time: median " + fixed_text(r.median_seconds, 1) + " s, 95th percentile " +
           fixed_text(r.p95_seconds, 1) + " s\n";
  } else {
    out += "Board time: no board with a verdict\n";
  }
  if (r.running_hours > 0) {
    out += "Boards per hour: " + fixed_text(double(t.tested) / r.running_hours, 1) + " (" +
           number(t.tested) + " boards over " + fixed_text(r.running_hours, 1) +
           " hours of running)\n";
  } else {
    out += "Boards per hour: no time running\n";
  }
  return out;
}

std::string report_csv(const station_report &r, bool per_station) {
  std::string out = csv_row({"section", "name", "station", "measure", "value"});
  report_group total;
  total.counts = r.total;
  csv_counts(&out, "total", total);
  const std::pair<const char *, long long> yields[] = {{"first_pass", r.total.first_passed},
                                                       {"final", r.total.final_passed}};
  for (const auto &y : yields) {
    out += csv_row({"yield", y.first, "", "passed", number(y.second)});
    out += csv_row({"yield", y.first, "", "boards", number(r.total.units)});
    out += csv_row(
        {"yield", y.first, "", "percent", fixed_text(share_percent(y.second, r.total.units), 1)});
  }
  out += csv_row({"retested", "", "", "serials", number(r.retested)});
  for (const retested_serial &s : r.retested_serials) {
    out += csv_row({"retested", s.serial, "", "cycles", number(s.cycles)});
    out += csv_row({"retested", s.serial, "", "first", s.first});
    out += csv_row({"retested", s.serial, "", "last", s.last});
  }
  for (const report_group &g : r.days) csv_counts(&out, "day", g);
  if (per_station) {
    for (const report_group &g : r.stations) csv_counts(&out, "station", g);
  }
  for (const report_group &g : r.slots) csv_counts(&out, "slot", g);
  out += slot_checks_csv(r.checks);
  for (const fault_count &f : r.faults) {
    out += csv_row({"fault", f.words, "", "test", f.test});
    out += csv_row({"fault", f.words, "", "boards", number(f.boards)});
    out += csv_row({"fault", f.words, "", "share_percent",
                    fixed_text(share_percent(f.boards, r.total.failed), 1)});
  }
  if (r.other_faults) out += csv_row({"fault", "", "", "other_faults", number(r.other_faults)});
  if (r.timed) {
    out += csv_row({"time", "median", "", "seconds", fixed_text(r.median_seconds, 1)});
    out += csv_row({"time", "p95", "", "seconds", fixed_text(r.p95_seconds, 1)});
  }
  out += csv_row({"throughput", "", "", "running_hours", fixed_text(r.running_hours, 2)});
  if (r.running_hours > 0)
    out += csv_row({"throughput", "", "", "boards_per_hour",
                    fixed_text(double(r.total.tested) / r.running_hours, 1)});
  return out;
}
