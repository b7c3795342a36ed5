// Serial numbers as a barcode scanner types them on standard input, one a
// line: NAME=SERIAL for the board in that slot, a bare SERIAL for the board
// of the first slot (in the order given) that takes one; and `retry NAME`,
// the operator's word that a slot whose board ended in error may test it
// again.
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
  retry,     // `retry NAME`: *slot says which
};

// takes_bare[i]: whether slot i takes a bare serial: its board has none yet,
// and it can test a board (its port is not in error, it is not held).
serial_line read_serial_line(const std::string &line, const std::vector<std::string> &slot_names,
                             const std::vector<bool> &takes_bare, size_t *slot, std::string *serial,
                             std::string *why);
