// Serial numbers as a barcode scanner types them on standard input, one a
// line: NAME=SERIAL for the board in that slot, a bare SERIAL for the board
// of the first slot (in the order given) that has none yet.
#pragma once

#include <string>
#include <vector>

#include "station/terminal/serial_rules.h"

// The longest serial taken, in characters.
constexpr size_t MAX_SERIAL = SERIAL_MAX_CHARACTERS;

enum class serial_line {
  assigned,  // *slot and *serial say where it goes
  empty,     // nothing typed: nothing to do
  refused,   // why says why; nothing changes
};

// has_serial[i]: whether slot i's current board has a serial already.
serial_line read_serial_line(const std::string &line, const std::vector<std::string> &slot_names,
                             const std::vector<bool> &has_serial, size_t *slot, std::string *serial,
                             std::string *why);
