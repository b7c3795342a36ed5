// Start-up: the relocation copy, the jump out of the SDRAM, board_init and the
// first prompt.
#include <gtest/gtest.h>

#include <algorithm>

#include "monitor_rig.h"

namespace {

constexpr uint32_t CHUNK = 32;

// The stub: three set-up instructions, four per chunk copied, and the jump.
uint64_t stub_instructions(uint32_t chunks) { return 3 + 4ull * chunks + 1; }

// Chunks from address 0 up to and including the one holding the end address
// (the run address of the first word after the code).
uint32_t chunks_copied(uint32_t code_size) { return code_size / CHUNK + 1; }

TEST(MonitorStartup, CopyReadsWholeChunksUpToTheOneHoldingTheEndAddress) {
  monitor_rig rig;
  rig.send("");
  // Everything before the first access outside the SDRAM is the stub's: its
  // literal words (after the jump instruction: destination, end, entry) and
  // the copy, 8 words a chunk.
  const uint32_t literals = SYMBOL_relocation_jump - MONITOR_RUN_ADDRESS + 4;
  const uint32_t destination = literals, end = literals + 4, entry = literals + 8;
  std::vector<uint32_t> expected = {end, destination};
  uint32_t chunks = chunks_copied(rig.code_size());
  for (uint32_t address = 0; address < chunks * CHUNK; address += 4) expected.push_back(address);
  expected.push_back(entry);

  std::vector<uint32_t> reads;
  for (const bus_access &a : rig.accesses()) {
    if (a.address >= SDRAM_BASE + SDRAM_SIZE) break;
    EXPECT_EQ(4, a.width);
    EXPECT_FALSE(a.write);
    reads.push_back(a.address);
  }
  EXPECT_EQ(expected, reads);
  // The last chunk holds the end address: the copy took the code, and no
  // chunk more than it needed.
  EXPECT_LE(rig.code_size(), chunks * CHUNK - 1);
  EXPECT_GT(rig.code_size(), (chunks - 1) * CHUNK - 1);
  EXPECT_EQ(MONITOR_RUN_ADDRESS + rig.code_size(), rig.read_word(literals + 4));
  for (uint32_t offset = 0; offset < rig.code_size(); offset += 4) {
    uint32_t word = 0;
    std::copy_n(image_code().begin() + offset, 4, reinterpret_cast<uint8_t *>(&word));
    ASSERT_EQ(word, rig.read_word(MONITOR_RUN_ADDRESS + offset)) << offset;
  }
}

TEST(MonitorStartup, NothingRunsFromTheSdramAfterTheJump) {
  monitor_rig rig;
  rig.send("vx12s\r");
  uint32_t chunks = chunks_copied(rig.code_size());
  EXPECT_EQ(stub_instructions(chunks), board_sdram_fetches(rig.b));
  EXPECT_EQ(SYMBOL_relocation_jump - MONITOR_RUN_ADDRESS, board_last_sdram_fetch(rig.b));
}

TEST(MonitorStartup, FlagWordsFollowTheCode) {
  monitor_rig rig;
  EXPECT_EQ(rig.flags_address(), SYMBOL_output_enabled);
  EXPECT_EQ(rig.flags_address() + 4, SYMBOL_slow_output);
  EXPECT_EQ(rig.flags_address(), SYMBOL_monitor_code_end);
  EXPECT_EQ(0u, rig.code_size() % 4);
}

TEST(MonitorStartup, BoardInitChangesOnlyItsBitsThenProgramsTheUart) {
  board_config config;
  // Start values with every bit set or a pattern, so that a read-modify-write
  // that loses bits outside its mask shows.
  const uint32_t start[6] = {0xFFFFFFFF, 0xA5A5A5A5, 0xFFFFFFFF,
                             0x12345678, 0xFFFFFFFF, 0x0000FFFF};
  std::copy(start, start + 6, config.control_init);
  monitor_rig rig(config);
  rig.send("");
  const std::vector<bus_step> expected = {
      {0xD0010000, false, 0xFFFFFFFF}, {0xD0010000, true, 0xF0FFFFFF},
      {0xD0010100, false, 0xFFFFFFFF}, {0xD0010100, true, 0xFFFFFFBF},
      {0xD0010104, false, 0x12345678}, {0xD0010104, true, 0x12345638},
      {0xD0010140, false, 0xFFFFFFFF}, {0xD0010140, true, 0xFFFFE03F},
      {0xD0010144, false, 0x0000FFFF}, {0xD0010144, true, 0x0000E03F},
      {0xD0010004, false, 0xA5A5A5A5}, {0xD0010004, true, 0xA5A500A5},
      {0xD0010004, false, 0xA5A500A5}, {0xD0010004, true, 0xA5A533A5},
      {0xD0012004, true, 0x00},        {0xD001200C, true, 0x80},
      {0xD0012000, true, 0x59},        {0xD0012004, true, 0x00},
      {0xD001200C, true, 0x03},        {0xD0012008, true, 0x87},
      {0xD0012010, true, 0x03},
  };
  auto io = accesses_in(rig.accesses(), CONTROL_BLOCK_BASE, NAND_WINDOW_BASE + 0x1000);
  ASSERT_GT(io.size(), expected.size());
  expect_steps(expected, io, 4);
  // Then the prompt: wait for the transmitter, send "?".
  EXPECT_EQ(UART_BASE + 0x14, io[expected.size()].address);
  EXPECT_FALSE(io[expected.size()].write);
}

// The board's models check the width of every access, the control block's
// read-modify-writes and the UART's set-up: the monitor breaks none of their
// rules, through start-up and every command, verbose and slow output included,
// whatever junk the boot ROM left in the registers and the memory.
TEST(MonitorStartup, BreaksNoRuleOfTheBoardWhateverTheHandOver) {
  const uint32_t seeds[] = {1, 0, 2, 0x5EED, 0x80000000, 0xFFFFFFFF};
  for (uint32_t seed : seeds) {
    SCOPED_TRACE(seed);
    board_config config;
    config.seed = seed;
    monitor_rig rig(config);
    EXPECT_EQ("?", rig.send(""));
    EXPECT_EQ(":0?", rig.send("x"));
    EXPECT_EQ(":0?", rig.send("2"));
    EXPECT_EQ(":0?", rig.send("v"));
    std::string sdram = rig.send("1");
    EXPECT_EQ(":0?", sdram.substr(sdram.size() - 3));
    EXPECT_EQ(":0?", rig.send("s"));
    EXPECT_EQ("M2c Df1 R80 P95 \r\nSe0\r\n:0?", rig.send("2"));
    EXPECT_EQ(std::vector<std::string>{}, board_reports(rig.b));
  }
}

}  // namespace
