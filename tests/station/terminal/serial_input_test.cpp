// Serial numbers typed on standard input, and where each goes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/terminal/serial_input.h"

namespace {

struct serial_case {
  const char *name;
  std::string line;
  std::vector<bool> takes_bare;  // slots A, B, C
  serial_line result;
  size_t slot;
  std::string serial;
};

TEST(SerialInput, GoesToTheRightSlotOrIsRefused) {
  const std::string longest(MAX_SERIAL, '7');
  const serial_case cases[] = {
      {"bare serial to the first slot", "SN1", {true, true, true}, serial_line::assigned, 0, "SN1"},
      {"bare serial skips slots that take none",
       "SN2",
       {false, true, true},
       serial_line::assigned,
       1,
       "SN2"},
      {"named slot", "C=SN3", {true, true, true}, serial_line::assigned, 2, "SN3"},
      {"named slot replaces its serial",
       "A=SN4",
       {false, false, false},
       serial_line::assigned,
       0,
       "SN4"},
      {"scanner's CR LF", "SN5\r", {true, true, true}, serial_line::assigned, 0, "SN5"},
      {"stored as typed",
       "'; DROP TABLE boards; --",
       {true, true, true},
       serial_line::assigned,
       0,
       "'; DROP TABLE boards; --"},
      {"inner spaces kept", "SN 6", {true, true, true}, serial_line::assigned, 0, "SN 6"},
      {"leading space", " SN6", {true, true, true}, serial_line::refused, 0, ""},
      {"trailing space", "A=SN6 ", {true, true, true}, serial_line::refused, 0, ""},
      {"retry a slot", "retry B", {true, true, true}, serial_line::retry, 1, ""},
      {"retry no slot", "retry D", {true, true, true}, serial_line::refused, 0, ""},
      {"64 characters", longest, {true, true, true}, serial_line::assigned, 0, longest},
      {"empty line", "", {true, true, true}, serial_line::empty, 0, ""},
      {"empty CR", "\r", {true, true, true}, serial_line::empty, 0, ""},
      {"65 characters", longest + "7", {true, true, true}, serial_line::refused, 0, ""},
      {"65 characters to a slot",
       "B=" + longest + "7",
       {true, true, true},
       serial_line::refused,
       0,
       ""},
      {"control character", "SN\x1b[2J", {true, true, true}, serial_line::refused, 0, ""},
      {"tab", "SN\t7", {true, true, true}, serial_line::refused, 0, ""},
      {"delete", "SN\x7f", {true, true, true}, serial_line::refused, 0, ""},
      {"unknown slot", "D=SN8", {true, true, true}, serial_line::refused, 0, ""},
      {"empty serial for a slot", "A=", {true, true, true}, serial_line::refused, 0, ""},
      {"no slot takes one", "SN9", {false, false, false}, serial_line::refused, 0, ""},
  };
  const std::vector<std::string> names = {"A", "B", "C"};
  for (const serial_case &c : cases) {
    SCOPED_TRACE(c.name);
    size_t slot = 99;
    std::string serial, why;
    serial_line r = read_serial_line(c.line, names, c.takes_bare, &slot, &serial, &why);
    EXPECT_EQ(c.result, r);
    if (r == serial_line::retry) {
      EXPECT_EQ(c.slot, slot);
    } else if (r == serial_line::assigned) {
      EXPECT_EQ(c.slot, slot);
      EXPECT_EQ(c.serial, serial);
    } else {
      EXPECT_EQ(size_t(99), slot) << "a refused line changes nothing";
      EXPECT_EQ(r == serial_line::refused, !why.empty());
    }
  }
}

}  // namespace
