// The SDRAM test on sound memory and with faults in the model's wiring.
#include <gtest/gtest.h>

#include <algorithm>

#include "monitor_rig.h"
#include "sdram_fault_names.h"
#include "sdram_walk.h"

namespace {

// The accesses made while the command ran: after the command byte was read,
// until the ":" was sent.
std::vector<bus_access> during_command(const std::vector<bus_access> &all) {
  size_t begin = 0, end = all.size();
  for (size_t i = 0; i < all.size(); ++i) {
    const bus_access &a = all[i];
    if (a.address == UART_BASE && !a.write) begin = i + 1;
    if (a.address == UART_BASE && a.write && a.value == ':') {
      end = i;
    }
  }
  // The ":" is preceded by the transmitter poll of uart_putc.
  return {all.begin() + begin, all.begin() + end - 1};
}

TEST(MonitorSdram, SoundMemoryPassesWith232SixteenBitAccessesAndNoUart) {
  monitor_rig rig;
  rig.send("");
  board_clear_accesses(rig.b);
  EXPECT_EQ(":0?", rig.send("1"));
  auto run = during_command(rig.accesses());
  EXPECT_EQ(232u, run.size());
  size_t writes = 0;
  for (const bus_access &a : run) {
    EXPECT_LT(a.address, SDRAM_BASE + SDRAM_SIZE);
    EXPECT_EQ(2, a.width);
    writes += a.write;
  }
  EXPECT_EQ(64u + 52u, writes);
}

TEST(MonitorSdram, VerboseTraceOfSoundMemory) {
  monitor_rig rig;
  rig.send("v");
  std::string out = rig.send("1");
  ASSERT_EQ(":0?", out.substr(out.size() - 3));
  auto lines = crlf_lines(out.substr(0, out.size() - 3));
  ASSERT_EQ(129u + 105u, lines.size());
  const char *first[] = {"D0",      " 0w1",    " 0r1", " 2w0",   " 0r1",
                         " 4wfffe", " 4rfffe", " 6w0", " 4rfffe"};
  for (size_t i = 0; i < std::size(first); ++i) EXPECT_EQ(first[i], lines[i]);
  EXPECT_EQ("A0 4000000", lines[129]);
  EXPECT_EQ(" 0w0", lines[130]);
  EXPECT_EQ(" 2w1", lines[131]);
  EXPECT_EQ(" 0r0", lines[130 + 26]);
  EXPECT_EQ(" 3fffffew0", lines[130 + 52]);
  EXPECT_EQ(" 1fffffer19", lines.back());
  for (const std::string &line : lines) EXPECT_EQ(std::string::npos, line.find('*')) << line;
}

// The result, and the verbose trace, which must be the one korvane-diagnose
// replays for the same faults, or the diagnosis would name the wrong line.
TEST(MonitorSdram, FaultsGiveTheResultOfTheLastFailedTestAndTheReplayedTrace) {
  const struct {
    const char *name;
    std::vector<sdram_fault> faults;
    char result;
  } cases[] = {
      {"sound", {}, '0'},
      // The address test's counters stay below 32: data lines 5..15 stuck at
      // 0 fail only the data test.
      {"data line 5 stuck at 0", {{DATA, 5, 0}}, '1'},
      {"data line 9 stuck at 0", {{DATA, 9, 0}}, '1'},
      {"data line 15 stuck at 0", {{DATA, 15, 0}}, '1'},
      {"data line 4 stuck at 0", {{DATA, 4, 0}}, '2'},
      {"data line 0 stuck at 1", {{DATA, 0, 1}}, '2'},
      {"data line 12 stuck at 1", {{DATA, 12, 1}}, '2'},
      {"address line 1 stuck at 0", {{STUCK, 1, 0}}, '2'},
      {"address line 13 stuck at 0", {{STUCK, 13, 0}}, '2'},
      {"address line 25 stuck at 0", {{STUCK, 25, 0}}, '2'},
      {"address line 1 stuck at 1", {{STUCK, 1, 1}}, '2'},
      {"address line 25 stuck at 1", {{STUCK, 25, 1}}, '2'},
      {"address lines 2 and 7 shorted", {{SHORT, 2, 7}}, '2'},
      {"address lines 24 and 25 shorted", {{SHORT, 24, 25}}, '2'},
      {"data and address faults", {{DATA, 8, 0}, {STUCK, 20, 1}}, '2'},
      // A floating line reads as the last store: the second read of each
      // pattern sees the 0 written beside it. The counters' last store, 25,
      // has bit 0 set, and bit 9 clear as all the counters have.
      {"data line 9 floating", {{FLOATING, 9, 0}}, '1'},
      {"data line 0 floating", {{FLOATING, 0, 0}}, '2'},
      {"data lines 3 and 12 shorted", {{DSHORT, 3, 12}}, '2'},
      {"data lines 6 and 7 shorted, wired OR", {{DSHORT_OR, 6, 7}}, '1'},
      {"address lines 2 and 7 shorted, wired OR", {{SHORT_OR, 2, 7}}, '2'},
      {"a floating line in a data short", {{FLOATING, 2, 0}, {DSHORT_OR, 2, 7}}, '2'},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    board_config config;
    config.sdram = sdram_fault_set(c.faults);
    ASSERT_EQ(int(c.faults.size()), config.sdram.count);
    monitor_rig rig(config);
    rig.send("");
    const std::string result = std::string(":") + c.result + "?";
    EXPECT_EQ(result, rig.send("1"));
    rig.send("v");
    sdram_reads reads;
    sdram_replay(config.sdram, &reads);
    EXPECT_EQ(sdram_trace(reads) + result, rig.send("1"));
  }
}

TEST(MonitorSdram, EveryFailedPatternHasItsMismatchLine) {
  board_config config;
  config.sdram = sdram_fault_set({{DATA, 12, 1}});
  monitor_rig rig(config);
  rig.send("v");
  auto lines = crlf_lines(rig.send("1"));
  auto address_start = std::find(lines.begin(), lines.end(), "A0 4000000");
  ASSERT_NE(address_start, lines.end());
  std::vector<std::string> mismatches;
  for (auto line = lines.begin(); line != address_start; ++line)
    if ((*line)[0] == '*') mismatches.push_back(*line);
  // Line 12 high: every walking one but 0x1000 reads back with bit 12 set,
  // and of the complements only 0xefff fails. The line names the pattern.
  const std::vector<std::string> expected = {
      "*r1",   "*r2",   "*r4",   "*r8",   "*r10",   "*r20",   "*r40",   "*r80",
      "*r100", "*r200", "*r400", "*r800", "*refff", "*r2000", "*r4000", "*r8000"};
  EXPECT_EQ(expected, mismatches);
  EXPECT_EQ(":2?", lines.back());  // the counters read back with bit 12 set too
}

TEST(MonitorSdram, StuckAddressLineNamesTheValueRead) {
  board_config config;
  config.sdram = sdram_fault_set({{STUCK, 3, 0}});  // word offset 4 lands on word 0
  monitor_rig rig(config);
  rig.send("v");
  auto lines = crlf_lines(rig.send("1"));
  // Phase 2 reads word 0 first: it holds 3, written to word offset 4 last.
  auto read0 = std::find(lines.begin(), lines.end(), " 0r3");
  ASSERT_NE(read0, lines.end());
  EXPECT_EQ("*r3", *(read0 + 1));
  EXPECT_EQ(":2?", lines.back());
}

}  // namespace
