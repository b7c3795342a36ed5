#include "station/reports/html_report.h"

#include <algorithm>

#include "bus_drawing.h"
#include "station/reports/history_format.h"
#include "station/reports/report_format.h"

namespace {

std::string number(long long n) { return std::to_string(n); }

std::string cell(const std::string &text, bool numeric = false) {
  return std::string(numeric ? "<td class=\"number\">" : "<td>") + html_escape(text) + "</td>";
}

std::string attribute(const char *name, const std::string &value) {
  return std::string(" ") + name + "=\"" + html_escape(value) + "\"";
}

// "1 of 3 passes failed", "its one pass failed", "no pass".
std::string failed_passes(long long failed, long long passes) {
  if (passes == 0) return "no pass";
  if (passes == 1) return failed ? "its one pass failed" : "its one pass passed";
  return number(failed) + " of " + number(passes) + " passes failed";
}

// Bars of each day's yield, 0 to 100%, the day and its failures beneath.
std::string yield_chart(const std::vector<report_group> &days) {
  if (days.empty()) return "<p>No boards in this range.</p>\n";
  const int height = 160, top = 20, base = top + height;
  int bar = std::max(8, std::min(48, 720 / int(days.size())));
  int width = 40 + int(days.size()) * (bar + 4);
  std::string svg = "<svg class=\"yield-chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    number(width) + "\" height=\"" + number(base + 40) +
                    "\" font-family=\"sans-serif\" font-size=\"10\">\n";
  svg += "<line x1=\"36\" y1=\"" + number(base) + "\" x2=\"" + number(width) + "\" y2=\"" +
         number(base) + "\" stroke=\"#555\"/>";
  svg += "<text x=\"0\" y=\"" + number(top + 4) + "\">100%</text><text x=\"0\" y=\"" +
         number(base) + "\">0%</text>\n";
  for (size_t i = 0; i < days.size(); ++i) {
    const report_group &d = days[i];
    double y = std::max(0.0, first_pass_yield(d.counts));
    int h = int(y * height / 100.0 + 0.5), x = 40 + int(i) * (bar + 4);
    svg += "<g class=\"day\"" + attribute("data-day", d.name) +
           attribute("data-boards", number(d.counts.tested)) +
           attribute("data-failed", number(d.counts.failed)) +
           attribute("data-yield", fixed_text(y, 1)) + "><title>" + html_escape(d.name) + ": " +
           percent_text(y) + " of " + number(d.counts.tested) + " boards</title>";
    svg += "<rect x=\"" + number(x) + "\" y=\"" + number(base - h) + "\" width=\"" + number(bar) +
           "\" height=\"" + number(h) + "\" fill=\"" +
           (d.counts.failed || d.counts.errors ? "#d84" : "#4a4") + "\"/>";
    if (days.size() <= 31) {
      svg += "<text x=\"" + number(x) + "\" y=\"" + number(base - h - 3) + "\">" +
             fixed_text(y, 0) + "%</text>";
      svg += "<text x=\"" + number(x) + "\" y=\"" + number(base + 12) + "\">" +
             html_escape(d.name.substr(5)) + "</text>";
    }
    svg += "</g>\n";
  }
  return svg + "</svg>\n";
}

// One bar a fault, longest first, its length the boards that showed it.
std::string pareto_chart(const station_report &r) {
  if (r.faults.empty()) return "<p>No faults diagnosed.</p>\n";
  long long most = r.faults.front().boards;
  const int label = 330, length = 300, row = 18;
  int height = row * int(r.faults.size()) + 6;
  std::string svg = "<svg class=\"pareto-chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    number(label + length + 140) + "\" height=\"" + number(height) +
                    "\" font-family=\"sans-serif\" font-size=\"11\">\n";
  for (size_t i = 0; i < r.faults.size(); ++i) {
    const fault_count &f = r.faults[i];
    int y = int(i) * row + 2;
    int w = most ? int(double(f.boards) * length / double(most) + 0.5) : 0;
    std::string name = f.test == "flash" ? "flash: " + f.words : f.words;
    double share = r.total.failed ? 100.0 * double(f.boards) / double(r.total.failed) : 0;
    svg += "<g class=\"pareto-bar\"" + attribute("data-fault", name) +
           attribute("data-boards", number(f.boards)) + ">";
    // A long name is cut to fit beside its bar; its title holds it whole.
    std::string shown = name.size() > 56 ? name.substr(0, 55) + "\xE2\x80\xA6" : name;
    svg += "<title>" + html_escape(name) + "</title><text x=\"" + number(label - 6) + "\" y=\"" +
           number(y + 12) + "\" text-anchor=\"end\">" + html_escape(shown) + "</text>";
    svg += "<rect x=\"" + number(label) + "\" y=\"" + number(y) + "\" width=\"" + number(w) +
           "\" height=\"" + number(row - 4) + "\" fill=\"#c44\"/>";
    svg += "<text x=\"" + number(label + w + 6) + "\" y=\"" + number(y + 12) + "\">" +
           number(f.boards) + " (" + fixed_text(share, 0) + "% of failures)</text></g>\n";
  }
  return svg + "</svg>\n";
}

std::string counts_row(const std::string &station, const std::string &name, const board_counts &c) {
  return "<tr" + attribute("data-slot", name) + ">" + cell(station) + cell(name) +
         cell(number(c.tested), true) + cell(number(c.passed), true) +
         cell(number(c.failed), true) + cell(number(c.errors), true) +
         cell(number(c.interrupted), true) + cell(yield_text(first_pass_yield(c)), true) +
         cell(yield_text(final_yield(c)), true) + "</tr>\n";
}

std::string summary_table(const station_report &r) {
  auto row = [](const char *id, const char *name, const std::string &value) {
    return std::string("<tr><th>") + name + "</th><td class=\"number\" id=\"" + id + "\">" +
           html_escape(value) + "</td></tr>\n";
  };
  std::string out = "<table class=\"summary\">\n";
  out += row("boards-tested", "boards tested", number(r.total.tested));
  out += row("boards-passed", "passed", number(r.total.passed));
  out += row("boards-failed", "failed", number(r.total.failed));
  out += row("boards-errors", "errors", number(r.total.errors));
  out += row("boards-interrupted", "interrupted", number(r.total.interrupted));
  out += row("first-pass-yield", "first-pass yield", yield_text(first_pass_yield(r.total)));
  out += row("final-yield", "final yield", yield_text(final_yield(r.total)));
  out += row("retested", "retested serials", number(r.retested));
  if (r.timed) {
    out += row("median-time", "median board time", fixed_text(r.median_seconds, 1) + " s");
    out += row("p95-time", "95th percentile", fixed_text(r.p95_seconds, 1) + " s");
  }
  if (r.running_hours > 0)
    out += row("boards-per-hour", "boards per hour",
               fixed_text(double(r.total.tested) / r.running_hours, 1));
  return out + "</table>\n";
}

// A board's faults in words, then its bus drawn with them and its failed
// flash checks.
std::string board_faults_html(const std::vector<board_fault> &board_faults,
                              const std::string &json) {
  std::string out = "<ul class=\"faults\">\n";
  for (const board_fault &f : board_faults) out += "<li>" + html_escape(f.words) + "</li>\n";
  out += "</ul>\n";
  bus_faults faults;
  std::string why;
  if (json.empty()) return out;
  if (!bus_faults_from_json(json, &faults, &why))
    return out + "<p>The diagnosis cannot be drawn: " + html_escape(why) + ".</p>\n";
  return out + bus_drawing_svg(faults) + flash_checks_html(faults);
}

}  // namespace

