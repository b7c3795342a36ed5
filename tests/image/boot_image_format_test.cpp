// Packing and verification of boot images, on byte buffers.
#include "boot_image_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> some_code(std::size_t size)
{
    std::vector<std::uint8_t> code(size);
    for (std::size_t i = 0; i < size; i++)
        code[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return code;
}

std::vector<std::uint8_t> pack(const std::vector<std::uint8_t> &code)
{
    return boot_image_pack(code.data(), code.size());
}

std::uint32_t get32(const std::vector<std::uint8_t> &v, std::size_t off)
{
    return boot_image_get32(v.data() + off);
}

std::string verify_reason(const std::vector<std::uint8_t> &image, bool *ok)
{
    char reason[200];
    std::memset(reason, 'x', sizeof reason);
    *ok = boot_image_verify(image.data(), image.size(), reason, sizeof reason);
    return reason;
}

} // namespace

TEST(ImageFormat, ReferenceCodeSizeGivesReferenceImage)
{
    std::vector<std::uint8_t> image = pack(some_code(0x784));
    ASSERT_EQ(image.size(), 2440u);
    EXPECT_EQ(image[0x1F], 0xF7);
    EXPECT_EQ(image[0x1FF], 0xDA);
    EXPECT_EQ(get32(image, 0x04), 0x784u);
    bool ok;
    std::string reason = verify_reason(image, &ok);
    EXPECT_TRUE(ok) << reason;
}

TEST(ImageFormat, SizesAndHeaderSumFollowTheCodeSize)
{
    // Header sums worked out by hand: 0x69 + 0x02 + 0x01 + the code size's bytes.
    struct Case {
        std::size_t code_bytes, code_size, image_size;
        std::uint8_t header_sum;
    } cases[] = {
        {1, 4, 0x208, 0x70},       {4, 4, 0x208, 0x70},       {5, 8, 0x20C, 0x74},
        {0x40, 0x40, 0x244, 0xAC}, {0x100, 0x100, 0x304, 0x6D}, {0x783, 0x784, 2440, 0xF7},
        {0x790, 0x790, 0x994, 0x03}, // the sum wraps past 0xFF
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code_bytes);
        std::vector<std::uint8_t> image = pack(some_code(c.code_bytes));
        ASSERT_EQ(image.size(), c.image_size);
        EXPECT_EQ(get32(image, 0x04), c.code_size);
        EXPECT_EQ(image[0x1F], c.header_sum);
        EXPECT_EQ(image[0x1FF], 0xDA); // the extension header never holds the code size
        bool ok;
        std::string reason = verify_reason(image, &ok);
        EXPECT_TRUE(ok) << reason;
    }
}

TEST(ImageFormat, CodeSumOfKnownWords)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::uint32_t sum;
    } cases[] = {
        {{0x01, 0x02, 0x03, 0x04}, 0x04030201},                          // little-endian
        {{0x01, 0, 0, 0, 0x02, 0, 0, 0}, 3},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0}, 1},                    // wraps past 2^32
        {{0, 0, 0, 0x80, 0, 0, 0, 0x80, 0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {{0x10, 0x20}, 0x2010},                                          // zero-padded
    };
    for (const Case &c : cases) {
        EXPECT_EQ(boot_image_code_sum(c.bytes.data(), c.bytes.size()), c.sum);
        std::vector<std::uint8_t> image = pack(c.bytes);
        EXPECT_EQ(get32(image, image.size() - 4), c.sum);
    }
}

TEST(ImageFormat, LayoutOfThePackedImage)
{
    std::vector<std::uint8_t> code = some_code(0x85); // padded to 0x88
    std::vector<std::uint8_t> image = pack(code);
    ASSERT_EQ(image.size(), 0x200u + 0x88 + 4);

    EXPECT_EQ(image[0x00], 0x69);
    EXPECT_EQ(get32(image, 0x0C), 0x200u);
    EXPECT_EQ(get32(image, 0x10), 0u);
    EXPECT_EQ(get32(image, 0x14), 0u);
    EXPECT_EQ(image[0x1E], 1);
    EXPECT_EQ(get32(image, 0x20), 0x40u);

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
        EXPECT_EQ(get32(image, p.off), p.address) << std::hex << p.off;
        EXPECT_EQ(get32(image, p.off + 4), p.value) << std::hex << p.off;
    }

    const std::size_t zero[][2] = {{0x01, 0x04}, {0x08, 0x0C}, {0x18, 0x1E},
                                   {0x24, 0x40}, {0x120, 0x1FF}, {0x285, 0x288}};
    for (const auto &z : zero)
        for (std::size_t i = z[0]; i < z[1]; i++)
            EXPECT_EQ(image[i], 0) << "offset 0x" << std::hex << i;

    EXPECT_EQ(std::memcmp(image.data() + 0x200, code.data(), code.size()), 0);
    EXPECT_EQ(get32(image, 0x288), boot_image_code_sum(image.data() + 0x200, 0x88));
}

