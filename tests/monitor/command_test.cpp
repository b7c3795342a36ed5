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

namespace {

// Emulated instructions that command "2" takes after the given set-up.
uint64_t nand_command_instructions(const std::string &setup) {
  monitor_bench bench;
  bench.send(setup);
  uint64_t before = board_instructions(bench.b);
  bench.send("2");
  return board_instructions(bench.b) - before;
}

TEST(MonitorCommands, SlowOutputWaitsAfterEachLineEndOnlyWhileOutputIsOn) {
  // The wait counts a volatile counter in memory to 200000: a load, an
  // increment, a store, a compare and a branch a step, less the transmitter
  // waits that it absorbs. The NAND trace has two line ends.
  constexpr uint64_t WAIT_STEPS = 2 * 200000, MIN_STEP = 4, MAX_STEP = 8;
  const uint64_t quiet = nand_command_instructions(""), verbose = nand_command_instructions("v");
  struct { const char *setup; uint64_t baseline; bool waits; } cases[] = {
      {"s", quiet, false}, {"vs", verbose, true}, {"sv", verbose, true}, {"v", verbose, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.setup);
    uint64_t extra = nand_command_instructions(c.setup) - c.baseline;
    if (c.waits) {
      EXPECT_GE(extra, WAIT_STEPS * MIN_STEP);
      EXPECT_LE(extra, WAIT_STEPS * MAX_STEP);
    } else {
      EXPECT_LT(extra, 100u);
    }
  }
}

}  // namespace
