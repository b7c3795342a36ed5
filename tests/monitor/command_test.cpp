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
    ASSERT_TRUE(board_call(rig.b, SYMBOL_put_hex, c.value, 100000, &result));
    EXPECT_EQ(c.text, rig.line.tx.substr(before));
  }
  EXPECT_EQ(":0?", rig.send("x"));  // and the monitor goes on
}

// Emulated instructions that command "2" takes after the given set-up.
uint64_t nand_command_instructions(const std::string &setup) {
  monitor_rig rig;
  rig.send(setup);
  uint64_t before = board_instructions(rig.b);
  rig.send("2");
  return board_instructions(rig.b) - before;
}

TEST(MonitorCommands, SlowOutputWaitsAfterEachLineEndOnlyWhileOutputIsOn) {
  // The wait counts a volatile counter in memory to 200000: a load, an
  // increment, a store, a compare and a branch a step, less the transmitter
  // waits that it absorbs. The NAND trace has two line ends.
  constexpr uint64_t WAIT_STEPS = 2 * 200000, MIN_STEP = 4, MAX_STEP = 8;
  const uint64_t quiet = nand_command_instructions(""), verbose = nand_command_instructions("v");
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
