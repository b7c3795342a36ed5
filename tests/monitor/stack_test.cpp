// The monitor's own 2 KiB: it lives there after relocation, whatever happens
// to the SDRAM, and its stack stays within budget, clear of the flag words.
#include <gtest/gtest.h>

#include <vector>

#include "monitor_rig.h"

namespace {

TEST(MonitorStack, DeepestUseStaysWithinBudgetAndClearOfTheFlags) {
  monitor_rig rig;
  board_watch_ram(rig.b, rig.flags_address() + 8, MONITOR_STACK_TOP);
  rig.send("v");
  rig.send("1");
  rig.send("2");
  rig.send("sx\r");
  uint32_t lowest = board_lowest_watched(rig.b);
  ASSERT_NE(NO_ACCESS, lowest);
  EXPECT_GE(lowest, MONITOR_STACK_TOP - MONITOR_STACK_BUDGET)
      << "stack use " << MONITOR_STACK_TOP - lowest;
  // The region watched starts right after the flags; the stack never got near.
  EXPECT_GT(lowest, rig.flags_address() + 8);
  EXPECT_LE(rig.flags_address() + 8 + MONITOR_STACK_BUDGET, MONITOR_STACK_TOP);
  EXPECT_EQ(1u, rig.read_word(SYMBOL_output_enabled));
  EXPECT_EQ(1u, rig.read_word(SYMBOL_slow_output));
}

TEST(MonitorStack, KeepsWorkingAfterTheWholeSdramIsOverwritten) {
  monitor_rig rig;
  rig.send("");
  std::vector<uint8_t> junk(SDRAM_SIZE, 0xE7);  // an undefined instruction everywhere
  ASSERT_TRUE(board_write_memory(rig.b, SDRAM_BASE, junk.data(), junk.size()));
  EXPECT_EQ(":0?", rig.send("1"));
  EXPECT_EQ(":0?M2c Df1 R80 P95 \r\nSe0\r\n:0?", rig.send("v2"));
}

}  // namespace
