// The command cycle: prompt, command byte, optional trace, ":" and the result.
#include <gtest/gtest.h>

#include "monitor_bench.h"

namespace {

TEST(MonitorCommands, CommandsWithoutATestAnswerZeroAndPromptAgain) {
  const char *commands[] = {"v", "s", "x", "\r", "\0", "\xff", "1x"};
  for (const char *command : commands) {
    SCOPED_TRACE(command);
    monitor_bench bench;
    bench.send("");
    EXPECT_EQ(bench.send(std::string(1, command[0])), ":0?");
  }
}

TEST(MonitorCommands, VerboseGovernsFromTheNextCommand) {
  monitor_bench bench;
  bench.send("");
  EXPECT_EQ(bench.send("2"), ":0?");
  EXPECT_EQ(bench.send("v"), ":0?");
  EXPECT_EQ(bench.send("2"), "M2c Df1 R80 P95 \r\nSe0\r\n:0?");
  EXPECT_EQ(bench.send("v"), ":0?");  // a second "v" changes nothing
  EXPECT_EQ(bench.send("2"), "M2c Df1 R80 P95 \r\nSe0\r\n:0?");
}

TEST(MonitorCommands, TwoBytesBackToBackAreTwoCommands) {
  monitor_bench bench;
  EXPECT_EQ(bench.send("xv2"), "?:0?:0?M2c Df1 R80 P95 \r\nSe0\r\n:0?");
}

TEST(MonitorCommands, SlowOutputWithoutVerboseChangesNothingSeen) {
  monitor_bench bench;
  bench.send("");
  EXPECT_EQ(bench.send("s"), ":0?");
  EXPECT_EQ(bench.send("2"), ":0?");
  EXPECT_EQ(bench.read_word(bench.flags_address() + 4), 1u);
}

TEST(MonitorCommands, SlowOutputStillSendsEveryByte) {
  monitor_bench bench;
  bench.send("");
  EXPECT_EQ(bench.send("vs2"), ":0?:0?M2c Df1 R80 P95 \r\nSe0\r\n:0?");
}

TEST(MonitorCommands, OutputIsGatedWhileACommandIsAwaited) {
  monitor_bench bench;
  bench.send("");
  EXPECT_EQ(bench.read_word(bench.flags_address()), 0u);      // output_enabled
  EXPECT_EQ(bench.read_word(bench.flags_address() + 4), 0u);  // slow_output
  bench.send("v");
  EXPECT_EQ(bench.read_word(bench.flags_address()), 1u);
}

TEST(MonitorCommands, PutHexPrintsLowercaseWithoutLeadingZeros) {
  struct { uint32_t value; const char *text; } cases[] = {
      {0, "0"}, {0xE0, "e0"}, {0x4000000, "4000000"}, {0xFFFFFFFF, "ffffffff"},
      {0x0A, "a"}, {0x10, "10"}, {0x9ABCDEF0, "9abcdef0"},
  };
  monitor_bench bench;
  bench.send("v");  // output stays enabled while a command is awaited
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    size_t before = bench.tx.size();
    uint32_t result = 0;
    ASSERT_EQ(board_call(bench.b, SYMBOL_put_hex, c.value, 100000, &result), 0);
    EXPECT_EQ(bench.tx.substr(before), c.text);
  }
  EXPECT_EQ(bench.send("x"), ":0?");  // and the monitor goes on
}

}  // namespace
