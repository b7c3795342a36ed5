#include "boot_rom.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boot_image_format.h"
#include "boot_rom_image.h"

namespace {

using bytes = std::vector<uint8_t>;
using state = boot_rom_state;

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

// Block n filled with n, for each number in turn.
bytes blocks(std::initializer_list<uint8_t> numbers) {
  bytes all;
  for (uint8_t n : numbers) all = cat({all, block(n, n)});
  return all;
}

bytes flipped(bytes b, size_t at, uint8_t bits) {
  b[at] ^= bits;
  return b;
}

// One step of a conversation with the ROM: the bytes that arrive at a time
// (none: only time passes) and what the ROM answers.
struct step {
  boot_rom_ms at;
  bytes in, out;
};

struct conversation {
  const char *name;
  boot_rom_config config;
  std::vector<step> steps;  // from reset
  state end;
  bytes fills = {};  // what the data bytes of each stored block hold
};

TEST(BootRom, AnswersEachConversation) {
  boot_rom_config plain, checksum, silent, delayed, late, nak_first, nak_second, cancel_first,
      cancel_second;
  checksum.checksum_mode = true;
  silent.no_handshake = true;
  delayed.boot_delay_ms = 500;
  late.boot_delay_ms = 100;
  nak_first.nak_block = 1;
  nak_first.nak_count = 2;
  nak_second.nak_block = 2;
  nak_second.nak_count = 3;
  cancel_first.cancel_block = 1;
  cancel_second.cancel_block = 2;
  const step woken = {0, WAKE, {NAK, 'C'}}, woken_checksum = {0, WAKE, {NAK, NAK}};
  const bytes good = block(1, 0x10), good_sum = block(1, 0x10, true);
  bytes half = block(1, 7);
  half.resize(60);
  std::vector<step> wrapping = {woken};
  bytes wrapped;
  for (int n = 1; n <= 257; n++) {
    wrapping.push_back({0, block(uint8_t(n), uint8_t(n)), {ACK}});
    wrapped.push_back(uint8_t(n));
  }
  const conversation cases[] = {
      // Waking.
      {"whole pattern asks for CRC", plain, {woken}, state::handshake},
      {"checksum receiver asks with NAK", checksum, {woken_checksum}, state::handshake},
      {"silent receiver only wakes", silent, {{0, WAKE, {NAK}}}, state::handshake},
      {"seven bytes are not enough",
       plain,
       {{0, bytes(WAKE.begin(), WAKE.end() - 1), {}}},
       state::waking},
      {"noise before the pattern",
       plain,
       {{0, cat({{0x00, 0x77, 0x15}, WAKE}), {NAK, 'C'}}},
       state::handshake},
      {"pattern restarting mid-way",
       plain,
       {{0, cat({{0xBB, 0x11}, WAKE}), {NAK, 'C'}}},
       state::handshake},
      {"out of order",
       plain,
       {{0, {0xBB, 0x22, 0x11, 0x33, 0x44, 0x55, 0x66, 0x77}, {}}},
       state::waking},
      {"before the boot delay", delayed, {{499, WAKE, {}}}, state::waking},
      {"after the boot delay", delayed, {{500, WAKE, {NAK, 'C'}}}, state::handshake},
      {"a second pattern once awake",
       plain,
       {{0, cat({WAKE, WAKE}), {NAK, 'C'}}},
       state::handshake},
      {"pattern cut by the boot delay does not count",
       late,
       {{99, bytes(WAKE.begin(), WAKE.begin() + 4), {}},
        {100, bytes(WAKE.begin() + 4, WAKE.end()), {}},
        {150, WAKE, {NAK, 'C'}}},
       state::handshake},
      // Handshake: every second until a block starts, never when silent.
      {"handshake repeats",
       plain,
       {woken,
        {999, {}, {}},
        {1000, {}, {'C'}},
        {2000, {}, {'C'}},
        {2100, block(1, 0xAA), {ACK}},
        {5000, {}, {}}},
       state::receiving,
       {0xAA}},
      {"silent receiver never asks", silent, {{0, WAKE, {NAK}}, {60000, {}, {}}}, state::handshake},
      // Blocks.
      {"good CRC block", plain, {woken, {0, good, {ACK}}}, state::receiving, {0x10}},
      {"good checksum block",
       checksum,
       {woken_checksum, {0, good_sum, {ACK}}},
       state::receiving,
       {0x10}},
      {"complement wrong", plain, {woken, {0, flipped(good, 2, 0x01), {NAK}}}, state::receiving},
      {"CRC high byte wrong",
       plain,
       {woken, {0, flipped(good, 131, 0x80), {NAK}}},
       state::receiving},
      {"CRC low byte wrong",
       plain,
       {woken, {0, flipped(good, 132, 0x01), {NAK}}},
       state::receiving},
      {"data changed", plain, {woken, {0, flipped(good, 70, 0x04), {NAK}}}, state::receiving},
      {"sum wrong",
       checksum,
       {woken_checksum, {0, flipped(good_sum, 131, 0x01), {NAK}}},
       state::receiving},
      {"block 2 first", plain, {woken, {0, block(2, 0x10), {NAK}}}, state::receiving},
      {"block 0 first", plain, {woken, {0, block(0, 0x10), {NAK}}}, state::receiving},
      {"a repeated block is acknowledged but stored once",
       plain,
       {woken, {0, blocks({1, 1, 2}), {ACK, ACK, ACK}}},
       state::receiving,
       {1, 2}},
      {"block numbers wrap after 255", plain, wrapping, state::receiving, wrapped},
      {"a half block is refused after a second of silence",
       plain,
       {woken, {100, half, {}}, {1099, {}, {}}, {1100, {}, {NAK}}, {1200, block(1, 7), {ACK}}},
       state::receiving,
       {7}},
      // The end of a transfer.
      {"the acknowledged EOT ends it",
       plain,
       {woken, {0, cat({blocks({1, 2}), {BOOT_ROM_EOT}}), {ACK, ACK, ACK}}, {0, block(3, 3), {}}},
       state::done,
       {1, 2}},
      {"two CAN from the sender start over",
       plain,
       {woken, {0, block(1, 1), {ACK}}, {0, {CAN, CAN, CAN}, {}}},
       state::waking},
      {"and the pattern wakes it again",
       plain,
       {woken, {0, block(1, 1), {ACK}}, {0, {CAN, CAN, CAN}, {}}, woken},
       state::handshake},
      // Faults of the receiver.
      {"refuse block 1 twice",
       nak_first,
       {woken, {0, blocks({1, 1, 1, 2}), {NAK, NAK, ACK, ACK}}},
       state::receiving,
       {1, 2}},
      {"a repeat after the refusals",
       nak_first,
       {woken, {0, blocks({1, 1, 1, 1}), {NAK, NAK, ACK, ACK}}},
       state::receiving,
       {1}},
      {"refuse block 2 three times",
       nak_second,
       {woken, {0, blocks({1, 2, 2, 2, 2}), {ACK, NAK, NAK, NAK, ACK}}},
       state::receiving,
       {1, 2}},
      {"cancel at block 2",
       cancel_second,
       {woken, {0, blocks({1, 2}), {ACK, CAN, CAN}}},
       state::waking},
      {"cancel at block 1", cancel_first, {woken, {0, block(1, 1), {CAN, CAN}}}, state::waking},
      {"a cancelled ROM listens for a wake-up again",
       cancel_first,
       {woken, {0, block(1, 1), {CAN, CAN}}, {0, cat({{ACK}, WAKE}), {NAK, 'C'}}},
       state::handshake},
  };
  for (const conversation &c : cases) {
    SCOPED_TRACE(c.name);
    boot_rom rom;
    boot_rom_init(&rom, &c.config);
    for (size_t i = 0; i < c.steps.size(); i++) {
      const step &s = c.steps[i];
      bytes out;
      if (s.in.empty()) boot_rom_tick(&rom, s.at, &out);
      for (uint8_t b : s.in) boot_rom_receive(&rom, b, s.at, &out);
      EXPECT_EQ(s.out, out) << "step " << i;
    }
    EXPECT_EQ(c.end, rom.state);
    bytes image;
    for (uint8_t fill : c.fills) image.resize(image.size() + BOOT_ROM_BLOCK_DATA, fill);
    EXPECT_EQ(image, rom.image);
  }
  boot_rom rom;
  boot_rom_init(&rom, &plain);
  bytes out;
  for (uint8_t b : WAKE) boot_rom_receive(&rom, b, 0, &out);
  EXPECT_EQ(1000, boot_rom_deadline(&rom));
}

uint8_t sum8(const bytes &b, size_t from, size_t to) {
  uint8_t s = 0;
  for (size_t i = from; i <= to; i++) s = uint8_t(s + b[i]);
  return s;
}

void put_le32(bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (8 * i));
}

