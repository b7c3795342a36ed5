#include "boot_rom.h"

#include <gtest/gtest.h>

#include <vector>

#include "boot_image_format.h"
#include "boot_rom_image.h"

namespace {

using bytes = std::vector<uint8_t>;

const bytes WAKE = {0xBB, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
const uint8_t NAK = BOOT_ROM_NAK, ACK = BOOT_ROM_ACK, CAN = BOOT_ROM_CAN;

bytes cat(std::initializer_list<bytes> parts) {
  bytes all;
  for (const bytes &p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A block as a sender builds it; `fill` sets every data byte.
bytes block(uint8_t number, uint8_t fill, bool checksum = false) {
  bytes b = {BOOT_ROM_SOH, number, uint8_t(0xFF - number)};
  bytes data(BOOT_ROM_BLOCK_DATA, fill);
  b.insert(b.end(), data.begin(), data.end());
  if (checksum) {
    uint8_t sum = 0;
    for (uint8_t d : data) sum = uint8_t(sum + d);
    b.push_back(sum);
  } else {
    uint16_t crc = boot_rom_crc16(data.data(), data.size());
    b.push_back(uint8_t(crc >> 8));
    b.push_back(uint8_t(crc));
  }
  return b;
}

bytes feed(boot_rom *rom, const bytes &in, boot_rom_ms now = 0) {
  bytes out;
  for (uint8_t b : in) boot_rom_receive(rom, b, now, &out);
  return out;
}

boot_rom woken(boot_rom_config config = {}) {
  boot_rom rom;
  boot_rom_init(&rom, &config);
  feed(&rom, WAKE);
  return rom;
}

TEST(BootRomCrc, MatchesTheXmodemCheckValue) {
  const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(boot_rom_crc16(text, sizeof text), 0x31C3);
}

struct wake_case {
  const char *name;
  boot_rom_config config;
  bytes input;
  boot_rom_ms at;
  bytes expected;
};

TEST(BootRomWake, AnswersOnlyACompletePattern) {
  boot_rom_config plain, checksum, silent, delayed;
  checksum.checksum_mode = true;
  silent.no_handshake = true;
  delayed.boot_delay_ms = 500;
  const bytes restarted = {0xBB, 0x11, 0xBB, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
  const wake_case cases[] = {
      {"whole pattern asks for CRC", plain, WAKE, 0, {NAK, 'C'}},
      {"checksum receiver asks with NAK", checksum, WAKE, 0, {NAK, NAK}},
      {"silent receiver only wakes", silent, WAKE, 0, {NAK}},
      {"seven bytes are not enough", plain, bytes(WAKE.begin(), WAKE.end() - 1), 0, {}},
      {"noise before the pattern", plain, cat({{0x00, 0x77, 0x15}, WAKE}), 0, {NAK, 'C'}},
      {"pattern restarting mid-way", plain, restarted, 0, {NAK, 'C'}},
      {"out of order", plain, {0xBB, 0x22, 0x11, 0x33, 0x44, 0x55, 0x66, 0x77}, 0, {}},
      {"before the boot delay", delayed, WAKE, 499, {}},
      {"after the boot delay", delayed, WAKE, 500, {NAK, 'C'}},
      {"a second pattern once awake", plain, cat({WAKE, WAKE}), 0, {NAK, 'C'}},
  };
  for (const wake_case &c : cases) {
    boot_rom rom;
    boot_rom_init(&rom, &c.config);
    EXPECT_EQ(feed(&rom, c.input, c.at), c.expected) << c.name;
  }
}

TEST(BootRomWake, PatternCutByTheBootDelayDoesNotCount) {
  boot_rom_config config;
  config.boot_delay_ms = 100;
  boot_rom rom;
  boot_rom_init(&rom, &config);
  feed(&rom, bytes(WAKE.begin(), WAKE.begin() + 4), 99);
  EXPECT_EQ(feed(&rom, bytes(WAKE.begin() + 4, WAKE.end()), 100), bytes{});
  EXPECT_EQ(feed(&rom, WAKE, 150), (bytes{NAK, 'C'}));
}

TEST(BootRomHandshake, RepeatsEverySecondUntilABlockStarts) {
  boot_rom rom = woken();
  bytes out;
  boot_rom_tick(&rom, 999, &out);
  EXPECT_EQ(out, bytes{});
  EXPECT_EQ(boot_rom_deadline(&rom), 1000);
  boot_rom_tick(&rom, 1000, &out);
  boot_rom_tick(&rom, 2000, &out);
  EXPECT_EQ(out, (bytes{'C', 'C'}));
  EXPECT_EQ(feed(&rom, block(1, 0xAA), 2100), bytes{ACK});
  out.clear();
  boot_rom_tick(&rom, 5000, &out);
  EXPECT_EQ(out, bytes{});
}

TEST(BootRomHandshake, SilentReceiverNeverAsks) {
  boot_rom_config config;
  config.no_handshake = true;
  boot_rom rom = woken(config);
  bytes out;
  boot_rom_tick(&rom, 60000, &out);
  EXPECT_EQ(out, bytes{});
}

struct block_case {
  const char *name;
  bool checksum;
  bytes block;
  uint8_t answer;
};

TEST(BootRomBlocks, AcceptsGoodBlocksAndRefusesDamagedOnes) {
  bytes bad_complement = block(1, 0x10);
  bad_complement[2] ^= 0x01;
  bytes bad_crc_high = block(1, 0x10);
  bad_crc_high[131] ^= 0x80;
  bytes bad_crc_low = block(1, 0x10);
  bad_crc_low[132] ^= 0x01;
  bytes bad_data = block(1, 0x10);
  bad_data[70] ^= 0x04;
  bytes bad_sum = block(1, 0x10, true);
  bad_sum[131] ^= 0x01;
  const block_case cases[] = {
      {"good CRC block", false, block(1, 0x10), ACK},
      {"good checksum block", true, block(1, 0x10, true), ACK},
      {"complement wrong", false, bad_complement, NAK},
      {"CRC high byte wrong", false, bad_crc_high, NAK},
      {"CRC low byte wrong", false, bad_crc_low, NAK},
      {"data changed", false, bad_data, NAK},
      {"sum wrong", true, bad_sum, NAK},
      {"block 2 first", false, block(2, 0x10), NAK},
      {"block 0 first", false, block(0, 0x10), NAK},
  };
  for (const block_case &c : cases) {
    boot_rom_config config;
    config.checksum_mode = c.checksum;
    boot_rom rom = woken(config);
    EXPECT_EQ(feed(&rom, c.block), bytes{c.answer}) << c.name;
    EXPECT_EQ(rom.image.size(), c.answer == ACK ? BOOT_ROM_BLOCK_DATA : 0u) << c.name;
  }
}

TEST(BootRomBlocks, RepeatedBlockIsAcknowledgedButStoredOnce) {
  boot_rom rom = woken();
  EXPECT_EQ(feed(&rom, cat({block(1, 1), block(1, 1), block(2, 2)})), (bytes{ACK, ACK, ACK}));
  ASSERT_EQ(rom.image.size(), 2 * BOOT_ROM_BLOCK_DATA);
  EXPECT_EQ(rom.image[0], 1);
  EXPECT_EQ(rom.image[BOOT_ROM_BLOCK_DATA], 2);
}

TEST(BootRomBlocks, BlockNumbersWrapAfter255) {
  boot_rom rom = woken();
  bytes out;
  for (int n = 1; n <= 257; n++) {
    bytes answer = feed(&rom, block(uint8_t(n), uint8_t(n)));
    out.insert(out.end(), answer.begin(), answer.end());
  }
  EXPECT_EQ(out, bytes(257, ACK));
  EXPECT_EQ(rom.image.size(), 257 * BOOT_ROM_BLOCK_DATA);
}

TEST(BootRomBlocks, HalfBlockIsRefusedAfterASecondOfSilence) {
  boot_rom rom = woken();
  bytes part = block(1, 7);
  part.resize(60);
  EXPECT_EQ(feed(&rom, part, 100), bytes{});
  bytes out;
  boot_rom_tick(&rom, 1099, &out);
  EXPECT_EQ(out, bytes{});
  boot_rom_tick(&rom, 1100, &out);
  EXPECT_EQ(out, bytes{NAK});
  EXPECT_EQ(feed(&rom, block(1, 7), 1200), bytes{ACK});
}

TEST(BootRomTransfer, EndsWithTheAcknowledgedEot) {
  boot_rom rom = woken();
  EXPECT_EQ(feed(&rom, cat({block(1, 1), block(2, 2), {BOOT_ROM_EOT}})), (bytes{ACK, ACK, ACK}));
  EXPECT_EQ(rom.state, boot_rom_state::done);
  EXPECT_EQ(rom.image.size(), 2 * BOOT_ROM_BLOCK_DATA);
  EXPECT_EQ(feed(&rom, block(3, 3)), bytes{});
}

TEST(BootRomTransfer, TwoCanFromTheSenderStartOver) {
  boot_rom rom = woken();
  feed(&rom, block(1, 1));
  EXPECT_EQ(feed(&rom, {CAN, CAN, CAN}), bytes{});
  EXPECT_EQ(rom.state, boot_rom_state::waking);
  EXPECT_TRUE(rom.image.empty());
  EXPECT_EQ(feed(&rom, WAKE), (bytes{NAK, 'C'}));
}

struct fault_case {
  const char *name;
  boot_rom_config config;
  bytes sent;      // block numbers in the order the sender sends them
  bytes answers;
};

TEST(BootRomFaults, RefuseOrCancelTheChosenBlock) {
  boot_rom_config nak_first, nak_second, cancel_second;
  nak_first.nak_block = 1;
  nak_first.nak_count = 2;
  nak_second.nak_block = 2;
  nak_second.nak_count = 3;
  cancel_second.cancel_block = 2;
  const fault_case cases[] = {
      {"refuse block 1 twice", nak_first, {1, 1, 1, 2}, {NAK, NAK, ACK, ACK}},
      {"a repeat after the refusals", nak_first, {1, 1, 1, 1}, {NAK, NAK, ACK, ACK}},
      {"refuse block 2 three times", nak_second, {1, 2, 2, 2, 2}, {ACK, NAK, NAK, NAK, ACK}},
      {"cancel at block 2", cancel_second, {1, 2}, {ACK, CAN, CAN}},
  };
  for (const fault_case &c : cases) {
    boot_rom rom = woken(c.config);
    bytes out;
    for (uint8_t n : c.sent) {
      bytes answer = feed(&rom, block(n, n));
      out.insert(out.end(), answer.begin(), answer.end());
    }
    EXPECT_EQ(out, c.answers) << c.name;
  }
}

TEST(BootRomFaults, CancelledRomListensForAWakeUpAgain) {
  boot_rom_config config;
  config.cancel_block = 1;
  boot_rom rom = woken(config);
  feed(&rom, block(1, 1));
  EXPECT_EQ(rom.state, boot_rom_state::waking);
  EXPECT_EQ(feed(&rom, cat({{ACK}, WAKE})), (bytes{NAK, 'C'}));
}

// The received bytes as XMODEM delivers them: the image, CTRL-Z, zeros up
// to a whole block.
bytes as_received(bytes image) {
  image.push_back(0x1A);
  image.resize((image.size() + 127) / 128 * 128, 0);
  return image;
}

struct image_case {
  const char *name;
  size_t damaged_offset;  // SIZE_MAX: intact
  size_t cut;             // bytes dropped from the end of what was received
  bool good;
};

TEST(BootRomImage, StartsOnlyAWholeGoodImage) {
  bytes code(0x100);
  for (size_t i = 0; i < code.size(); i++) code[i] = uint8_t(i * 7 + 3);
  const bytes image = boot_image_pack(code.data(), code.size());
  const image_case cases[] = {
      {"intact", SIZE_MAX, 0, true},
      {"image type", 0x00, 0, false},
      {"load address", 0x10, 0, false},
      {"execution address", 0x14, 0, false},
      {"code byte", 0x280, 0, false},
      {"code sum", image.size() - 1, 0, false},
      {"cut short", SIZE_MAX, 256, false},
  };
  for (const image_case &c : cases) {
    bytes received = as_received(image);
    if (c.damaged_offset != SIZE_MAX) received[c.damaged_offset] ^= 0x01;
    received.resize(received.size() - c.cut);
    const uint8_t *start = nullptr;
    size_t size = 0;
    char reason[200] = "";
    EXPECT_EQ(boot_rom_take_image(received, &start, &size, reason, sizeof reason), c.good)
        << c.name;
    if (c.good) {
      EXPECT_EQ(bytes(start, start + size), code) << c.name;
    } else {
      EXPECT_NE(reason[0], '\0') << c.name;
    }
  }
}

}  // namespace

namespace {

uint8_t sum8(const bytes &b, size_t from, size_t to) {
  uint8_t s = 0;
  for (size_t i = from; i <= to; i++) s = uint8_t(s + b[i]);
  return s;
}

void put_le32(bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (8 * i));
}

// Images whose sums follow a plausible but wrong rule: a check that shared
// the rule with the packer would take them.
struct rule_case {
  const char *name;
  void (*resum)(bytes &image, size_t code_size);
};

TEST(BootRomImage, RefusesImagesSummedByAnotherRule) {
  bytes code(0x100);
  for (size_t i = 0; i < code.size(); i++) code[i] = uint8_t(i * 13 + 1);
  const bytes image = boot_image_pack(code.data(), code.size());
  // The sums as the rules give them, worked out by hand: the header holds
  // 0x69, the code size 0x100, the offset 0x200 and the flag 1; the
  // extension sum depends only on the register table.
  EXPECT_EQ(image[0x1F], 0x6D);
  EXPECT_EQ(image[0x1FF], 0xDA);
  const rule_case cases[] = {
      {"code sum over bytes",
       [](bytes &im, size_t n) { put_le32(im, 0x200 + n, sum8(im, 0x200, 0x200 + n - 1)); }},
      {"header sum without the type", [](bytes &im, size_t) { im[0x1F] = sum8(im, 0x01, 0x1E); }},
      {"extension sum over both headers",
       [](bytes &im, size_t) { im[0x1FF] = sum8(im, 0x000, 0x1FE); }},
      {"code size not whole words",
       [](bytes &im, size_t) {
         im[0x04] = 0xFE;
         im[0x05] = 0x00;
         im[0x1F] = sum8(im, 0x00, 0x1E);
       }},
      {"image type 0x96",
       [](bytes &im, size_t) {
         im[0x00] = 0x96;
         im[0x1F] = sum8(im, 0x00, 0x1E);
       }},
  };
  for (const rule_case &c : cases) {
    bytes wrong = image;
    c.resum(wrong, code.size());
    const uint8_t *start = nullptr;
    size_t size = 0;
    char reason[200] = "";
    EXPECT_EQ(boot_rom_take_image(as_received(wrong), &start, &size, reason, sizeof reason), 0)
        << c.name;
    EXPECT_NE(reason[0], '\0') << c.name;
  }
}

}  // namespace