TEST(ImageFormat, VerifyCatchesDamage)
{
    const std::vector<std::uint8_t> good = pack(some_code(0x784));
    struct Case {
        const char *what;
        std::size_t offset; // byte to flip
        const char *reason_has;
    } cases[] = {
        {"type", 0x00, "type"},
        {"code size", 0x05, "checksum at 0x1F"},
        {"reserved main header byte", 0x19, "checksum at 0x1F"},
        {"header sum", 0x1F, "checksum at 0x1F"},
        {"register table offset", 0x20, "checksum at 0x1FF"},
        {"register value", 0x11C, "checksum at 0x1FF"},
        {"reserved extension byte", 0x150, "checksum at 0x1FF"},
        {"extension sum", 0x1FF, "checksum at 0x1FF"},
        {"first code byte", 0x200, "code checksum"},
        {"last code byte", 0x983, "code checksum"},
        {"code sum", 0x986, "code checksum"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> image = good;
        image[c.offset] ^= 0x10;
        bool ok;
        std::string reason = verify_reason(image, &ok);
        EXPECT_FALSE(ok);
        EXPECT_NE(reason.find(c.reason_has), std::string::npos) << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos);
    }
}

TEST(ImageFormat, VerifyChecksFieldsBehindConsistentSums)
{
    // Damage that keeps the sums right, so only the field checks can catch it.
    const std::vector<std::uint8_t> good = pack(some_code(0x40));
    struct Case {
        const char *what;
        std::size_t offset;
        std::uint8_t value;
        const char *reason_has;
    } cases[] = {
        {"code size grows", 0x04, 0x44, "gives"},
        {"code size shrinks", 0x04, 0x3C, "gives"},
        {"code size not whole words", 0x04, 0x41, "multiple of 4"},
        {"code offset", 0x0D, 0x03, "code offset"},
        {"load address", 0x10, 0x01, "load address"},
        {"execution address", 0x17, 0xC8, "execution address"},
        {"extension flag", 0x1E, 0x00, "extension flag"},
        {"reserved byte", 0x02, 0x01, "reserved byte at 0x02"},
        {"register table offset", 0x20, 0x48, "register table offset"},
        {"register address", 0x40, 0xE4, "register pair 0"},
        {"extra register pair", 0x120, 0x01, "reserved byte at 0x120"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> image = good;
        image[c.offset] = c.value;
        image[0x1F] = boot_image_header_sum(image.data());
        image[0x1FF] = boot_image_extension_sum(image.data());
        bool ok;
        std::string reason = verify_reason(image, &ok);
        EXPECT_FALSE(ok);
        EXPECT_NE(reason.find(c.reason_has), std::string::npos) << reason;
    }
}

TEST(ImageFormat, VerifyChecksTheImageSize)
{
    const std::vector<std::uint8_t> good = pack(some_code(0x784));
    struct Case {
        std::size_t size;
        const char *reason_has;
    } cases[] = {
        {0, "shorter than the 512-byte header"},
        {0x1F, "shorter than the 512-byte header"},
        {0x1FF, "shorter than the 512-byte header"},
        {0x200, "gives 2440"},
        {2436, "gives 2440"},
        {2439, "gives 2440"},
        {2441, "gives 2440"},
        {2560, "gives 2440"}, // whole XMODEM blocks with their filler
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<std::uint8_t> image = good;
        image.resize(c.size, 0x1A);
        bool ok;
        std::string reason = verify_reason(image, &ok);
        EXPECT_FALSE(ok);
        EXPECT_NE(reason.find(c.reason_has), std::string::npos) << reason;
    }
}

TEST(ImageFormat, AnnouncedSizeCutsXmodemFiller)
{
    std::vector<std::uint8_t> image = pack(some_code(0x784));
    image.resize(2560, 0);
    image[2440] = 0x1A;
    EXPECT_EQ(boot_image_announced_size(image.data(), 0x1F), 0u);
    std::size_t size = boot_image_announced_size(image.data(), image.size());
    ASSERT_EQ(size, 2440u);
    EXPECT_TRUE(boot_image_verify(image.data(), size, nullptr, 0));
}

TEST(ImageFormat, ParseGivesTheCodeOfAVerifiedImage)
{
    std::vector<std::uint8_t> code = some_code(0x784);
    std::vector<std::uint8_t> image = pack(code);
    boot_image_info info;
    ASSERT_TRUE(boot_image_parse(image.data(), image.size(), &info, nullptr, 0));
    EXPECT_EQ(info.code_offset, 0x200u);
    EXPECT_EQ(info.code_size, 0x784u);
    EXPECT_EQ(info.reg_count, 28u);
    EXPECT_EQ(info.code_sum, info.code_sum_computed);
    EXPECT_EQ(std::memcmp(image.data() + info.code_offset, code.data(), info.code_size), 0);
}

TEST(ImageFormat, ReasonIsCutToItsBuffer)
{
    std::vector<std::uint8_t> image = pack(some_code(8));
    image[0] = 0;
    char reason[8];
    std::memset(reason, 'x', sizeof reason);
    EXPECT_FALSE(boot_image_verify(image.data(), image.size(), reason, 6));
    EXPECT_EQ(std::strlen(reason), 5u);
    EXPECT_EQ(reason[6], 'x');
    EXPECT_FALSE(boot_image_verify(image.data(), image.size(), nullptr, 0));
}

TEST(ImageFormat, CodeMustLeaveTheMonitorItsStack)
{
    // 0x790 bytes of code, then 8 bytes of flag words, leave 104 bytes of
    // stack below 0xC8010800.
    EXPECT_TRUE(boot_image_code_fits(0x784));
    EXPECT_TRUE(boot_image_code_fits(0x790));
    EXPECT_TRUE(boot_image_code_fits(0x78F));
    EXPECT_FALSE(boot_image_code_fits(0x791));
    EXPECT_FALSE(boot_image_code_fits(0x800));
}