// A change to the received bytes (image, CTRL-Z, zeros to a whole block) of
// an image of code_size bytes of code.
using verdict = boot_rom_image_result;
struct image_case {
  const char *name;
  void (*change)(bytes &received, size_t code_size);
  verdict expected;
};

// A change to the register table, with the extension sum made to fit it.
void put_pair(bytes &r, size_t pair, uint32_t address, uint32_t value) {
  put_le32(r, 0x40 + 8 * pair, address);
  put_le32(r, 0x40 + 8 * pair + 4, value);
  r[0x1FF] = sum8(r, 0x20, 0x1FE);
}

TEST(BootRomImage, StartsOnlyAWholeGoodImage) {
  bytes code(0x100);
  for (size_t i = 0; i < code.size(); i++) code[i] = uint8_t(i * 7 + 3);
  bytes image = boot_image_pack(code.data(), code.size());
  // The sums as the rules give them, worked out by hand: the header holds
  // 0x69, the code size 0x100, the offset 0x200 and the flag 1; the
  // extension sum depends only on the register table.
  EXPECT_EQ(0x6D, image[0x1F]);
  EXPECT_EQ(0xDA, image[0x1FF]);
  image.push_back(0x1A);
  image.resize((image.size() + 127) / 128 * 128, 0);
  const image_case cases[] = {
      {"intact", [](bytes &, size_t) {}, verdict::good},
      {"image type", [](bytes &r, size_t) { r[0x00] ^= 1; }, verdict::bad_image},
      {"load address", [](bytes &r, size_t) { r[0x10] ^= 1; }, verdict::bad_image},
      {"execution address", [](bytes &r, size_t) { r[0x14] ^= 1; }, verdict::bad_image},
      {"code byte", [](bytes &r, size_t) { r[0x280] ^= 1; }, verdict::bad_image},
      {"code sum", [](bytes &r, size_t n) { r[0x200 + n + 3] ^= 1; }, verdict::bad_image},
      {"cut short", [](bytes &r, size_t) { r.resize(r.size() - 256); }, verdict::bad_image},
      // Sums that follow a plausible but wrong rule: a check that shared the
      // rule with the packer would take them.
      {"code sum over bytes",
       [](bytes &r, size_t n) { put_le32(r, 0x200 + n, sum8(r, 0x200, 0x200 + n - 1)); },
       verdict::bad_image},
      {"header sum without the type", [](bytes &r, size_t) { r[0x1F] = sum8(r, 0x01, 0x1E); },
       verdict::bad_image},
      {"extension sum over both headers",
       [](bytes &r, size_t) { r[0x1FF] = sum8(r, 0x000, 0x1FE); }, verdict::bad_image},
      {"code size not whole words",
       [](bytes &r, size_t) {
         r[0x04] = 0xFE;
         r[0x05] = 0x00;
         r[0x1F] = sum8(r, 0x00, 0x1E);
       },
       verdict::bad_image},
      {"image type 0x96",
       [](bytes &r, size_t) {
         r[0x00] = 0x96;
         r[0x1F] = sum8(r, 0x00, 0x1E);
       },
       verdict::bad_image},
      // Sums that fit, a register table that does not: the board's SDRAM
      // works only with the controller set up as the image must set it.
      {"register pair 18 zeroed", [](bytes &r, size_t) { put_pair(r, 18, 0, 0); },
       verdict::sdram_not_set},
      {"SDRAM controller value changed",
       [](bytes &r, size_t) { put_pair(r, 4, 0xFFD01400, 0x43000619); }, verdict::sdram_not_set},
      {"clock register value changed",
       [](bytes &r, size_t) { put_pair(r, 0, 0xFFD100E0, 0x1B1B1B1A); }, verdict::sdram_not_set},
      {"last pair overwritten by a repeat of the first",
       [](bytes &r, size_t) { put_pair(r, 27, 0xFFD100E0, 0x1B1B1B1B); }, verdict::sdram_not_set},
      {"a pair written again with a wrong value after the right one",
       [](bytes &r, size_t) { put_pair(r, 28, 0xFFD01504, 0); }, verdict::sdram_not_set},
      {"a further register in a free pair",
       [](bytes &r, size_t) { put_pair(r, 54, 0xFFD01600, 1); }, verdict::good},
      {"register table offset moved",
       [](bytes &r, size_t) {
         put_le32(r, 0x20, 0x48);
         r[0x1FF] = sum8(r, 0x20, 0x1FE);
       },
       verdict::bad_image},
  };
  for (const image_case &c : cases) {
    SCOPED_TRACE(c.name);
    bytes received = image;
    c.change(received, code.size());
    const uint8_t *start = nullptr;
    size_t size = 0;
    std::string why;
    EXPECT_EQ(c.expected, boot_rom_take_image(received, &start, &size, &why));
    if (c.expected == verdict::good) {
      EXPECT_EQ(code, bytes(start, start + size));
    } else {
      EXPECT_NE("", why);
      EXPECT_EQ(std::string::npos, why.find('\n'));
    }
  }
}

}  // namespace
