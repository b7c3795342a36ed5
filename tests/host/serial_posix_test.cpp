// The POSIX serial link over a real pseudo-terminal pair.
#include "serial_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

struct port_lost {};

void serial_port_lost(void) { throw port_lost(); }

namespace {

struct pty_pair {
  int master = -1, slave = -1;
  char path[128] = {0};
  pty_pair() {
    openpty(&master, &slave, path, nullptr, nullptr);
    // Only the link's own descriptor stays open on the slave side.
    close(slave);
  }
  ~pty_pair() {
    if (master >= 0) close(master);
  }
};

int read_master(int fd) {
  struct pollfd p = {fd, POLLIN, 0};
  if (poll(&p, 1, 1000) != 1) return -1;
  unsigned char byte;
  return read(fd, &byte, 1) == 1 ? byte : -1;
}

class SerialPosix : public testing::Test {
 protected:
  pty_pair pty;
  void SetUp() override {
    ASSERT_GE(pty.master, 0);
    ASSERT_TRUE(serial_open(0, pty.path));
    serial_configure(115200);
  }
  void TearDown() override { serial_close(); }
};

// A received NUL reads as 0, as silence does, and takes nothing after it.
TEST_F(SerialPosix, EveryByteValuePassesBothWaysUnchanged) {
  for (int b = 0; b < 256; b++) serial_write_byte((unsigned char)b);
  for (int b = 0; b < 256; b++) ASSERT_EQ(b, read_master(pty.master)) << "host to board";

  unsigned char all[256];
  for (int b = 0; b < 256; b++) all[b] = (unsigned char)b;
  ASSERT_EQ(256, write(pty.master, all, sizeof all));
  for (int b = 0; b < 256; b++) ASSERT_EQ(b, serial_read_byte(1000)) << "board to host";
}

TEST_F(SerialPosix, ASilentReadWaitsItsTimeOutAndGivesZero) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, serial_read_byte(50));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(50));
}

TEST_F(SerialPosix, ASecondOpenOfThePortFails) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(serial_open(0, pty.path));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::string("Could not open serial port ") + pty.path + ".\n" + pty.path +
                ": Device or resource busy\n",
            err);
  // The first open is left as it was.
  serial_write_byte('x');
  EXPECT_EQ('x', read_master(pty.master));
}

TEST_F(SerialPosix, AFarEndThatGoesAwayIsALostPortNotSilence) {
  close(pty.master);
  pty.master = -1;
  EXPECT_THROW(serial_read_byte(0), port_lost);
  EXPECT_THROW(serial_read_byte(50), port_lost);
}

TEST(SerialPosixOpen, NamesTheNumberedPortAndTheSystemsReason) {
  struct {
    int number;
    const char *first_line;
  } cases[] = {{0, "Could not open serial port COM0.\n"},
               {-3, "Could not open serial port COM-3.\n"}};
  for (const auto &c : cases) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(serial_open(c.number, nullptr));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, err.find(c.first_line)) << err;
    EXPECT_EQ(std::string(serial_port_name()),
              std::string(c.first_line).substr(27, err.find('.') - 27));
  }
}

}  // namespace
