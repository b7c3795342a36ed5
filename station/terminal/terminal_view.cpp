#include "station/terminal/terminal_view.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "korvane/board_tests.h"
#include "station/slots/station_clock.h"

namespace {

const char GREEN[] = "\x1b[32m";
const char RED[] = "\x1b[1;31m";
const char YELLOW[] = "\x1b[33m";
const char MAGENTA[] = "\x1b[1;35m";
const char RESET[] = "\x1b[0m";
// Columns kept for the phase or verdict before the port's column is given up.
const size_t MIN_STATE_WIDTH = 40;

// Cuts or pads text to width columns (the texts are ASCII).
std::string column(const std::string &text, size_t width) {
  if (text.size() > width) return text.substr(0, width - 1) + "~";
  return text + std::string(width - text.size(), ' ');
}

const char *verdict_color(slot_verdict v) {
  switch (v) {
    case slot_verdict::pass:
      return GREEN;
    case slot_verdict::fail:
      return RED;
    case slot_verdict::error:
    case slot_verdict::interrupted:
      return YELLOW;
    case slot_verdict::not_recorded:
      return MAGENTA;
    case slot_verdict::none:
      break;
  }
  return "";
}

}  // namespace

void count_board(station_totals *t, const board_record &board, bool recorded) {
  t->tested++;
  if (!recorded) t->not_recorded++;
  switch (board.outcome) {
    case board_outcome::passed:
      t->passed++;
      break;
    case board_outcome::failed:
      t->failed++;
      break;
    case board_outcome::error:
      t->errors++;
      break;
    case board_outcome::interrupted:
      t->interrupted++;
      break;
  }
}

std::string printable(const std::string &text) {
  std::string out = text;
  for (char &c : out) {
    if ((unsigned char)c < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

std::string event_line(std::time_t utc, const view_event &e) {
  return utc_text(utc) + " " + printable(e.slot.empty() ? "station" : e.slot) + ": " +
         printable(e.text);
}

std::string summary_text(const station_totals &t, double now) {
  char text[256];
  double hours = (now - t.started) / 3600;
  std::string yield = "-";
  if (t.tested) {
    char y[16];
    std::snprintf(y, sizeof y, "%.0f%%", 100.0 * t.passed / t.tested);
    yield = y;
  }
  std::snprintf(text, sizeof text,
                "%d board%s tested, %d passed, %d failed, %d error%s, yield %s, %.1f boards per "
                "hour",
                t.tested, t.tested == 1 ? "" : "s", t.passed, t.failed, t.errors,
                t.errors == 1 ? "" : "s", yield.c_str(), hours > 0 ? t.tested / hours : 0.0);
  std::string out = text;
  if (t.interrupted) out += ", " + std::to_string(t.interrupted) + " interrupted";
  if (t.not_recorded) out += ", " + std::to_string(t.not_recorded) + " NOT RECORDED";
  if (t.slot_errors)
    out += ", " + std::to_string(t.slot_errors) + " slot error" + (t.slot_errors == 1 ? "" : "s");
  return out;
}

std::string elapsed_text(double seconds) {
  long s = seconds > 0 ? (long)seconds : 0;
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  }
  return text;
}

std::string phase_text(const slot_state &s, const cycle_settings &settings, double now) {
  switch (s.phase) {
    case slot_phase::idle:
      return "starting";
    case slot_phase::waiting:
      return "waiting for a board";
    case slot_phase::downloading:
      return "downloading " + std::to_string(s.percent) + "%";
    case slot_phase::stopping:
      return "stopping";
    case slot_phase::port_error:
      return "port error";
    case slot_phase::done:
      return "done";
    case slot_phase::testing:
      break;
  }
  std::string test = board_test_title(s.test);
  std::string pass = std::to_string(s.passes_done + 1);
  if (settings.passes > 0) return test + " pass " + pass + " of " + std::to_string(settings.passes);
  if (settings.minutes > 0) {
    return test + " pass " + pass + ", " + elapsed_text(settings.minutes * 60 - (now - s.started)) +
           " left";
  }
  return "testing " + test;
}

std::vector<std::string> terminal_rows(const std::vector<slot_state> &slots,
                                       const cycle_settings &settings, const station_totals &t,
                                       const std::string &status, double now, bool color,
                                       size_t width) {
  auto cut = [width](const std::string &text) {
    return width && text.size() > width ? text.substr(0, width) : text;
  };
  size_t name_width = 4, port_width = 4;
  for (const slot_state &s : slots) {
    if (s.slot.name.size() > name_width) name_width = s.slot.name.size();
    if (s.slot.port.size() > port_width) port_width = s.slot.port.size();
  }
  if (name_width > 16) name_width = 16;
  if (port_width > 24) port_width = 24;
  const size_t serial_width = 16, time_width = 7;
  // The verdict matters most: on a narrow terminal the port, which the
  // slot's name most often says anyway, makes room for it.
  bool show_port =
      !width ||
      name_width + port_width + serial_width + time_width + 4 * 2 + MIN_STATE_WIDTH <= width;
  auto port_column = [&](const std::string &text) {
    return show_port ? column(text, port_width) + "  " : std::string();
  };
  std::vector<std::string> rows;
  rows.push_back(cut(column("SLOT", name_width) + "  " + port_column("PORT") +
                     column("SERIAL", serial_width) + "  " + column("TIME", time_width) +
                     "  STATE"));
  for (const slot_state &s : slots) {
    double since = s.board_in ? s.started : s.phase_since;
    std::string verdict = s.verdict_text;
    slot_verdict shown = s.verdict;
    if (s.phase == slot_phase::port_error ||
        (s.phase == slot_phase::done && !s.port_message.empty())) {
      verdict = "ERROR " + s.port_message;
      shown = slot_verdict::error;
    }
    std::string row = column(printable(s.slot.name), name_width) + "  " +
                      port_column(printable(s.slot.port)) +
                      column(s.serial.empty() ? "-" : printable(s.serial), serial_width) + "  " +
                      column(elapsed_text(now - since), time_width) + "  ";
    // The phase alone while a board is tested; the last board's verdict
    // first while the slot waits for the next.
    std::string phase = phase_text(s, settings, now);
    if (shown == slot_verdict::none || verdict.empty()) {
      rows.push_back(cut(row + phase));
      continue;
    }
    verdict = printable(verdict);
    std::string after = s.phase == slot_phase::done ? "" : "  (" + phase + ")";
    std::string whole = cut(row + verdict + after);
    if (!color) {
      rows.push_back(whole);
      continue;
    }
    size_t verdict_end = std::min(whole.size(), row.size() + verdict.size());
    rows.push_back(whole.substr(0, row.size()) + verdict_color(shown) +
                   whole.substr(row.size(), verdict_end - row.size()) + RESET +
                   whole.substr(verdict_end));
  }
  rows.push_back(cut(summary_text(t, now)));
  if (!status.empty()) rows.push_back(cut(printable(status)));
  return rows;
}

bool color_wanted(void) {
  const char *no_color = std::getenv("NO_COLOR");
  return !no_color || !*no_color;
}
