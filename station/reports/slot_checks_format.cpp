#include "station/reports/slot_checks_format.h"

#include <algorithm>
#include <cstdio>

#include "bus_drawing.h"
#include "station/reports/csv_row.h"
#include "station/reports/report_format.h"

namespace {

std::string number(long long n) { return std::to_string(n); }

double rate_percent(long long part, long long whole) {
  return whole > 0 ? 100.0 * double(part) / double(whole) : 0;
}

std::string slot_name(const std::string &station, const std::string &slot) {
  return station + " " + slot;
}

// What the section says of a flagged slot, after its name.
std::string check_words(const slot_check &c) {
  const slot_tally &t = c.slot;
  std::string out;
  if (c.moves_flag)
    out += number(t.moves) + (t.moves == 1 ? " board" : " boards") +
           " failed here and passed on another slot; ";
  out += number(t.failures) + " of " + number(t.boards) + " boards failed";
  if (c.tested)
    out += ", the station's other slots " + number(c.others_failures) + " of " +
           number(c.others_boards) + " (" +
           percent_text(rate_percent(c.others_failures, c.others_boards)) + "), p = " + p_text(c.p);
  if (c.line_tested)
    out += ", the line's other slots " + number(c.line_failures) + " of " + number(c.line_boards) +
           " (" + percent_text(rate_percent(c.line_failures, c.line_boards)) +
           "), p = " + p_text(c.line_p);
  if (!t.fault.empty())
    out += "; most named: " + t.fault + " (" + number(t.fault_boards) +
           (t.fault_boards == 1 ? " board)" : " boards)");
  return out;
}

// "rate", "line-rate", "retests", or those that hold joined by '+'.
std::string flag_name(const slot_check &c) {
  std::string out;
  const std::pair<bool, const char *> flags[] = {
      {c.rate_flag, "rate"}, {c.line_flag, "line-rate"}, {c.moves_flag, "retests"}};
  for (const auto &f : flags)
    if (f.first) out += (out.empty() ? "" : "+") + std::string(f.second);
  return out;
}

// Whose other slots a slot is set against.
const char *others_words(const slot_checks &checks) {
  return checks.across_line ? "the station's or the line's other slots"
                            : "the station's other slots";
}

// The rule, for the page.
std::string rule_words(const slot_checks &checks) {
  return std::string("A slot is flagged when more of its boards failed than ") +
         (checks.across_line ? "the station's other slots' rate, or the line's, "
                             : "the station's other slots' rate ") +
         "explains at p < " + p_text(SLOT_CHECK_P) + " (one-sided Fisher's exact test), or when " +
         number(SLOT_CHECK_MIN_MOVES) +
         " boards or more failed on it and then passed on another slot. It takes " +
         number(SLOT_CHECK_MIN_BOARDS) + " boards on a slot, and " + number(SLOT_CHECK_MIN_BOARDS) +
         " on " + others_words(checks) + ", to tell a fixture from chance";
}

std::string left_out_words(const slot_checks &checks) {
  std::string out;
  for (const slot_tally &t : checks.left_out)
    out += (out.empty() ? "" : ", ") + slot_name(t.station, t.slot) + " (" + number(t.boards) +
           (t.boards == 1 ? " board)" : " boards)");
  return out;
}

}  // namespace

std::string p_text(double p) {
  char text[32];
  snprintf(text, sizeof text, "%.2g", p);
  return text;
}

std::string slot_checks_text(const slot_checks &checks) {
  std::string out = "Slots to check:\n";
  if (!checks.slots) return out + "  none\n";
  for (const slot_check &c : checks.flagged)
    out += "  " + slot_name(c.slot.station, c.slot.slot) + ": " + check_words(c) + "\n";
  if (checks.flagged.empty())
    out += "  none stands out (" + number(checks.slots) +
           (checks.slots == 1 ? " slot)\n" : " slots)\n");
  if (!checks.left_out.empty())
    out += "  left out, under " + number(SLOT_CHECK_MIN_BOARDS) + " boards here or on " +
           others_words(checks) + ": " + left_out_words(checks) + "\n";
  return out;
}

std::string slot_checks_csv(const slot_checks &checks) {
  std::string out = csv_row({"slot_check", "", "", "min_boards", number(SLOT_CHECK_MIN_BOARDS)});
  out += csv_row({"slot_check", "", "", "p_below", p_text(SLOT_CHECK_P)});
  for (const slot_check &c : checks.flagged) {
    const slot_tally &t = c.slot;
    std::vector<std::pair<std::string, std::string>> rows = {
        {"flag", flag_name(c)},
        {"boards", number(t.boards)},
        {"failures", number(t.failures)},
        {"failed_here_passed_elsewhere", number(t.moves)}};
    // Each comparison made: the station's other slots, the line's ("line_").
    const struct {
      bool made;
      const char *prefix;
      long long boards, failures;
      double p;
    } against[] = {{c.tested, "", c.others_boards, c.others_failures, c.p},
                   {c.line_tested, "line_", c.line_boards, c.line_failures, c.line_p}};
    for (const auto &a : against) {
      if (!a.made) continue;
      std::string prefix = a.prefix;
      rows.push_back({prefix + "others_boards", number(a.boards)});
      rows.push_back({prefix + "others_failures", number(a.failures)});
      rows.push_back(
          {prefix + "others_percent", fixed_text(rate_percent(a.failures, a.boards), 1)});
      rows.push_back({prefix + "p", p_text(a.p)});
    }
    if (!t.fault.empty()) {
      rows.push_back({"fault", t.fault});
      rows.push_back({"fault_boards", number(t.fault_boards)});
    }
    for (const auto &r : rows) out += csv_row({"slot_check", t.slot, t.station, r.first, r.second});
  }
  for (const slot_tally &t : checks.left_out)
    out += csv_row({"slot_check_left_out", t.slot, t.station, "boards", number(t.boards)});
  return out;
}

