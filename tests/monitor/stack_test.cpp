// The monitor's own 2 KiB: it lives there after relocation, whatever happens
// to the SDRAM, and its stack stays within budget, clear of the flag words.
#include <gtest/gtest.h>

#include <vector>

#include "monitor_bench.h"

namespace {

TEST(MonitorStack, DeepestUseStaysWithinBudgetAndClearOfTheFlags) {
  monitor_bench bench;
  board_watch_ram(bench.b, bench.flags_address() + 8, STACK_TOP);
  bench.send("v");
  bench.send("1");
  bench.send("2");
  bench.send("sx\r");
  uint32_t lowest = board_lowest_watched(bench.b);
  ASSERT_NE(lowest, NO_ACCESS);
  EXPECT_GE(lowest, STACK_TOP - STACK_BUDGET) << "stack use " << STACK_TOP - lowest;
  // The region watched starts right after the flags; the stack never got near.
  EXPECT_GT(lowest, bench.flags_address() + 8);
  EXPECT_LE(bench.flags_address() + 8 + STACK_BUDGET, STACK_TOP);
  EXPECT_EQ(bench.read_word(bench.flags_address()), 1u);
  EXPECT_EQ(bench.read_word(bench.flags_address() + 4), 1u);
}

TEST(MonitorStack, KeepsWorkingAfterTheWholeSdramIsOverwritten) {
  monitor_bench bench;
  bench.send("");
  std::vector<uint8_t> junk(SDRAM_END, 0xE7);  // an undefined instruction everywhere
  ASSERT_EQ(board_write_memory(bench.b, 0, junk.data(), junk.size()), 1);
  EXPECT_EQ(bench.send("1"), ":0?");
  EXPECT_EQ(bench.send("v2"), ":0?M2c Df1 R80 P95 \r\nSe0\r\n:0?");
}

}  // namespace
