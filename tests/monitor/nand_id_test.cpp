// The NAND identification test: the accepted devices as one table, the exact
// access sequence, and a chip that never becomes ready.
#include <gtest/gtest.h>

#include "monitor_rig.h"

namespace {

constexpr uint32_t NAND_DATA = NAND_WINDOW_BASE, NAND_COMMAND = NAND_WINDOW_BASE + 1,
                   NAND_ADDRESS = NAND_WINDOW_BASE + 2;

TEST(MonitorNand, IdentificationTable) {
  const struct {
    uint8_t id[4];
    uint8_t status;
    char result;
    const char *trace;
  } cases[] = {
      {{0x2C, 0xF1, 0x80, 0x95}, 0xE0, '0', "M2c Df1 R80 P95 \r\nSe0\r\n"},
      {{0x20, 0xF1, 0x00, 0x1D}, 0xE0, '0', "M20 Df1 R0 P1d \r\nSe0\r\n"},
      {{0x20, 0xF1, 0x80, 0x1D}, 0xE0, '0', "M20 Df1 R80 P1d \r\nSe0\r\n"},
      {{0x2C, 0xF1, 0x00, 0x95}, 0xE0, '0', "M2c Df1 R0 P95 \r\nSe0\r\n"},
      {{0x2C, 0xF1, 0x80, 0x1D}, 0xE0, '4', "M2c Df1 R80 P1d \r\nSe0\r\n"},
      {{0x20, 0xF1, 0x00, 0x95}, 0xE0, '4', "M20 Df1 R0 P95 \r\nSe0\r\n"},
      {{0x00, 0xF1, 0x80, 0x95}, 0xE0, '1', "M0 Df1 R80 P95 \r\nSe0\r\n"},
      {{0x00, 0xF1, 0x80, 0x12}, 0xE0, '1', "M0 Df1 R80 P12 \r\nSe0\r\n"},
      {{0x00, 0xDA, 0x80, 0x95}, 0xE0, '2', "M0 Dda R80 P95 \r\nSe0\r\n"},
      {{0x2C, 0xF1, 0x40, 0x95}, 0xE0, '3', "M2c Df1 R40 P95 \r\nSe0\r\n"},
      {{0x00, 0xF1, 0x80, 0x95}, 0xE1, '5', "M0 Df1 R80 P95 \r\nSe1\r\n"},
      {{0x2C, 0xF1, 0x80, 0x95}, 0x60, '5', "M2c Df1 R80 P95 \r\nS60\r\n"},
      {{0x2C, 0xF1, 0x80, 0x95}, 0xE1, '5', "M2c Df1 R80 P95 \r\nSe1\r\n"},
      {{0x2C, 0xDA, 0x40, 0x1D}, 0xE1, '5', "M2c Dda R40 P1d \r\nSe1\r\n"},
      {{0x2C, 0xDA, 0x40, 0x95}, 0xE0, '3', "M2c Dda R40 P95 \r\nSe0\r\n"},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFF, '5', "Mff Dff Rff Pff \r\nSff\r\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.trace);
    board_config config;
    std::copy(c.id, c.id + 4, config.nand.id);
    config.nand.final_status = c.status;
    monitor_rig rig(config);
    rig.send("");
    const std::string result = std::string(":") + c.result + "?";
    EXPECT_EQ(result, rig.send("2"));
    EXPECT_EQ(":0?", rig.send("v"));
    EXPECT_EQ(c.trace + result, rig.send("2"));
  }
}

TEST(MonitorNand, AccessSequence) {
  monitor_rig rig;
  rig.send("");
  board_clear_accesses(rig.b);
  rig.send("2");
  auto nand = accesses_in(rig.accesses(), NAND_DATA, NAND_DATA + 0x1000);
  // The chip stays busy for a while after the reset: the ready poll reads
  // the busy status (ready bits clear, not write-protected) until it is done.
  ASSERT_GT(nand.size(), 3u);
  size_t busy = 0;
  while (2 + busy < nand.size() && nand[2 + busy].value == 0x80) ++busy;
  EXPECT_GT(busy, 10u);
  nand.erase(nand.begin() + 2, nand.begin() + 2 + static_cast<long>(busy));
  const std::vector<bus_step> expected = {
      {NAND_COMMAND, true, 0xFF}, {NAND_COMMAND, true, 0x70}, {NAND_DATA, false, 0xE0},
      {NAND_COMMAND, true, 0x90}, {NAND_ADDRESS, true, 0x00}, {NAND_DATA, false, 0x2C},
      {NAND_DATA, false, 0xF1},   {NAND_DATA, false, 0x80},   {NAND_DATA, false, 0x95},
      {NAND_COMMAND, true, 0x70}, {NAND_DATA, false, 0xE0},
  };
  EXPECT_EQ(expected.size(), nand.size());
  expect_steps(expected, nand, 1);
}

TEST(MonitorNand, FlashThatNeverBecomesReadyGivesSixAndTheMonitorGoesOn) {
  board_config config;
  config.nand.never_ready = true;
  monitor_rig rig(config);
  rig.send("v");
  board_clear_accesses(rig.b);
  // A busy chip ignores Read ID and its address cycle and goes on giving
  // its status, which shows busy; the trace still holds all five bytes.
  EXPECT_EQ("M80 D80 R80 P80 \r\nS80\r\n:6?", rig.send("2"));
  auto polls = accesses_in(rig.accesses(), NAND_DATA, NAND_DATA + 1);
  EXPECT_EQ(0x100000u + 5, polls.size());
  EXPECT_EQ(":0?", rig.send("x"));
}

// A chip that never becomes ready is polled 2^20 times, each poll a load on
// the slow peripheral bus and a pass of the poll loop: on the board's clock
// the command takes that much longer than with a sound chip, within 5%.
TEST(MonitorNand, ReadyPollLastsItsBoundOnTheBoardsClock) {
  constexpr double POLLS = 0x100000, TOLERANCE = 0.05;
  board_config never_ready;
  never_ready.nand.never_ready = true;
  const command_time sound = time_command("", "2"), busy = time_command("", "2", never_ready);
  double extra_us = double(busy.instructions - sound.instructions) / CORE_INSTRUCTIONS_PER_US;
  double due_us = POLLS * double(PERIPHERAL_ACCESS_INSTRUCTIONS + busy.busiest.instructions) /
                  CORE_INSTRUCTIONS_PER_US;
  EXPECT_NEAR(due_us, extra_us, TOLERANCE * due_us)
      << "the loop at 0x" << std::hex << busy.busiest.address << " takes " << std::dec
      << busy.busiest.instructions << " instructions and ran " << busy.busiest.runs << " times";
}

}  // namespace