// A bar a slot, its height the share of its boards that failed; a flagged
// slot red with a mark above it, a slot left out of the test pale.
std::string slot_checks_html(const slot_checks &checks, const std::vector<report_group> &slots) {
  std::string body = "<p>" + html_escape(rule_words(checks)) + ".</p>\n";
  if (slots.empty()) return body;
  const int height = 120, top = 24, base = top + height;
  int bar = std::max(10, std::min(36, 640 / int(slots.size())));
  int width = 44 + int(slots.size()) * (bar + 6);
  double highest = 0;
  for (const report_group &g : slots)
    highest = std::max(highest, rate_percent(g.counts.failed + g.counts.errors,
                                             g.counts.tested - g.counts.interrupted));
  double scale = highest > 0 ? highest : 100;
  // A slot's name alone is ambiguous across stations.
  bool stations = false;
  for (const report_group &g : slots) stations = stations || g.station != slots[0].station;
  std::string svg = "<svg class=\"slot-chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    number(width) + "\" height=\"" + number(base + 30) +
                    "\" font-family=\"sans-serif\" font-size=\"10\">\n";
  svg += "<text x=\"0\" y=\"" + number(top + 4) + "\">" + fixed_text(scale, 0) +
         "%</text><text x=\"0\" y=\"" + number(base) + "\">0%</text>\n";
  svg += "<line x1=\"40\" y1=\"" + number(base) + "\" x2=\"" + number(width) + "\" y2=\"" +
         number(base) + "\" stroke=\"#555\"/>\n";
  for (size_t i = 0; i < slots.size(); ++i) {
    const report_group &g = slots[i];
    long long boards = g.counts.tested - g.counts.interrupted;
    long long failures = g.counts.failed + g.counts.errors;
    double rate = rate_percent(failures, boards);
    const slot_check *flagged = nullptr;
    for (const slot_check &c : checks.flagged)
      if (c.slot.station == g.station && c.slot.slot == g.name) flagged = &c;
    bool left_out = false;
    for (const slot_tally &t : checks.left_out)
      left_out = left_out || (t.station == g.station && t.slot == g.name);
    int h = int(rate * height / scale + 0.5), x = 44 + int(i) * (bar + 6);
    svg += "<g class=\"slot-bar" + std::string(flagged ? " flagged" : "") + "\" data-station=\"" +
           html_escape(g.station) + "\" data-slot=\"" + html_escape(g.name) + "\" data-boards=\"" +
           number(boards) + "\" data-failures=\"" + number(failures) + "\" data-flag=\"" +
           (flagged    ? flag_name(*flagged)
            : left_out ? std::string("left-out")
                       : std::string()) +
           "\"><title>" + html_escape(slot_name(g.station, g.name)) + ": " + number(failures) +
           " of " + number(boards) + " boards failed" +
           (flagged ? html_escape("; " + check_words(*flagged)) : "") + "</title>";
    svg += "<rect x=\"" + number(x) + "\" y=\"" + number(base - h) + "\" width=\"" + number(bar) +
           "\" height=\"" + number(h) + "\" fill=\"" +
           (flagged    ? "#c22"
            : left_out ? "#ccd"
                       : "#68a") +
           "\"/>";
    if (flagged)
      svg += "<text class=\"check-mark\" x=\"" + number(x + bar / 2) + "\" y=\"" +
             number(base - h - 4) + "\" text-anchor=\"middle\" fill=\"#c22\" font-size=\"14\"" +
             " font-weight=\"bold\">!</text>";
    svg += "<text x=\"" + number(x) + "\" y=\"" + number(base + 12) + "\">" +
           html_escape(stations ? slot_name(g.station, g.name) : g.name) + "</text></g>\n";
  }
  svg += "</svg>\n";
  body += svg + "<ul class=\"slot-checks\">\n";
  for (const slot_check &c : checks.flagged)
    body += "<li class=\"slot-check\">" + html_escape(slot_name(c.slot.station, c.slot.slot)) +
            ": " + html_escape(check_words(c)) + "</li>\n";
  if (checks.flagged.empty()) body += "<li>None stands out.</li>\n";
  body += "</ul>\n";
  if (!checks.left_out.empty())
    body += "<p>Left out: " + html_escape(left_out_words(checks)) + ".</p>\n";
  return body;
}
