#include "log_file.h"
#include "monitor_protocol.h"
#include "test_files.h"
#include "scripted_link.h"
#include "test_phase.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// A monitor played from a table: what each command byte answers (trace text,
// ":", result). It prompts first and again after every answer, and falls
// silent after `limit` answers so that a continuous run ends.
struct scripted_monitor {
    std::map<char, std::string> answers = {{'1', ":0"}, {'2', ":0"}, {'v', ":0"}, {'s', ":0"}};
    std::string before_prompt;  // noise the host must throw away
    int limit = 100;
};

void attach_monitor(const scripted_monitor &m)
{
    auto out = std::make_shared<std::deque<int>>();
    for (char c : m.before_prompt + "?")
        out->push_back((unsigned char)c);
    auto seen = std::make_shared<std::size_t>(0);
    auto answered = std::make_shared<int>(0);
    scripted_link_reset([m, out, seen, answered](unsigned) {
        while (*seen < serial_log.written.size()) {
            char command = (char)serial_log.written[(*seen)++];
            if (++*answered > m.limit)
                return SILENCE;
            auto it = m.answers.find(command);
            for (char c : (it == m.answers.end() ? std::string(":0") : it->second) + "?")
                out->push_back((unsigned char)c);
        }
        if (out->empty())
            return SILENCE;
        int byte = out->front();
        out->pop_front();
        return byte;
    });
}

run_options options(bool verbose, bool continuous, bool sdram, bool flash)
{
    return run_options{1, nullptr, continuous, verbose, sdram, flash};
}

std::string commands_sent()
{
    return std::string(serial_log.written.begin(), serial_log.written.end());
}

std::string run_phase(const run_options &opts)
{
    testing::internal::CaptureStdout();
    try {
        run_test_phase(&opts);
    } catch (const script_exhausted &) {
        // A continuous run only ends when the monitor falls silent.
    }
    return testing::internal::GetCapturedStdout();
}

TEST(TestPhase, CommandBytesForEachOptionSet)
{
    struct {
        bool verbose, continuous, sdram, flash;
        int limit;
        const char *commands;
    } cases[] = {
        {false, false, true, true, 100, "12"},
        {true, false, true, true, 100, "v12"},
        {false, false, true, false, 100, "1"},
        {false, false, false, true, 100, "2"},
        {true, false, false, true, 100, "v2"},
        {false, true, true, true, 7, "s1212121"},
        {true, true, false, true, 5, "vs2222"},
    };
    for (const auto &c : cases) {
        scripted_monitor m;
        m.limit = c.limit;
        attach_monitor(m);
        run_phase(options(c.verbose, c.continuous, c.sdram, c.flash));
        EXPECT_EQ(c.commands, commands_sent()) << c.verbose << c.continuous << c.sdram << c.flash;
    }
}

TEST(TestPhase, PassedOnlyWhenTheResultStartsWithZero)
{
    struct {
        const char *answer;
        const char *word;
    } cases[] = {{":0", "passed"}, {":1", "failed"}, {":2", "failed"}, {":5", "failed"},
                 {":6", "failed"}, {":10", "failed"}, {":01", "passed"}, {":ff", "failed"}};
    for (const auto &c : cases) {
        scripted_monitor m;
        m.answers['1'] = c.answer;
        attach_monitor(m);
        std::string console = run_phase(options(false, false, true, true));
        // The rest of a longer result must not leak into the FLASH line.
        EXPECT_EQ(std::string("Testing SDRAM... ") + c.word + "\nTesting FLASH... passed\n", console) << c.answer;
    }
}

TEST(TestPhase, PlainAndVerboseConsoleText)
{
    scripted_monitor m;
    m.before_prompt = "noise\r\n";
    m.answers['1'] = "D0\r\n 0w1\r\n:0";
    m.answers['2'] = "M2c Df1 R80 P95 \r\nSe1\r\n:5";
    attach_monitor(m);
    EXPECT_EQ("Testing SDRAM...\nD0\r\n 0w1\r\npassed\nTesting FLASH...\nM2c Df1 R80 P95 \r\nSe1\r\nfailed\n",
              run_phase(options(true, false, true, true)));

    // Without -v the monitor sends no trace; the host shows one line a test.
    m.answers['1'] = ":0";
    m.answers['2'] = ":5";
    attach_monitor(m);
    EXPECT_EQ("Testing SDRAM... passed\nTesting FLASH... failed\n", run_phase(options(false, false, true, true)));
}

TEST(TestPhase, LogFileHoldsExactlyTheTestPhaseText)
{
    char path[] = "/tmp/korvane_log_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(open_log_file(path));

    scripted_monitor m;
    m.answers['1'] = "D0\r\n:0";
    attach_monitor(m);
    std::string console = run_phase(options(true, false, true, true));
    EXPECT_TRUE(close_log_file());

    std::string log = read_file(path);
    EXPECT_EQ(console, log);
    EXPECT_EQ("Testing SDRAM...\nD0\r\npassed\nTesting FLASH...\npassed\n", log);
    std::remove(path);
}

TEST(TestPhase, BytesBeforeThePromptAreThrownAway)
{
    scripted_link_reset(replies({'x', ':', '0', '?', ':', '0'}));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(run_monitor_command('v'));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("v", commands_sent());
    for (unsigned t : serial_log.read_timeouts)
        EXPECT_EQ(0u, t);  // the exchange waits without time-out
}

TEST(TestPhase, ALogThatCannotBeWrittenIsReported)
{
    ASSERT_TRUE(open_log_file("/dev/full"));
    scripted_monitor m;
    attach_monitor(m);
    run_phase(options(false, false, true, true));
    EXPECT_FALSE(close_log_file());
}

} // namespace
