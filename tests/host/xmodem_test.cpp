// The XMODEM sender against the simulated boot ROM's receiver, whose answers
// a case may replace to play a receiver that refuses, cancels, stays silent
// or sends noise.
#include "boot_image_format.h"
#include "boot_rom.h"
#include "scripted_link.h"
#include "xmodem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

namespace {

typedef std::vector<int> bytes;
const int ACK = BOOT_ROM_ACK, NAK = BOOT_ROM_NAK, CAN = BOOT_ROM_CAN;

struct receiver {
  boot_rom_config config;
  bool scripted_handshake = false;
  bytes handshake;  // with scripted_handshake, sent in place of the ROM's requests
  // The answer to the given copy of a block (counted from 0 over every copy
  // sent) or to the given EOT; empty: the ROM's own answer.
  std::function<bytes(int copy)> on_block = [](int) { return bytes{}; };
  std::function<bytes(int eot)> on_eot = [](int) { return bytes{}; };

  // Filled while the sender runs.
  boot_rom rom;
  std::vector<std::vector<unsigned char>> blocks;  // every copy, in order
  int eots = 0;
  std::vector<unsigned char> controls;  // bytes written outside blocks and EOT (ACK, CAN)
};

// Wakes the ROM (its NAK is the wake-up's, not the sender's) and makes it the
// sender's peer on the scripted link.
void attach(std::shared_ptr<receiver> r) {
  boot_rom_init(&r->rom, &r->config);
  std::vector<uint8_t> out;
  for (uint8_t b : {0xBB, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77})
    boot_rom_receive(&r->rom, b, 0, &out);
  auto pending = std::make_shared<std::deque<int>>(out.begin() + 1, out.end());
  if (r->scripted_handshake) pending->assign(r->handshake.begin(), r->handshake.end());
  auto seen = std::make_shared<std::size_t>(0);
  scripted_link_reset([r, pending, seen](unsigned) {
    const std::vector<unsigned char> &written = serial_log.written;
    boot_rom_ms now = (boot_rom_ms)serial_log.clock_ms;
    std::vector<uint8_t> out;
    if (written.size() > *seen) {
      std::vector<unsigned char> fresh(written.begin() + (long)*seen, written.end());
      *seen = written.size();
      for (unsigned char b : fresh) boot_rom_receive(&r->rom, b, now, &out);
      bytes answer;
      if (fresh.size() >= 132 && fresh[0] == BOOT_ROM_SOH) {
        r->blocks.push_back(fresh);
        answer = r->on_block((int)r->blocks.size() - 1);
      } else if (fresh.size() == 1 && fresh[0] == BOOT_ROM_EOT) {
        answer = r->on_eot(r->eots++);
      } else {
        r->controls.insert(r->controls.end(), fresh.begin(), fresh.end());
      }
      if (answer.empty()) answer.assign(out.begin(), out.end());
      pending->assign(answer.begin(), answer.end());
    } else if (pending->empty() && !(r->scripted_handshake && r->blocks.empty())) {
      boot_rom_tick(&r->rom, now, &out);
      pending->assign(out.begin(), out.end());
    }
    if (pending->empty()) return SILENCE;
    int byte = pending->front();
    pending->pop_front();
    return byte;
  });
}

std::vector<unsigned char> test_data(std::size_t size) {
  std::vector<unsigned char> data(size);
  for (std::size_t i = 0; i < size; i++) data[i] = (unsigned char)(i * 7 + 3);
  return data;
}

int count_reads(unsigned timeout) {
  return (int)std::count(serial_log.read_timeouts.begin(), serial_log.read_timeouts.end(), timeout);
}

struct sent {
  int result;
  std::string console;
};

sent send(const std::vector<unsigned char> &data) {
  testing::internal::CaptureStdout();
  int result = xmodem_send(data.data(), data.size());
  return {result, testing::internal::GetCapturedStdout()};
}

// The sender's table-driven CRC against the boot ROM's bit by bit one, the
// tests' reference, and both against the standard check value.
TEST(XmodemCrc, MatchesTheStandardCheckValueAndTable) {
  const char *text = "123456789";
  EXPECT_EQ(0x31C3, xmodem_crc16((const unsigned char *)text, std::strlen(text)));
  EXPECT_EQ(0x31C3, boot_rom_crc16((const unsigned char *)text, std::strlen(text)));
  // From a zero CRC one byte b gives table[b].
  const unsigned char one = 0x01, all = 0xFF;
  EXPECT_EQ(0x1021, xmodem_crc16(&one, 1));
  EXPECT_EQ(0x1EF0, xmodem_crc16(&all, 1));
  std::vector<unsigned char> data = test_data(1000);
  EXPECT_EQ(boot_rom_crc16(data.data(), data.size()), xmodem_crc16(data.data(), data.size()));
}

// The ROM takes only well-formed blocks in order (number, complement, check
// high byte first), so what it stored shows the whole transfer: the data,
// then CTRL-Z and zeros to the end of a block, a lone CTRL-Z block after a
// whole number of blocks.
TEST(XmodemWire, TheReceiverStoresTheDataAndItsFiller) {
  std::vector<unsigned char> code = test_data(0x784);
  std::vector<uint8_t> packed = boot_image_pack(code.data(), code.size());
  struct {
    std::vector<unsigned char> data;
    bool checksum_mode;
    std::size_t blocks;
  } cases[] = {
      {test_data(200), false, 2},
      {test_data(100), true, 1},
      {test_data(1), false, 1},
      {test_data(127), false, 1},
      {test_data(128), false, 2},
      {test_data(129), true, 2},
      {test_data(256), false, 3},
      {test_data(2440), false, 20},
      {std::vector<unsigned char>(packed.begin(), packed.end()), false, 20},
      {test_data(300 * 128 - 1), false, 300},  // block numbers wrap after 255
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.data.size() << (c.checksum_mode ? " checksum" : " CRC"));
    auto r = std::make_shared<receiver>();
    r->config.checksum_mode = c.checksum_mode;
    attach(r);
    EXPECT_EQ((int)c.blocks * 128, send(c.data).result);
    ASSERT_EQ(c.blocks, r->blocks.size());
    EXPECT_EQ(c.checksum_mode ? 132u : 133u, r->blocks[0].size());
    std::vector<unsigned char> stored = c.data;
    stored.push_back(0x1A);
    stored.resize(c.blocks * 128, 0);
    EXPECT_EQ(stored, r->rom.image);
    EXPECT_EQ(boot_rom_state::done, r->rom.state);
    EXPECT_EQ(1, r->eots);
  }
}