std::string html_report_page(const std::string &title, const station_report &r,
                             const std::vector<board_record> &failed) {
  std::string body = "<h1>" + html_escape(title) + "</h1>\n" + summary_table(r);
  if (!r.retested_serials.empty()) {
    body +=
        "<h2>Retested serials</h2>\n<table class=\"retested\"><tr><th>serial</th><th>cycles</th>"
        "<th>first</th><th>last</th></tr>\n";
    for (const retested_serial &s : r.retested_serials)
      body += "<tr>" + cell(s.serial) + cell(number(s.cycles), true) + cell(s.first) +
              cell(s.last) + "</tr>\n";
    body += "</table>\n";
    if (r.retested > (long long)r.retested_serials.size())
      body += "<p>and " + number(r.retested - (long long)r.retested_serials.size()) + " more</p>\n";
  }
  body += "<h2>Yield per day</h2>\n" + yield_chart(r.days);
  body += "<h2>Faults, most frequent first</h2>\n" + pareto_chart(r);
  if (r.other_faults) body += "<p>and " + number(r.other_faults) + " other faults</p>\n";
  body +=
      "<h2>Slots</h2>\n<table class=\"slots\"><tr><th>station</th><th>slot</th><th>boards</th>"
      "<th>passed</th><th>failed</th><th>errors</th><th>interrupted</th><th>first-pass yield</th>"
      "<th>final yield</th></tr>\n";
  for (const report_group &g : r.slots) body += counts_row(g.station, g.name, g.counts);
  body += "</table>\n<h2>Failed boards</h2>\n";
  if (failed.empty()) body += "<p>None.</p>\n";
  if (r.total.failed > (long long)failed.size())
    body += "<p>The " + number((long long)failed.size()) + " most recent of " +
            number(r.total.failed) + ".</p>\n";
  for (const board_record &b : failed) {
    std::string serial = b.serial.empty() ? "(no serial)" : b.serial;
    body += "<section class=\"failed-board\"><h3>" + html_escape(serial) + "</h3>\n<p>slot " +
            html_escape(b.slot) + " at " + html_escape(b.station) + ", started " +
            html_escape(b.started) + ", " + fixed_text(b.seconds, 1) + " s";
    if (!b.log.empty()) body += ", log " + html_escape(b.log);
    body += "</p>\n" + board_faults_html(b.faults, b.diagnosis_json) + "</section>\n";
  }
  return html_page(title, body);
}

