// The built korvane binary over a real pseudo-terminal, against a small
// scripted board played by the test: it answers the wake-up, receives the
// image in CRC mode, checks it against the image the host carries, then
// plays a monitor.
#include "boot_image.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

const unsigned char NAK = 0x15, ACK = 0x06, CAN = 0x18, EOT = 0x04, SOH = 0x01;

int read_byte(int fd, int timeout_ms)
{
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1 || !(p.revents & POLLIN))
        return -1;
    unsigned char byte;
    return read(fd, &byte, 1) == 1 ? byte : -1;
}

void write_bytes(int fd, const std::string &bytes)
{
    ssize_t n = write(fd, bytes.data(), bytes.size());
    (void)n;
}

struct board_script {
    bool cancel_download = false;
    std::map<char, std::string> answers = {{'1', ":0"}, {'2', ":0"}, {'v', ":0"}, {'s', ":0"}};
    int close_after_commands = -1;  // hang up after this many commands
    // Filled by the board.
    std::vector<unsigned char> received;
    bool image_matches = false;
    std::string commands;
};

uint16_t crc16(const unsigned char *data, int size)
{
    uint16_t crc = 0;
    for (int i = 0; i < size; i++) {
        crc ^= (uint16_t)(data[i] << 8);
        for (int b = 0; b < 8; b++)
            crc = (uint16_t)(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// held_slave keeps the pseudo-terminal alive until korvane has opened it;
// the board lets go of it at the first byte, so that korvane's exit then
// reads as a hang-up.
void play_board(int fd, int held_slave, board_script *s)
{
    const unsigned char pattern[8] = {0xBB, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    int matched = 0;
    while (matched < 8) {
        int b = read_byte(fd, 5000);
        if (held_slave >= 0) {
            close(held_slave);
            held_slave = -1;
        }
        if (b < 0)
            return;
        matched = b == pattern[matched] ? matched + 1 : (b == pattern[0] ? 1 : 0);
    }
    write_bytes(fd, std::string(1, (char)NAK));
    write_bytes(fd, "C");
    for (;;) {
        int first = read_byte(fd, 5000);
        if (first == EOT) {
            write_bytes(fd, std::string(1, (char)ACK));
            break;
        }
        if (first != SOH)
            return;
        unsigned char block[132];
        for (unsigned char &c : block) {
            int b = read_byte(fd, 2000);
            if (b < 0)
                return;
            c = (unsigned char)b;
        }
        if (s->cancel_download) {
            write_bytes(fd, std::string(2, (char)CAN));
            // The host answers with one ACK and drains; stay quiet till it is gone.
            while (read_byte(fd, 3000) >= 0) {
            }
            return;
        }
        uint16_t crc = crc16(block + 2, 128);
        bool good = block[1] == 0xFF - block[0] && block[130] == crc >> 8 && block[131] == (crc & 0xFF);
        write_bytes(fd, std::string(1, (char)(good ? ACK : NAK)));
        if (good)
            s->received.insert(s->received.end(), block + 2, block + 130);
    }
    s->image_matches = s->received.size() >= BOOT_IMAGE_SIZE &&
                       std::memcmp(s->received.data(), boot_image, BOOT_IMAGE_SIZE) == 0;

    write_bytes(fd, "?");
    for (;;) {
        int command = read_byte(fd, 5000);
        if (command < 0)
            return;
        if ((int)s->commands.size() == s->close_after_commands)
            return;
        s->commands += (char)command;
        auto it = s->answers.find((char)command);
        write_bytes(fd, (it == s->answers.end() ? std::string(":0") : it->second) + "?");
    }
}

struct result {
    int status = -1;
    std::string out, err;
    double ms_after_board_ended = 0;
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

result run_korvane(std::vector<std::string> args, board_script *script)
{
    int master = -1, slave = -1;
    char path[128];
    EXPECT_EQ(0, openpty(&master, &slave, path, nullptr, nullptr));

    // ctest runs tests side by side: every file is the test process's own.
    std::string tag = std::to_string(getpid());
    std::string out_path = testing::TempDir() + "korvane_out." + tag, err_path = testing::TempDir() + "korvane_err." + tag;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addclose(&actions, master);
    posix_spawn_file_actions_addclose(&actions, slave);

    args.insert(args.begin(), {KORVANE_BINARY, "-p", path});
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid;
    EXPECT_EQ(0, posix_spawn(&pid, KORVANE_BINARY, &actions, nullptr, argv.data(), environ));
    posix_spawn_file_actions_destroy(&actions);

    play_board(master, slave, script);
    close(master);
    auto ended = std::chrono::steady_clock::now();

    result r;
    int wstatus = 0;
    for (int waited = 0; waited < 10000; waited += 10) {
        if (waitpid(pid, &wstatus, WNOHANG) == pid) {
            r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
            break;
        }
        usleep(10000);
    }
    r.ms_after_board_ended =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - ended).count();
    if (r.status == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, &wstatus, 0);
    }
    r.out = slurp(out_path);
    r.err = slurp(err_path);
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return r;
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
    result r = run_korvane({"-v", "-l", log}, &board);
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
    result r = run_korvane({"-l", log}, &board);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("Xmodem download failed: -1.\n", r.err);
    EXPECT_EQ("", slurp(log));
    unlink(log.c_str());
}

TEST(KorvaneBinary, ABoardThatGoesAwayEndsTheRunAtOnce)
{
    board_script board;
    board.close_after_commands = 1;
    result r = run_korvane({"-c"}, &board);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(0u, r.err.find("Lost serial port /dev/pts/")) << r.err;
    // Bounded loosely: the point is that it ends rather than spins or hangs.
    EXPECT_LT(r.ms_after_board_ended, 3000.0);
    std::printf("korvane ended %.0f ms after the board hung up\n", r.ms_after_board_ended);
}

} // namespace