TEST(XmodemProgress, ShowsThePercentageBeforeEachBlock) {
  auto r = std::make_shared<receiver>();
  attach(r);
  std::string console = send(test_data(2440)).console;
  std::string expected = "\r" + std::string(35, ' ') + "\r" + "Downloading boot code...(  0%)";
  for (int percent :
       {0, 5, 10, 15, 20, 26, 31, 36, 41, 47, 52, 57, 62, 68, 73, 78, 83, 89, 94, 99}) {
    char step[16];
    std::snprintf(step, sizeof step, "\b\b\b\b\b%3d%%)", percent);
    expected += step;
  }
  EXPECT_EQ(expected, console);
}

// What the sender did, in words: its result, how often it sent the first
// block, the ACK and CAN bytes it wrote, and whether it drained the line.
std::string what_the_sender_did(int result, const receiver &r, bool drained) {
  long copies = std::count_if(r.blocks.begin(), r.blocks.end(),
                              [](const std::vector<unsigned char> &b) { return b[1] == 1; });
  long acks = std::count(r.controls.begin(), r.controls.end(), ACK);
  long cans = std::count(r.controls.begin(), r.controls.end(), CAN);
  return "result " + std::to_string(result) + ", first block " + std::to_string(copies) + "x, " +
         std::to_string(acks) + " ACK, " + std::to_string(cans) + " CAN, " +
         (drained ? "drained" : "not drained");
}

