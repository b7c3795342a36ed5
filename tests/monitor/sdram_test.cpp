// The SDRAM test on sound memory and with faults in the model's wiring.
#include <gtest/gtest.h>

#include <algorithm>

#include "monitor_bench.h"

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
  monitor_bench bench;
  bench.send("");
  board_clear_accesses(bench.b);
  EXPECT_EQ(bench.send("1"), ":0?");
  auto run = during_command(bench.accesses());
  EXPECT_EQ(run.size(), 232u);
  size_t writes = 0;
  for (const bus_access &a : run) {
    EXPECT_LT(a.address, SDRAM_END);
    EXPECT_EQ(a.width, 2);
    writes += a.write;
  }
  EXPECT_EQ(writes, 64u + 52u);
}

TEST(MonitorSdram, VerboseTraceOfSoundMemory) {
  monitor_bench bench;
  bench.send("v");
  std::string out = bench.send("1");
  ASSERT_EQ(out.substr(out.size() - 3), ":0?");
  auto lines = crlf_lines(out.substr(0, out.size() - 3));
  ASSERT_EQ(lines.size(), 129u + 105u);
  const char *first[] = {"D0", " 0w1", " 0r1", " 2w0", " 0r1", " 4wfffe", " 4rfffe", " 6w0", " 4rfffe"};
  for (size_t i = 0; i < std::size(first); ++i) EXPECT_EQ(lines[i], first[i]);
  EXPECT_EQ(lines[129], "A0 4000000");
  EXPECT_EQ(lines[130], " 0w0");
  EXPECT_EQ(lines[131], " 2w1");
  EXPECT_EQ(lines[130 + 26], " 0r0");
  EXPECT_EQ(lines[130 + 52], " 3fffffew0");
  EXPECT_EQ(lines.back(), " 1fffffer19");
  for (const std::string &line : lines) EXPECT_EQ(line.find('*'), std::string::npos) << line;
}

struct fault_case {
  const char *name;
  sdram_fault_config fault;
  char result;
};

sdram_fault_config one(sdram_fault_kind kind, int line, int other) {
  sdram_fault_config f;
  sdram_fault_add(&f, {kind, line, other});
  return f;
}
sdram_fault_config data_stuck(int line, int level) {
  return one(sdram_fault_kind::data_stuck, line, level);
}
sdram_fault_config addr_stuck(int line, int level) {
  return one(sdram_fault_kind::addr_stuck, line, level);
}
sdram_fault_config addr_short(int a, int b) { return one(sdram_fault_kind::addr_short, a, b); }
sdram_fault_config both(sdram_fault_config data, sdram_fault_config address) {
  sdram_fault_add(&data, address.faults[0]);
  return data;
}

TEST(MonitorSdram, FaultsGiveTheResultOfTheLastFailedTest) {
  const fault_case cases[] = {
      {"sound", {}, '0'},
      // The address test's counters stay below 32: data lines 5..15 stuck at
      // 0 fail only the data test.
      {"data line 5 stuck at 0", data_stuck(5, 0), '1'},
      {"data line 9 stuck at 0", data_stuck(9, 0), '1'},
      {"data line 15 stuck at 0", data_stuck(15, 0), '1'},
      {"data line 4 stuck at 0", data_stuck(4, 0), '2'},
      {"data line 0 stuck at 1", data_stuck(0, 1), '2'},
      {"data line 12 stuck at 1", data_stuck(12, 1), '2'},
      {"address line 1 stuck at 0", addr_stuck(1, 0), '2'},
      {"address line 13 stuck at 0", addr_stuck(13, 0), '2'},
      {"address line 25 stuck at 0", addr_stuck(25, 0), '2'},
      {"address line 1 stuck at 1", addr_stuck(1, 1), '2'},
      {"address line 25 stuck at 1", addr_stuck(25, 1), '2'},
      {"address lines 2 and 7 shorted", addr_short(2, 7), '2'},
      {"address lines 24 and 25 shorted", addr_short(24, 25), '2'},
      {"data and address faults", both(data_stuck(8, 0), addr_stuck(20, 1)), '2'},
  };
  for (const fault_case &c : cases) {
    SCOPED_TRACE(c.name);
    board_config config;
    config.sdram = c.fault;
    monitor_bench bench(config);
    bench.send("");
    EXPECT_EQ(bench.send("1"), std::string(":") + c.result + "?");
  }
}

TEST(MonitorSdram, EveryFailedPatternHasItsMismatchLine) {
  board_config config;
  config.sdram = data_stuck(12, 1);
  monitor_bench bench(config);
  bench.send("v");
  auto lines = crlf_lines(bench.send("1"));
  auto address_start = std::find(lines.begin(), lines.end(), "A0 4000000");
  ASSERT_NE(address_start, lines.end());
  std::vector<std::string> mismatches;
  for (auto line = lines.begin(); line != address_start; ++line)
    if ((*line)[0] == '*') mismatches.push_back(*line);
  // Line 12 high: every walking one but 0x1000 reads back with bit 12 set,
  // and of the complements only 0xefff fails. The line names the pattern.
  const std::vector<std::string> expected = {
      "*r1", "*r2", "*r4", "*r8", "*r10", "*r20", "*r40", "*r80", "*r100", "*r200",
      "*r400", "*r800", "*refff", "*r2000", "*r4000", "*r8000"};
  EXPECT_EQ(mismatches, expected);
  EXPECT_EQ(lines.back(), ":2?");  // the counters read back with bit 12 set too
}

TEST(MonitorSdram, StuckAddressLineNamesTheValueRead) {
  board_config config;
  config.sdram = addr_stuck(3, 0);  // word offset 4 lands on word 0
  monitor_bench bench(config);
  bench.send("v");
  auto lines = crlf_lines(bench.send("1"));
  // Phase 2 reads word 0 first: it holds 3, written to word offset 4 last.
  auto read0 = std::find(lines.begin(), lines.end(), " 0r3");
  ASSERT_NE(read0, lines.end());
  EXPECT_EQ(*(read0 + 1), "*r3");
  EXPECT_EQ(lines.back(), ":2?");
}

}  // namespace
