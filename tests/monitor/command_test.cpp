// The command cycle: prompt, command byte, optional trace, ":" and the result.
#include <gtest/gtest.h>

#include <utility>

#include "monitor_rig.h"

namespace {

const std::string NAND_TRACE = "M2c Df1 R80 P95 \r\nSe0\r\n";

TEST(MonitorCommands, ExchangesAndTheFlagsTheyLeave) {
  struct exchange_case {
    const char *name;
    std::vector<std::pair<std::string, std::string>> exchanges;  // input, what is sent
    uint32_t output_enabled, slow_output;                        // the flag words afterwards
  } cases[] = {
      {"the first byte sent is the prompt", {{"", "?"}}, 0, 0},
      {"verbose", {{"", "?"}, {"v", ":0?"}}, 1, 0},
      {"slow output", {{"", "?"}, {"s", ":0?"}}, 0, 1},
      {"unknown x", {{"", "?"}, {"x", ":0?"}}, 0, 0},
      {"unknown CR", {{"", "?"}, {"\r", ":0?"}}, 0, 0},
      {"unknown NUL", {{"", "?"}, {std::string(1, '\0'), ":0?"}}, 0, 0},
      {"unknown 0xff", {{"", "?"}, {"\xff", ":0?"}}, 0, 0},
      {"verbose governs from the next command on, and twice changes nothing",
       {{"", "?"},
        {"2", ":0?"},
        {"v", ":0?"},
        {"2", NAND_TRACE + ":0?"},
        {"v", ":0?"},
        {"2", NAND_TRACE + ":0?"}},
       1,
       0},
      {"two bytes back to back are two commands", {{"xv2", "?:0?:0?" + NAND_TRACE + ":0?"}}, 1, 0},
      {"slow output without verbose shows nothing", {{"", "?"}, {"s", ":0?"}, {"2", ":0?"}}, 0, 1},
      {"slow output still sends every byte",
       {{"", "?"}, {"vs2", ":0?:0?" + NAND_TRACE + ":0?"}},
       1,
       1},
  };
  for (const exchange_case &c : cases) {
    SCOPED_TRACE(c.name);
    monitor_rig rig;
    for (const auto &[input, sent] : c.exchanges) EXPECT_EQ(sent, rig.send(input));
    EXPECT_EQ(c.output_enabled, rig.read_word(SYMBOL_output_enabled));
    EXPECT_EQ(c.slow_output, rig.read_word(SYMBOL_slow_output));
  }
}

TEST(MonitorCommands, PutHexPrintsLowercaseWithoutLeadingZeros) {
  struct {
    uint32_t value;
    const char *text;
  } cases[] = {
      {0, "0"},    {0xE0, "e0"}, {0x4000000, "4000000"},   {0xFFFFFFFF, "ffffffff"},
      {0x0A, "a"}, {0x10, "10"}, {0x9ABCDEF0, "9abcdef0"},
  };
  monitor_rig rig;
  rig.send("v");  // output stays enabled while a command is awaited
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    size_t before = rig.line.tx.size();
    uint32_t result = 0;
    std::string why;
    ASSERT_TRUE(board_call(rig.b, SYMBOL_put_hex, c.value, 100000, &result, &why)) << why;
    EXPECT_EQ(c.text, rig.line.tx.substr(before));
  }
  EXPECT_EQ(":0?", rig.send("x"));  // and the monitor goes on
}

// The wait counts a volatile counter in memory to 200000 after each line
// end, one pass of its loop a step, and the NAND trace has two line ends. On
// the board's clock the wait lasts that many passes of the loop, within 5%:
// the transmitter waits that it absorbs are far shorter. The board takes the
// wait in one step, or a soak's verbose pass would cost the host seconds.
// Without its wait a slow "2" costs what a plain one does.
TEST(MonitorCommands, SlowOutputWaitsItsCountOnTheBoardsClock) {
  constexpr double WAIT_STEPS = 2 * 200000, TOLERANCE = 0.05;
  const uint64_t quiet = time_command("", "2").instructions;
  const uint64_t verbose = time_command("v", "2").instructions;
  struct {
    const char *setup;
    uint64_t baseline;
    bool waits;
  } cases[] = {
      {"s", quiet, false},
      {"vs", verbose, true},
      {"sv", verbose, true},
      {"v", verbose, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.setup);
    command_time t = time_command(c.setup, "2");
    double extra_us = double(t.instructions - c.baseline) / CORE_INSTRUCTIONS_PER_US;
    if (c.waits) {
      double due_us = WAIT_STEPS * t.busiest.instructions / CORE_INSTRUCTIONS_PER_US;
      EXPECT_NEAR(due_us, extra_us, TOLERANCE * due_us)
          << "the loop at 0x" << std::hex << t.busiest.address << " takes " << std::dec
          << t.busiest.instructions << " instructions and ran " << t.busiest.runs << " times";
      EXPECT_GT(double(t.skipped), 0.99 * due_us * CORE_INSTRUCTIONS_PER_US);
    } else {
      EXPECT_LT(extra_us, 25.0);
    }
  }
}

}  // namespace