// How the sender meets a receiver that refuses, cancels, stays silent or
// sends noise.
TEST(XmodemReceiver, Behaviours) {
  struct scenario {
    const char *name;
    std::function<void(receiver *)> receiver_acts;  // changes the sound ROM
    const char *sender_did;                         // as what_the_sender_did says
    const char *console;                            // null: not checked
  } cases[] = {
      {"a NAK repeats the block",
       [](receiver *r) { r->config.nak_block = 1, r->config.nak_count = 1; },
       "result 128, first block 2x, 0 ACK, 0 CAN, not drained", nullptr},
      {"silence repeats the block",
       [](receiver *r) { r->on_block = [](int b) { return b < 3 ? bytes{SILENCE} : bytes{}; }; },
       "result 128, first block 4x, 0 ACK, 0 CAN, not drained", nullptr},
      {"a high byte is silence after a block",
       [](receiver *r) { r->on_block = [](int b) { return b == 0 ? bytes{0x86} : bytes{}; }; },
       "result 128, first block 2x, 0 ACK, 0 CAN, not drained", nullptr},
      {"a lone CAN then ACK uses up the try",
       [](receiver *r) { r->on_block = [](int b) {
                           return b == 0 ? bytes{CAN, ACK} : bytes{};
                         }; },
       "result 128, first block 2x, 0 ACK, 0 CAN, not drained", nullptr},
      {"CAN CAN after a block cancels", [](receiver *r) { r->config.cancel_block = 1; },
       "result -1, first block 1x, 1 ACK, 0 CAN, drained", nullptr},
      {"CAN CAN in the handshake cancels",
       [](receiver *r) {
         r->scripted_handshake = true, r->handshake = {CAN, CAN};
       },
       "result -1, first block 0x, 1 ACK, 0 CAN, drained", nullptr},
      {"a lone CAN in the handshake uses up the try",
       [](receiver *r) {
         r->scripted_handshake = true, r->handshake = {CAN, 'x', 'C'};
       },
       "result 128, first block 1x, 0 ACK, 0 CAN, not drained", nullptr},
      {"high bytes in the handshake are silence",
       [](receiver *r) {
         r->config.checksum_mode = true;
         r->scripted_handshake = true, r->handshake = {0xC3, 0x95, NAK};
       },
       "result 128, first block 1x, 0 ACK, 0 CAN, not drained", nullptr},
      // Nothing printed: the progress line belongs to a transfer under way.
      {"no handshake", [](receiver *r) { r->config.no_handshake = true; },
       "result -2, first block 0x, 0 ACK, 3 CAN, drained", ""},
      {"a block refused 25 times",
       [](receiver *r) { r->config.nak_block = 1, r->config.nak_count = 100; },
       "result -4, first block 25x, 0 ACK, 3 CAN, drained", nullptr},
      {"EOT never acknowledged", [](receiver *r) { r->on_eot = [](int) { return bytes{NAK}; }; },
       "result -5, first block 1x, 0 ACK, 0 CAN, not drained", nullptr},
      {"EOT acknowledged at the tenth try",
       [](receiver *r) { r->on_eot = [](int n) { return n == 9 ? bytes{ACK} : bytes{SILENCE}; }; },
       "result 128, first block 1x, 0 ACK, 0 CAN, not drained", nullptr},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    auto r = std::make_shared<receiver>();
    c.receiver_acts(r.get());
    attach(r);
    sent s = send(test_data(100));
    EXPECT_EQ(c.sender_did, what_the_sender_did(s.result, *r, count_reads(1500) > 0));
    if (c.console) {
      EXPECT_EQ(c.console, s.console);
    }
  }
}

TEST(XmodemReceiver, TimeOutsOfEachWait) {
  auto r = std::make_shared<receiver>();
  r->config.no_handshake = true;
  attach(r);
  EXPECT_EQ(-2, send(test_data(10)).result);
  EXPECT_EQ(16, count_reads(2000));
  // 16 silent handshake tries of 2 s, then one drain read of 1.5 s.
  EXPECT_EQ(16 * 2000ull + 1500, serial_log.clock_ms);

  r = std::make_shared<receiver>();
  r->on_eot = [](int) { return bytes{SILENCE}; };
  attach(r);
  EXPECT_EQ(-5, send(test_data(10)).result);
  EXPECT_EQ(10, r->eots);
  EXPECT_EQ(1 + 10, count_reads(2000));  // the handshake read and ten EOT answers
  EXPECT_EQ(1, count_reads(1000));       // the answer to the one block
}

// A receiver that never stops talking holds the drain after the cancel for
// 10 s at most, in the handshake and after a refused block alike; the
// failure is then the usual one.
TEST(XmodemDrain, EndsWithinTenSecondsOfAReceiverThatNeverStops) {
  struct {
    const char *name;
    serial_peer peer;
    int result;
  } cases[] = {
      {"NAK every second, CAN or not", every(1000, NAK), -4},
      {"noise every half second", every(500, 'x'), -2},
      {"a flood of noise", every(1, 'x'), -2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    scripted_link_reset(c.peer);
    EXPECT_EQ(c.result, send(test_data(100)).result);
    const std::vector<unsigned char> &w = serial_log.written;
    ASSERT_GE(w.size(), 3u);
    EXPECT_EQ(std::vector<unsigned char>(3, CAN), std::vector<unsigned char>(w.end() - 3, w.end()));
    unsigned long long drain = serial_log.clock_ms - serial_log.last_write_ms;
    EXPECT_LE(drain, 10000u);
    EXPECT_GT(drain, 10000u - 1500);
  }
}

TEST(XmodemDrain, StopsAtSilenceANulOrAHighByte) {
  struct {
    std::vector<int> line;
    int reads;
  } cases[] = {{{}, 1},
               {{'a', 'b', SILENCE, 'c'}, 3},
               {{'a', 0x00, 'b'}, 2},
               {{'a', 0x80, 'b'}, 2},
               {{0xFF}, 1}};
  for (const auto &c : cases) {
    scripted_link_reset(replies(c.line));
    drain_input();
    EXPECT_EQ(c.reads, (int)serial_log.read_timeouts.size());
  }
}

}  // namespace
