// Packing and verification of boot images, on byte buffers.
#include "boot_image_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> some_code(std::size_t size) {
  std::vector<std::uint8_t> code(size);
  for (std::size_t i = 0; i < size; i++) code[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return code;
}

std::vector<std::uint8_t> pack(const std::vector<std::uint8_t> &code) {
  return boot_image_pack(code.data(), code.size());
}

std::uint32_t get32(const std::vector<std::uint8_t> &v, std::size_t off) {
  return boot_image_get32(v.data() + off);
}

std::string verify_reason(const std::vector<std::uint8_t> &image, bool *ok) {
  std::string reason = "stale";
  *ok = boot_image_verify(image.data(), image.size(), &reason);
  return reason;
}

}  // namespace

TEST(ImageFormat, SizesAndHeaderSumFollowTheCodeSize) {
  // Header sums worked out by hand: 0x69 + 0x02 + 0x01 + the code size's bytes.
  struct Case {
    std::size_t code_bytes, code_size, image_size;
    std::uint8_t header_sum;
  } cases[] = {
      {1, 4, 0x208, 0x70},        {4, 4, 0x208, 0x70},         {5, 8, 0x20C, 0x74},
      {0x40, 0x40, 0x244, 0xAC},  {0x100, 0x100, 0x304, 0x6D}, {0x783, 0x784, 2440, 0xF7},
      {0x784, 0x784, 2440, 0xF7}, {0x790, 0x790, 0x994, 0x03},  // the sum wraps past 0xFF
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.code_bytes);
    std::vector<std::uint8_t> image = pack(some_code(c.code_bytes));
    ASSERT_EQ(c.image_size, image.size());
    EXPECT_EQ(c.code_size, get32(image, 0x04));
    EXPECT_EQ(c.header_sum, image[0x1F]);
    EXPECT_EQ(0xDA, image[0x1FF]);  // the extension header never holds the code size
    bool ok;
    std::string reason = verify_reason(image, &ok);
    EXPECT_TRUE(ok) << reason;
  }
}

TEST(ImageFormat, CodeSumOfKnownWords) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::uint32_t sum;
  } cases[] = {
      {{0x01, 0x02, 0x03, 0x04}, 0x04030201},  // little-endian
      {{0x01, 0, 0, 0, 0x02, 0, 0, 0}, 3},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0}, 1},  // wraps past 2^32
      {{0, 0, 0, 0x80, 0, 0, 0, 0x80, 0x78, 0x56, 0x34, 0x12}, 0x12345678},
      {{0x10, 0x20}, 0x2010},  // zero-padded
  };
  for (const Case &c : cases) {
    EXPECT_EQ(boot_image_code_sum(c.bytes.data(), c.bytes.size()), c.sum);
    std::vector<std::uint8_t> image = pack(c.bytes);
    EXPECT_EQ(c.sum, get32(image, image.size() - 4));
  }
}

TEST(ImageFormat, LayoutOfThePackedImage) {
  std::vector<std::uint8_t> code = some_code(0x85);  // padded to 0x88
  std::vector<std::uint8_t> image = pack(code);
  ASSERT_EQ(0x200u + 0x88 + 4, image.size());

  EXPECT_EQ(0x69, image[0x00]);
  EXPECT_EQ(0x200u, get32(image, 0x0C));
  EXPECT_EQ(0u, get32(image, 0x10));
  EXPECT_EQ(0u, get32(image, 0x14));
  EXPECT_EQ(1, image[0x1E]);
  EXPECT_EQ(0x40u, get32(image, 0x20));

  // Register pairs at their offsets: first, one in the middle, last.
  struct Pair {
    std::size_t off;
    std::uint32_t address, value;
  } pairs[] = {
      {0x040, 0xFFD100E0, 0x1B1B1B1B},
      {0x0B8, 0xFFD0147C, 0x00008552},
      {0x0C8, 0xFFD01504, 0x3FFFFFF1},
      {0x118, 0xFFD01480, 0x00000001},
  };
  for (const Pair &p : pairs) {
    EXPECT_EQ(p.address, get32(image, p.off)) << std::hex << p.off;
    EXPECT_EQ(p.value, get32(image, p.off + 4)) << std::hex << p.off;
  }

  const std::size_t zero[][2] = {{0x01, 0x04}, {0x08, 0x0C},   {0x18, 0x1E},
                                 {0x24, 0x40}, {0x120, 0x1FF}, {0x285, 0x288}};
  for (const auto &z : zero)
    for (std::size_t i = z[0]; i < z[1]; i++)
      EXPECT_EQ(0, image[i]) << "offset 0x" << std::hex << i;

  EXPECT_EQ(0, std::memcmp(image.data() + 0x200, code.data(), code.size()));
  EXPECT_EQ(boot_image_code_sum(image.data() + 0x200, 0x88), get32(image, 0x288));
}

