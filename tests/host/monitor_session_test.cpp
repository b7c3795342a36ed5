#include "log_file.h"
#include "monitor_script.h"
#include "scripted_link.h"
#include "test_files.h"
#include "monitor_session.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The monitor_script as the peer on the scripted link: at every read it
// answers the command bytes korvane has written since the last one.
void attach_monitor(monitor_script m) {
  auto script = std::make_shared<monitor_script>(std::move(m));
  auto out = std::make_shared<std::string>(monitor_greeting(*script));
  auto seen = std::make_shared<std::size_t>(0);
  scripted_link_reset([script, out, seen](unsigned) {
    std::string reply;
    while (*seen < serial_log.written.size()) {
      if (!monitor_reply(script.get(), (char)serial_log.written[(*seen)++], &reply)) return SILENCE;
      *out += reply;
    }
    if (out->empty()) return SILENCE;
    int byte = (unsigned char)(*out)[0];
    out->erase(0, 1);
    return byte;
  });
}

run_options options(bool verbose, bool continuous, bool sdram, bool flash) {
  return run_options{1, nullptr, continuous, verbose, sdram, flash};
}

std::string commands_sent() {
  return std::string(serial_log.written.begin(), serial_log.written.end());
}

std::string run_phase(const run_options &opts) {
  testing::internal::CaptureStdout();
  try {
    run_test_phase(&opts);
  } catch (const script_exhausted &) {
    // A continuous run only ends when the monitor falls silent.
  }
  return testing::internal::GetCapturedStdout();
}

TEST(TestPhase, CommandBytesForEachOptionSet) {
  struct {
    bool verbose, continuous, sdram, flash;
    int limit;
    const char *commands;
  } cases[] = {
      {false, false, true, true, 100, "12"},  {true, false, true, true, 100, "v12"},
      {false, false, true, false, 100, "1"},  {false, false, false, true, 100, "2"},
      {true, false, false, true, 100, "v2"},  {false, true, true, true, 7, "s1212121"},
      {true, true, false, true, 5, "vs2222"},
  };
  for (const auto &c : cases) {
    monitor_script m;
    m.limit = c.limit;
    attach_monitor(m);
    run_phase(options(c.verbose, c.continuous, c.sdram, c.flash));
    EXPECT_EQ(c.commands, commands_sent()) << c.verbose << c.continuous << c.sdram << c.flash;
  }
}

// A test passed only when its result starts with "0", and the rest of a
// longer result must not leak into the next line. The monitor's CR LF
// passes as it is; without -v the monitor sends no trace and the host shows
// one line a test. The log holds exactly the console's text.
TEST(TestPhase, ConsoleAndLogText) {
  struct {
    bool verbose;
    const char *sdram, *flash;  // the monitor's answers
    const char *console;
  } cases[] = {
      {false, ":0", ":0", "Testing SDRAM... passed\nTesting FLASH... passed\n"},
      {false, ":1", ":0", "Testing SDRAM... failed\nTesting FLASH... passed\n"},
      {false, ":2", ":0", "Testing SDRAM... failed\nTesting FLASH... passed\n"},
      {false, ":5", ":0", "Testing SDRAM... failed\nTesting FLASH... passed\n"},
      {false, ":6", ":0", "Testing SDRAM... failed\nTesting FLASH... passed\n"},
      {false, ":10", ":0", "Testing SDRAM... failed\nTesting FLASH... passed\n"},
      {false, ":01", ":0", "Testing SDRAM... passed\nTesting FLASH... passed\n"},
      {false, ":ff", ":0", "Testing SDRAM... failed\nTesting FLASH... passed\n"},
      {false, ":0", ":5", "Testing SDRAM... passed\nTesting FLASH... failed\n"},
      {true, "D0\r\n 0w1\r\n:0", "M2c Df1 R80 P95 \r\nSe1\r\n:5",
       "Testing SDRAM...\nD0\r\n 0w1\r\npassed\nTesting FLASH...\nM2c Df1 R80 P95 "
       "\r\nSe1\r\nfailed\n"},
      {true, "D0\r\n:0", ":0", "Testing SDRAM...\nD0\r\npassed\nTesting FLASH...\npassed\n"},
  };
  const std::string log = temp_file("korvane-log");
  ASSERT_NE("", log);
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.sdram) + " " + c.flash);
    monitor_script m;
    m.before_prompt = "noise\r\n";
    m.answers = {{'1', c.sdram}, {'2', c.flash}};
    attach_monitor(m);
    ASSERT_TRUE(open_log_file(log.c_str()));
    EXPECT_EQ(c.console, run_phase(options(c.verbose, false, true, true)));
    EXPECT_TRUE(close_log_file());
    EXPECT_EQ(c.console, read_file(log));
  }
  std::remove(log.c_str());
}

TEST(TestPhase, BytesBeforeThePromptAreThrownAway) {
  scripted_link_reset(replies({'x', ':', '0', '?', ':', '0'}));
  testing::internal::CaptureStdout();
  EXPECT_TRUE(run_monitor_command('v'));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
  EXPECT_EQ("v", commands_sent());
  for (unsigned t : serial_log.read_timeouts)
    EXPECT_EQ(0u, t);  // the exchange waits without time-out
}

TEST(TestPhase, ALogThatCannotBeWrittenIsReported) {
  ASSERT_TRUE(open_log_file("/dev/full"));
  attach_monitor(monitor_script());
  run_phase(options(false, false, true, true));
  std::string why;
  EXPECT_FALSE(close_log_file(&why));
  EXPECT_EQ(std::strerror(ENOSPC), why);
}

}  // namespace
