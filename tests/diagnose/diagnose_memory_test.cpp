// korvane-diagnose's memory stays flat whatever it is fed: logs far larger
// than the bound, a stream of blank lines, endless lines, /dev/zero. Each
// runs with its address space capped, fed through a pipe as it reads, and
// its peak resident size (which counts the test's own, from before the
// program started) is checked against the bound. Nothing is timed.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "child_process.h"
#include "korvane_logs.h"

namespace {

constexpr long PEAK_BOUND_KB = 64 * 1024;
constexpr unsigned long long ADDRESS_SPACE_CAP = 256ull << 20;
// Far beyond any case's time: a bound, not a measure.
constexpr double RUN_TIMEOUT_S = 110;

// Runs korvane-diagnose with args, its standard input fed with chunk(i) for
// i = 0, 1, ... until chunk gives "" or the program stops reading.
child_result run_fed(std::vector<std::string> args, const std::function<std::string(long)> &chunk) {
  args.insert(args.begin(), DIAGNOSE_PATH);
  child_setup setup;
  setup.fed = true;
  setup.out_dropped = true;
  setup.address_space = ADDRESS_SPACE_CAP;
  pid_t pid = start_child(args, "korvane-diagnose", setup);
  if (pid < 0) return child_result();
  feed_child(pid, chunk, RUN_TIMEOUT_S);
  return finish_child(pid, "korvane-diagnose", RUN_TIMEOUT_S);
}

// The same text over and over, up to bytes in all.
std::function<std::string(long)> repeated(const std::string &text, long long bytes) {
  std::string block;
  while (block.size() < (1u << 20)) block += text;
  return [block, bytes](long i) {
    return static_cast<long long>(i) * static_cast<long long>(block.size()) < bytes ? block
                                                                                    : std::string();
  };
}

TEST(DiagnoseMemory, StaysFlatWhateverItIsFed) {
  const long long GB = 1ll << 30;
  std::string pass = traced_sdram_test(sdram_fault_config{}) + traced_flash_test(good_flash());
  std::string failing = traced_sdram_test(sdram_fault_set({{sdram_fault_kind::data_stuck, 5, 1}}));
  std::string soak;  // one pass in seven fails
  for (int i = 0; i < 7; ++i) soak += (i == 3 ? failing : traced_sdram_test(sdram_fault_config{}));
  std::string plain, alternate = plain_test(true, true) + plain_test(true, false);
  for (int i = 0; i < 7; ++i) plain += plain_test(true, i != 3) + plain_test(false, true);
  struct feed_case {
    const char *name;
    std::vector<std::string> args;
    std::function<std::string(long)> input;
    int status;
    const char *err;  // in its standard error
  } cases[] = {
      {"a soak log of 20,001 passes", {"--junit"}, repeated(pass, 20001ll * pass.size()), 0, ""},
      {"64 MB of verbose passes, some failing", {"--json"}, repeated(soak, 64ll << 20), 0, ""},
      {"100 MB of plain passes, pass by pass", {"--junit"}, repeated(plain, 100ll << 20), 0, ""},
      // A verdict that changes with every pass fills the record the soonest;
      // past its bound the report collapses, and the verdict stands.
      {"256 MB of plain passes, every other one failing",
       {"--junit", "--exit-status"},
       repeated(alternate, 256ll << 20),
       8,
       ""},
      {"256 MB of blank lines", {}, repeated("\n", 256ll << 20), 1, ": no test in the log"},
      {"a 1 GB line", {}, repeated("x", GB), 1, ": line 1: a line longer than"},
      // Noise longer than any line is one unreadable pass: no verdict.
      {"a 256 MB line after a pass",
       {"--exit-status"},
       [&](long i) { return i == 0 ? pass : repeated("x", 256ll << 20)(i - 1); },
       4,
       ""},
      {"256 MB of blank lines after a pass",
       {},
       [&](long i) { return i == 0 ? pass : repeated("\r\n", 256ll << 20)(i - 1); },
       0,
       ""},
      {"8 MB of NULs after a pass",
       {},
       [&](long i) { return i == 0 ? pass : repeated(std::string(1, '\0'), 8ll << 20)(i - 1); },
       0,
       ""},
      {"1 GB of NULs after a pass",
       {},
       [&](long i) { return i == 0 ? pass : repeated(std::string(1, '\0'), GB)(i - 1); },
       1,
       ": line 241: a line longer than"},
  };
  for (const feed_case &c : cases) {
    SCOPED_TRACE(c.name);
    child_result r = run_fed(c.args, c.input);
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(c.err)) << r.err;
    EXPECT_GT(PEAK_BOUND_KB, r.peak_kb);
  }
  child_result zero = run_fed({"/dev/zero"}, [](long) { return std::string(); });
  EXPECT_EQ(1, zero.status);
  EXPECT_NE(std::string::npos, zero.err.find("/dev/zero: line 1: a line longer than")) << zero.err;
  EXPECT_GT(PEAK_BOUND_KB, zero.peak_kb);
}

}  // namespace
