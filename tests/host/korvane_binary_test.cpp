// The built korvane binary over a real pseudo-terminal, against a small
// scripted board played by the test: it answers the wake-up, receives the
// image in CRC mode, checks it against the image the host carries, then
// plays a monitor.
#include "board_line.h"
#include "boot_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string progress_line()
{
    std::string s = "Waiting for the board to wake up...\r" + std::string(35, ' ') + "\rDownloading boot code...(  0%)";
    std::size_t blocks = BOOT_IMAGE_SIZE / 128 + 1;
    for (std::size_t i = 0; i < blocks; i++) {
        char step[16];
        std::snprintf(step, sizeof step, "\b\b\b\b\b%3d%%)", (int)(100 * i * 128 / BOOT_IMAGE_SIZE));
        s += step;
    }
    return s + "\r" + std::string(31, ' ') + "\r";
}

TEST(KorvaneBinary, HelpPrintsTheUsageTextAndExitsOne)
{
    std::string cmd = std::string(KORVANE_BINARY) + " -h 2>&1 >/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(nullptr, p);
    std::string err;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        err.append(buf, n);
    int status = pclose(p);
    EXPECT_EQ(1, WEXITSTATUS(status));
    EXPECT_EQ("Usage: korvane [-c] [-h] [-l <logfile>] [-p <port>] [-v] [sdram|flash]\n"
              "\n"
              "Version: 1.3, 03 January 2013\n"
              "\n"
              "Tests basic components (SDRAM and FLASH) of a Tarrowind Brenmoor\n"
              "unit. If no test is specified all tests are run in sequence.\n"
              "\n"
              "  -c            Run test(s) continuously (CTRL-C to stop).\n"
              "\n"
              "  -h            Print this usage message.\n"
              "\n"
              "  -l            Log test(s) results to <logfile>.\n"
              "\n"
              "  -p <port>     Use the specified serial port (default is \"1\").  Valid\n"
              "                values are 1 (COM1), 2 (COM2), etc.\n"
              "\n"
              "  -v            Run test(s) in verbose mode.\n"
              "\n",
              err);
}

TEST(KorvaneBinary, AWholeRunAgainstAScriptedBoard)
{
    board_script board;
    board.answers['1'] = "D0\r\n 0w1\r\n:0";
    board.answers['2'] = "M2c Df1 R0 P95 \r\nSe0\r\n:1";
    std::string log = testing::TempDir() + "korvane_binary.log." + std::to_string(getpid());
    child_result r = run_on_board(KORVANE_BINARY, {"-v", "-l", log}, &board, "whole", open_line());
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_TRUE(board.image_matches);
    EXPECT_EQ("v12", board.commands);
    std::string phase = "Testing SDRAM...\nD0\r\n 0w1\r\npassed\nTesting FLASH...\nM2c Df1 R0 P95 \r\nSe0\r\nfailed\n";
    EXPECT_EQ("Logging to '" + log + "'\n" + progress_line() + phase, r.out);
    EXPECT_EQ(phase, slurp(log));
    unlink(log.c_str());
}

TEST(KorvaneBinary, ACancelledDownloadEndsWithItsCode)
{
    board_script board;
    board.cancel_download = true;
    std::string log = testing::TempDir() + "korvane_cancel.log." + std::to_string(getpid());
    child_result r = run_on_board(KORVANE_BINARY, {"-l", log}, &board, "cancel", open_line());
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("Xmodem download failed: -1.\n", r.err);
    EXPECT_EQ("", slurp(log));
    unlink(log.c_str());
}

} // namespace
