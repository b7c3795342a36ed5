#include "korvane_run.h"
#include "log_file.h"
#include "scripted_link.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct outcome {
    int status;
    std::string out, err;
};

// Tests run side by side under ctest, so each process logs to its own file.
std::string log_path()
{
    return "/tmp/korvane_run_test." + std::to_string(getpid()) + ".log";
}

outcome run(std::vector<std::string> args)
{
    args.insert(args.begin(), "korvane");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    optind = 0;
    outcome o;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    o.status = korvane_run((int)args.size(), argv.data());
    o.err = testing::internal::GetCapturedStderr();
    o.out = testing::internal::GetCapturedStdout();
    return o;
}

TEST(Run, APortThatDoesNotOpenEndsWithStatusOne)
{
    scripted_link_reset(replies({}));
    scripted_link_fail_open();
    outcome o = run({"-l", log_path(), "-p", "4"});
    EXPECT_EQ(1, o.status);
    EXPECT_EQ(4, serial_log.opened_port);
    EXPECT_FALSE(serial_log.configured);
    EXPECT_FALSE(log_file_is_open());
    EXPECT_EQ("Logging to '" + log_path() + "'\n", o.out);
    std::remove(log_path().c_str());
}

TEST(Run, ACancelledDownloadIsReportedAndEverythingClosed)
{
    // Wake-up answered after one silent try, then the receiver cancels.
    scripted_link_reset(replies({SILENCE, 0x15, 0x18, 0x18}));
    outcome o = run({"-l", log_path()});
    EXPECT_EQ(1, o.status);
    EXPECT_EQ("Xmodem download failed: -1.\n", o.err);
    EXPECT_EQ("Logging to '" + log_path() + "'\nWaiting for the board to wake up...\r" + std::string(31, ' ') +
                  "\r",
              o.out);
    EXPECT_TRUE(serial_log.configured);
    EXPECT_TRUE(serial_log.closed);
    EXPECT_FALSE(log_file_is_open());
    std::remove(log_path().c_str());
}

} // namespace
