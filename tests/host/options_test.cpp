#include "log_file.h"
#include "options.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char USAGE_START[] = "Usage: korvane [-c] [-h] [-l <logfile>] [-p <port>] [-v] [sdram|flash]\n";

struct parsed {
    int status;
    run_options opts;
    std::string port_path;  // opts.port_path points into the argument vector, gone after parse()
    std::string out, err;
};

parsed parse(std::vector<std::string> args, bool posixly_correct = false)
{
    args.insert(args.begin(), "korvane");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    if (posixly_correct)
        setenv("POSIXLY_CORRECT", "1", 1);
    optind = 0;  // a full re-initialisation, which also re-reads POSIXLY_CORRECT
    parsed p;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    p.status = parse_command_line((int)args.size(), argv.data(), &p.opts);
    p.err = testing::internal::GetCapturedStderr();
    p.out = testing::internal::GetCapturedStdout();
    unsetenv("POSIXLY_CORRECT");
    close_log_file();
    if (p.opts.port_path)
        p.port_path = p.opts.port_path;
    p.opts.port_path = nullptr;
    return p;
}

bool is_usage(const std::string &err)
{
    return err.compare(0, sizeof USAGE_START - 1, USAGE_START) == 0 && err.size() > 400 &&
           err.substr(err.size() - 2) == "\n\n";
}

TEST(CommandLine, OptionsAndTestNames)
{
    struct {
        std::vector<std::string> args;
        int port;
        const char *path;
        bool continuous, verbose, sdram, flash;
        bool posixly_correct = false;  // parsing stops at the first name
    } cases[] = {
        {{}, 1, nullptr, false, false, true, true},
        {{"-p", "3", "flash"}, 3, nullptr, false, false, false, true},
        {{"flash", "-p", "3"}, 3, nullptr, false, false, false, true},  // permutation
        {{"-p", "12", "flash", "-v"}, 12, nullptr, false, true, false, true},
        {{"-c", "-v", "sdram"}, 1, nullptr, true, true, true, false},
        {{"-cv"}, 1, nullptr, true, true, true, true},
        {{"sdram", "flash"}, 1, nullptr, false, false, true, true},  // two names: both tests
        {{"bogus", "words"}, 1, nullptr, false, false, true, true},
        {{"-p", "x"}, 0, nullptr, false, false, true, true},
        {{"-p", "-3"}, -3, nullptr, false, false, true, true},
        {{"-p12"}, 12, nullptr, false, false, true, true},
        {{"-p", "/dev/pts/7"}, 1, "/dev/pts/7", false, false, true, true},
        {{"-p", "/dev/pts/7", "-p", "2"}, 2, nullptr, false, false, true, true},
        // "flash" is not the only argument left, so both tests run on port 1.
        {{"flash", "-p", "3"}, 1, nullptr, false, false, true, true, true},
        {{"-p", "3", "flash"}, 3, nullptr, false, false, false, true, true},
    };
    for (const auto &c : cases) {
        parsed p = parse(c.args, c.posixly_correct);
        SCOPED_TRACE(testing::PrintToString(c.args) + (c.posixly_correct ? " POSIXLY_CORRECT" : ""));
        EXPECT_EQ(-1, p.status);
        EXPECT_EQ("", p.err);
        EXPECT_EQ(c.port, p.opts.port_number);
        EXPECT_EQ(c.path ? c.path : "", p.port_path);
        EXPECT_EQ(c.continuous, p.opts.continuous);
        EXPECT_EQ(c.verbose, p.opts.verbose);
        EXPECT_EQ(c.sdram, p.opts.run_sdram_test);
        EXPECT_EQ(c.flash, p.opts.run_flash_test);
    }
}

TEST(CommandLine, ErrorsPrintTheUsageTextAndNothingElse)
{
    std::vector<std::vector<std::string>> cases = {
        {"-h"}, {"-x"}, {"-l"}, {"-p"}, {"memory"}, {"-v", "SDRAM"}, {"--help"},
    };
    for (const auto &args : cases) {
        parsed p = parse(args);
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_EQ(1, p.status);
        EXPECT_TRUE(is_usage(p.err)) << p.err;
        EXPECT_EQ("", p.out);
    }
}

TEST(CommandLine, LogFilesOpenAsTheyStand)
{
    const std::string dir = temp_dir("korvane-opts");
    ASSERT_NE("", dir);
    const std::string first = dir + "/first.log", second = dir + "/second.log";

    // A -l before a later error has created its file and said so.
    parsed p = parse({"-l", first, "-x"});
    EXPECT_EQ(1, p.status);
    EXPECT_EQ("Logging to '" + first + "'\n", p.out);
    EXPECT_TRUE(is_usage(p.err));
    struct stat st;
    EXPECT_EQ(0, stat(first.c_str(), &st));

    // Two -l: both created, the second is the one in use.
    p = parse({"-l", first, "-l", second});
    EXPECT_EQ(-1, p.status);
    EXPECT_EQ("Logging to '" + first + "'\nLogging to '" + second + "'\n", p.out);
    EXPECT_EQ(0, stat(second.c_str(), &st));

    std::string missing = dir + "/no/such/dir.log";
    p = parse({"-l", missing, "-h"});
    EXPECT_EQ(1, p.status);
    EXPECT_EQ("Could not open logfile '" + missing + "'.\n", p.err);

    remove_tree(dir);
}

} // namespace