std::string html_history_page(const std::string &serial, const std::vector<board_record> &cycles) {
  std::string title = "History of board " + serial;
  std::string body = "<h1>" + html_escape(title) + "</h1>\n<p id=\"cycles\">" +
                     number((long long)cycles.size()) + " cycles, oldest first</p>\n";
  for (const board_record &c : cycles) {
    std::string outcome = board_outcome_name(c.outcome);
    body += "<section class=\"cycle\"" + attribute("data-outcome", outcome) + "><h2 class=\"" +
            html_escape(outcome) + "\">" + html_escape(c.started) + ": " + html_escape(outcome) +
            "</h2>\n<table>\n";
    const std::pair<const char *, std::string> rows[] = {
        {"slot", c.slot},
        {"port", c.port},
        {"station", c.station},
        {"operator", c.operator_name},
        {"ended", c.ended},
        {"time", fixed_text(c.seconds, 1) + " s"},
        {"SDRAM", failed_passes(c.sdram_failed, c.sdram_passes)},
        {"flash", failed_passes(c.flash_failed, c.flash_passes)},
        {"message", c.message},
        {"log", c.log}};
    for (const auto &r : rows)
      if (!r.second.empty())
        body += "<tr><th>" + std::string(r.first) + "</th>" + cell(r.second) + "</tr>\n";
    body += "</table>\n";
    if (!c.faults.empty() || c.outcome == board_outcome::failed)
      body += board_faults_html(c.faults, c.diagnosis_json);
    body += "</section>\n";
  }
  return html_page(title, body);
}
