// Windows names of a port read back as its number, and every other name
// left alone.
#include "port_name.h"

#include <gtest/gtest.h>

namespace {

TEST(PortName, WindowsSpellingsOfAPortGiveItsNumber) {
  struct {
    const char *name;
    int number;
  } cases[] = {
      {"COM12", 12},      {"com3", 3},
      {"CoM3:", 3},       {"\\\\.\\COM12", 12},
      {"//./COM12", 12},  {"\\\\./com12:", 12},
      {"/\\.\\COM1", 1},  {"COM2147483647", 2147483647},
      {"COM", 0},         {"COM0", 0},
      {"COM012", 0},      {"COM-3", 0},
      {"COM 3", 0},       {"COM3x", 0},
      {"COM3::", 0},      {"COM2147483648", 0},
      {"\\\\?\\COM3", 0}, {"\\\\.\\CNCA0", 0},
      {"./COM3", 0},      {"/dev/ttyS2", 0},
      {"ACOM3", 0},       {"", 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.number, com_port_number(c.name));
  }
}

TEST(PortName, TheDeviceNamespacePrefixComesOffOnce) {
  struct {
    const char *name;
    const char *without;
  } cases[] = {
      {"\\\\.\\CNCA0", "CNCA0"},
      {"//./CNCA0", "CNCA0"},
      {"\\\\.\\\\\\.\\X", "\\\\.\\X"},
      {"CNCA0", "CNCA0"},
      {"\\\\?\\X", "\\\\?\\X"},
      {"//.", "//."},
      {"", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(c.without, without_device_prefix(c.name));
  }
}

}  // namespace
