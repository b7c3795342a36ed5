#include "station/reports/bus_lines.h"

#include <cstdio>
#include <cstring>

namespace {

// What a board had on each line, as bits: stuck, shorted, floating.
enum : unsigned { STUCK = 1, SHORTED = 2, FLOATING = 4 };

unsigned kind_mark(const std::string &kind) {
  if (kind.find("short") != std::string::npos) return SHORTED;
  if (kind.find("floating") != std::string::npos) return FLOATING;
  return STUCK;
}

}  // namespace

void bus_lines_count(const bus_board_lines &b, bus_line_counts *out) {
  bool any = false;
  auto add = [&any](unsigned marks, bus_line_count *c) {
    if (!marks) return;
    any = true;
    ++c->boards;
    c->stuck += (marks & STUCK) != 0;
    c->shorted += (marks & SHORTED) != 0;
    c->floating += (marks & FLOATING) != 0;
  };
  for (int l = 0; l < SDRAM_DATA_LINES; ++l) add(b.data[l], &out->data[l]);
  for (int l = SDRAM_FIRST_ADDR_LINE; l <= SDRAM_LAST_ADDR_LINE; ++l)
    add(b.address[l], &out->address[l]);
  out->boards += any;
}

bool bus_fault_lines(const std::string &kind, const std::string &words, bool *data, int lines[2],
                     int *count) {
  static const struct {
    const char *kind, *format;
    bool data;
    int lines;
  } shapes[] = {
      {"data_stuck", "data line %d%n", true, 1},
      {"data_floating", "data line %d%n", true, 1},
      {"data_short", "data lines %d and %d%n", true, 2},
      {"address_stuck", "address line %d%n", false, 1},
      {"address_short", "address lines %d and %d%n", false, 2},
  };
  for (const auto &shape : shapes) {
    if (kind != shape.kind) continue;
    int n = 0, read = 0;
    read = shape.lines == 1 ? sscanf(words.c_str(), shape.format, &lines[0], &n)
                            : sscanf(words.c_str(), shape.format, &lines[0], &lines[1], &n);
    if (read != shape.lines || !n) return false;
    int low = shape.data ? 0 : SDRAM_FIRST_ADDR_LINE;
    int high = shape.data ? SDRAM_DATA_LINES - 1 : SDRAM_LAST_ADDR_LINE;
    for (int i = 0; i < shape.lines; ++i)
      if (lines[i] < low || lines[i] > high) return false;
    *data = shape.data;
    *count = shape.lines;
    return true;
  }
  return false;
}

void bus_lines_mark(bus_board_lines *board, const std::string &kind, const std::string &words) {
  bool data = false;
  int lines[2], count = 0;
  if (!bus_fault_lines(kind, words, &data, lines, &count)) return;
  for (int i = 0; i < count; ++i)
    (data ? board->data : board->address)[lines[i]] |= kind_mark(kind);
}