TEST(ImageFormat, VerifyCatchesDamageAndSaysWhereInOneLine) {
  // A byte flipped or a field set (with both header sums made right again,
  // so that only the field checks can catch it), or the image cut or
  // lengthened with XMODEM filler.
  enum how { FLIP, SET, RESIZE };
  const std::vector<std::uint8_t> large = pack(some_code(0x784)), small = pack(some_code(0x40));
  struct Case {
    const char *what;
    how change;
    std::size_t at;      // the byte, or for RESIZE the new size
    std::uint8_t value;  // the bits flipped, or the value set
    const char *reason_has;
  } cases[] = {
      {"type", FLIP, 0x00, 0x10, "type"},
      {"code size", FLIP, 0x05, 0x10, "checksum at 0x1F"},
      {"reserved main header byte", FLIP, 0x19, 0x10, "checksum at 0x1F"},
      {"header sum", FLIP, 0x1F, 0x10, "checksum at 0x1F"},
      {"register table offset", FLIP, 0x20, 0x10, "checksum at 0x1FF"},
      {"register value", FLIP, 0x11C, 0x10, "checksum at 0x1FF"},
      {"reserved extension byte", FLIP, 0x150, 0x10, "checksum at 0x1FF"},
      {"extension sum", FLIP, 0x1FF, 0x10, "checksum at 0x1FF"},
      {"first code byte", FLIP, 0x200, 0x10, "code checksum"},
      {"last code byte", FLIP, 0x983, 0x10, "code checksum"},
      {"code sum", FLIP, 0x986, 0x10, "code checksum"},
      {"code size grows", SET, 0x04, 0x44, "gives"},
      {"code size shrinks", SET, 0x04, 0x3C, "gives"},
      {"code size not whole words", SET, 0x04, 0x41, "multiple of 4"},
      {"code offset", SET, 0x0D, 0x03, "code offset"},
      {"load address", SET, 0x10, 0x01, "load address"},
      {"execution address", SET, 0x17, 0xC8, "execution address"},
      {"extension flag", SET, 0x1E, 0x00, "extension flag"},
      {"reserved byte", SET, 0x02, 0x01, "reserved byte at 0x02"},
      {"register table offset set", SET, 0x20, 0x48, "register table offset"},
      {"register address", SET, 0x40, 0xE4, "register pair 0"},
      {"extra register pair", SET, 0x120, 0x01, "reserved byte at 0x120"},
      {"empty", RESIZE, 0, 0, "shorter than the 512-byte header"},
      {"main header only", RESIZE, 0x1F, 0, "shorter than the 512-byte header"},
      {"a byte short of the headers", RESIZE, 0x1FF, 0, "shorter than the 512-byte header"},
      {"headers only", RESIZE, 0x200, 0, "gives 2440"},
      {"a word short", RESIZE, 2436, 0, "gives 2440"},
      {"a byte short", RESIZE, 2439, 0, "gives 2440"},
      {"a byte long", RESIZE, 2441, 0, "gives 2440"},
      {"whole XMODEM blocks with their filler", RESIZE, 2560, 0, "gives 2440"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> image = c.change == SET ? small : large;
    if (c.change == FLIP) image[c.at] ^= c.value;
    if (c.change == SET) {
      image[c.at] = c.value;
      image[0x1F] = boot_image_header_sum(image.data());
      image[0x1FF] = boot_image_extension_sum(image.data());
    }
    if (c.change == RESIZE) image.resize(c.at, 0x1A);
    bool ok;
    std::string reason = verify_reason(image, &ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(std::string::npos, reason.find(c.reason_has)) << reason;
    EXPECT_EQ(std::string::npos, reason.find('\n'));
  }
}

TEST(ImageFormat, AnnouncedSizeCutsXmodemFiller) {
  std::vector<std::uint8_t> image = pack(some_code(0x784));
  image.resize(2560, 0);
  image[2440] = 0x1A;
  EXPECT_EQ(0u, boot_image_announced_size(image.data(), 0x1F));
  std::size_t size = boot_image_announced_size(image.data(), image.size());
  ASSERT_EQ(2440u, size);
  EXPECT_TRUE(boot_image_verify(image.data(), size, nullptr));
}

TEST(ImageFormat, ParseGivesTheCodeOfAVerifiedImage) {
  std::vector<std::uint8_t> code = some_code(0x784);
  std::vector<std::uint8_t> image = pack(code);
  boot_image_info info;
  ASSERT_TRUE(boot_image_parse(image.data(), image.size(), &info, nullptr));
  EXPECT_EQ(0x200u, info.code_offset);
  EXPECT_EQ(0x784u, info.code_size);
  EXPECT_EQ(28u, info.reg_count);
  EXPECT_EQ(info.code_sum, info.code_sum_computed);
  EXPECT_EQ(0, std::memcmp(image.data() + info.code_offset, code.data(), info.code_size));
}

TEST(ImageFormat, AVerdictWithoutAReasonStringStillRefuses) {
  std::vector<std::uint8_t> image = pack(some_code(8));
  image[0] = 0;
  EXPECT_FALSE(boot_image_verify(image.data(), image.size(), nullptr));
}

TEST(ImageFormat, CodeMustLeaveTheMonitorItsStack) {
  // 0x790 bytes of code, then 8 bytes of flag words, leave 104 bytes of
  // stack below 0xC8010800.
  EXPECT_TRUE(boot_image_code_fits(0x784));
  EXPECT_TRUE(boot_image_code_fits(0x790));
  EXPECT_TRUE(boot_image_code_fits(0x78F));
  EXPECT_FALSE(boot_image_code_fits(0x791));
  EXPECT_FALSE(boot_image_code_fits(0x800));
}
