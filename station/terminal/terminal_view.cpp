#include "station/terminal/terminal_view.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "korvane/board_check_words.h"
#include "station/slots/station_clock.h"

namespace {

const char GREEN[] = "\x1b[32m";
const char RED[] = "\x1b[1;31m";
const char YELLOW[] = "\x1b[33m";
const char MAGENTA[] = "\x1b[1;35m";
const char RESET[] = "\x1b[0m";
// Columns kept for the phase or verdict before the port's column is given up.
const size_t MIN_STATE_WIDTH = 36;
// The widest the name, port and serial columns grow.
const size_t MAX_NAME_WIDTH = 16, MAX_PORT_WIDTH = 16, MAX_SERIAL_WIDTH = 16;
const size_t TIME_WIDTH = 7;

// Cuts or pads text to width columns (the texts are ASCII).
std::string column(const std::string &text, size_t width) {
  if (text.size() > width) return text.substr(0, width - 1) + "~";
  return text + std::string(width - text.size(), ' ');
}

// A port's path differs from the others at its end (/dev/serial/by-path/
// ...-port0 and ...-port1): a long one keeps its end.
std::string port_column(const std::string &text, size_t width) {
  if (text.size() > width) return "~" + text.substr(text.size() - (width - 1));
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
    case slot_verdict::hold:
      return YELLOW;
    case slot_verdict::not_recorded:
      return MAGENTA;
    case slot_verdict::none:
      break;
  }
  return "";
}

// The parts, joined by ", ", on as few rows of width as they fit in.
std::vector<std::string> packed(const std::vector<std::string> &parts, size_t width) {
  std::vector<std::string> rows;
  std::string row;
  for (const std::string &part : parts) {
    if (row.empty()) {
      row = part;
    } else if (!width || row.size() + 2 + part.size() + 1 <= width) {
      row += ", " + part;
    } else {
      rows.push_back(row + ",");
      row = part;
    }
  }
  if (!row.empty()) rows.push_back(row);
  return rows;
}

}  // namespace

void count_board(station_totals *t, const board_record &board, bool recorded) {
  board_counts_add(&t->counts, &t->units, board.serial, board.outcome, recorded);
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

std::vector<std::string> summary_parts(const station_totals &t, double now) {
  std::vector<std::string> parts = board_counts_words(t.counts);
  double hours = (now - t.started) / 3600;
  char rate[64];
  std::snprintf(rate, sizeof rate, "%.1f boards per hour",
                hours > 0 ? double(t.counts.tested) / hours : 0.0);
  parts.push_back(rate);
  return parts;
}

std::string summary_text(const station_totals &t, double now) {
  return packed(summary_parts(t, now), 0)[0];
}

std::vector<std::string> terminal_rows(const std::vector<slot_state> &slots,
                                       const cycle_settings &settings, const station_totals &t,
                                       const std::vector<std::string> &footer, double now,
                                       bool color, terminal_size size) {
  size_t width = size.columns;
  auto cut = [width](const std::string &text) {
    return width && text.size() > width ? text.substr(0, width) : text;
  };
  std::vector<slot_shown> shown;
  size_t name_width = 4, port_width = 4, serial_width = 6;
  for (const slot_state &s : slots) {
    shown.push_back(show_slot(s, settings, now));
    name_width = std::max(name_width, s.slot.name.size());
    port_width = std::max(port_width, s.slot.port.size());
    serial_width = std::max(serial_width, shown.back().serial.size());
  }
  name_width = std::min(name_width, MAX_NAME_WIDTH);
  port_width = std::min(port_width, MAX_PORT_WIDTH);
  serial_width = std::min(serial_width, MAX_SERIAL_WIDTH);
  // The verdict matters most: on a narrow terminal the port, which the
  // slot's name most often says anyway, makes room for it.
  bool show_port =
      !width ||
      name_width + port_width + serial_width + TIME_WIDTH + 4 * 2 + MIN_STATE_WIDTH <= width;
  auto port = [&](const std::string &text) {
    return show_port ? port_column(text, port_width) + "  " : std::string();
  };

  std::vector<std::string> summary = packed(summary_parts(t, now), width);
  std::vector<std::string> notes;
  for (const std::string &line : footer) {
    if (!line.empty()) notes.push_back(line);
  }
  // The slots a page holds: the terminal's lines but the heading, the
  // summary, the footer, the page's own line and the line the cursor rests on.
  size_t first = 0, count = slots.size();
  std::string page_line;
  size_t fixed = 1 + summary.size() + notes.size() + 2;
  if (size.lines && slots.size() + fixed - 1 > size.lines && size.lines > fixed) {
    count = size.lines - fixed;
    size_t pages = (slots.size() + count - 1) / count;
    size_t page = (size_t)(now / PAGE_S) % pages;
    first = page * count;
    count = std::min(count, slots.size() - first);
    page_line = "slots " + std::to_string(first + 1) + "-" + std::to_string(first + count) +
                " of " + std::to_string(slots.size()) + ", page " + std::to_string(page + 1) +
                " of " + std::to_string(pages);
  }

  std::vector<std::string> rows;
  rows.push_back(cut(column("SLOT", name_width) + "  " + port("PORT") +
                     column("SERIAL", serial_width) + "  " + column("TIME", TIME_WIDTH) +
                     "  STATE"));
  for (size_t i = first; i < first + count; i++) {
    const slot_state &s = slots[i];
    const slot_shown &w = shown[i];
    std::string row = column(printable(s.slot.name), name_width) + "  " +
                      port(printable(s.slot.port)) +
                      column(w.serial.empty() ? "-" : printable(w.serial), serial_width) + "  " +
                      column(elapsed_text(w.seconds), TIME_WIDTH) + "  ";
    std::string after = w.phase;
    if (!w.next_serial.empty()) after = "next: " + w.next_serial + ", " + after;
    // The phase alone while a board is tested; the last board's verdict
    // first while the slot waits for the next.
    if (w.verdict == slot_verdict::none) {
      rows.push_back(cut(row + printable(after)));
      continue;
    }
    std::string verdict = printable(w.word + (w.detail.empty() ? "" : " " + w.detail));
    if (s.phase != slot_phase::done) verdict += "  (" + printable(after) + ")";
    std::string whole = cut(row + verdict);
    if (!color) {
      rows.push_back(whole);
      continue;
    }
    size_t words = printable(w.word + (w.detail.empty() ? "" : " " + w.detail)).size();
    size_t verdict_end = std::min(whole.size(), row.size() + words);
    rows.push_back(whole.substr(0, row.size()) + verdict_color(w.verdict) +
                   whole.substr(row.size(), verdict_end - row.size()) + RESET +
                   whole.substr(verdict_end));
  }
  if (!page_line.empty()) rows.push_back(cut(page_line));
  for (const std::string &line : summary) rows.push_back(cut(line));
  for (const std::string &line : notes) rows.push_back(cut(printable(line)));
  return rows;
}

bool color_wanted(void) {
  const char *no_color = std::getenv("NO_COLOR");
  return !no_color || !*no_color;
}
