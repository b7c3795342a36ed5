#include "xmodem.h"
#include "xmodem_receiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

std::vector<unsigned char> test_data(std::size_t size)
{
    std::vector<unsigned char> data(size);
    for (std::size_t i = 0; i < size; i++)
        data[i] = (unsigned char)(i * 7 + 3);
    return data;
}

int count_reads(unsigned timeout)
{
    return (int)std::count(serial_log.read_timeouts.begin(), serial_log.read_timeouts.end(), timeout);
}

int count_control(const xmodem_receiver &r, unsigned char byte)
{
    return (int)std::count(r.controls.begin(), r.controls.end(), byte);
}

struct sent {
    int result;
    std::string console;
};

sent send(const std::vector<unsigned char> &data)
{
    testing::internal::CaptureStdout();
    int result = xmodem_send(data.data(), data.size());
    return {result, testing::internal::GetCapturedStdout()};
}

TEST(XmodemCrc, MatchesTheStandardCheckValueAndTable)
{
    const char *text = "123456789";
    EXPECT_EQ(0x31C3, xmodem_crc16((const unsigned char *)text, std::strlen(text)));
    // From a zero CRC one byte b gives table[b].
    const unsigned char one = 0x01, all = 0xFF;
    EXPECT_EQ(0x1021, xmodem_crc16(&one, 1));
    EXPECT_EQ(0x1EF0, xmodem_crc16(&all, 1));
}

TEST(XmodemWire, CrcModeSendsBlocksWithCrcHighByteFirst)
{
    auto r = std::make_shared<xmodem_receiver>();
    attach_receiver(r);
    auto data = test_data(200);
    EXPECT_EQ(256, send(data).result);
    ASSERT_EQ(2u, r->blocks.size());
    for (int i = 0; i < 2; i++) {
        const auto &b = r->blocks[i];
        ASSERT_EQ(133u, b.size());
        EXPECT_EQ(SOH, b[0]);
        EXPECT_EQ(i + 1, b[1]);
        EXPECT_EQ(0xFF - (i + 1), b[2]);
        uint16_t crc = xmodem_crc16(&b[3], 128);
        EXPECT_EQ(crc >> 8, b[131]);
        EXPECT_EQ(crc & 0xFF, b[132]);
    }
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 128, r->blocks[0].begin() + 3));
    // The tail: 72 data bytes, CTRL-Z, zeros.
    const auto &tail = r->blocks[1];
    EXPECT_TRUE(std::equal(data.begin() + 128, data.end(), tail.begin() + 3));
    EXPECT_EQ(0x1A, tail[3 + 72]);
    EXPECT_TRUE(std::all_of(tail.begin() + 3 + 73, tail.begin() + 131, [](unsigned char c) { return c == 0; }));
}

TEST(XmodemWire, ChecksumModeSendsBlocksWithTheByteSum)
{
    auto r = std::make_shared<xmodem_receiver>();
    r->handshake = {NAK};
    attach_receiver(r);
    EXPECT_EQ(128, send(test_data(100)).result);
    ASSERT_EQ(1u, r->blocks.size());
    const auto &b = r->blocks[0];
    ASSERT_EQ(132u, b.size());
    unsigned sum = 0;
    for (int i = 3; i < 131; i++)
        sum += b[i];
    EXPECT_EQ(sum & 0xFF, b[131]);
}

TEST(XmodemWire, BlockNumbersWrapAfter255)
{
    auto r = std::make_shared<xmodem_receiver>();
    attach_receiver(r);
    EXPECT_EQ(300 * 128, send(test_data(300 * 128 - 1)).result);
    ASSERT_EQ(300u, r->blocks.size());
    EXPECT_EQ(0xFF, r->blocks[254][1]);
    EXPECT_EQ(0x00, r->blocks[255][1]);
    EXPECT_EQ(0xFF, r->blocks[255][2]);
    EXPECT_EQ(0x01, r->blocks[256][1]);
}

TEST(XmodemSizes, AWholeNumberOfBlocksEndsWithALoneCtrlZBlock)
{
    struct {
        std::size_t size;
        int result;
        std::size_t blocks;
    } cases[] = {{1, 128, 1}, {127, 128, 1}, {128, 256, 2}, {129, 256, 2}, {256, 384, 3}, {2440, 2560, 20}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        auto r = std::make_shared<xmodem_receiver>();
        attach_receiver(r);
        auto data = test_data(c.size);
        EXPECT_EQ(c.result, send(data).result);
        ASSERT_EQ(c.blocks, r->blocks.size());
        if (c.size % 128 == 0) {
            const auto &last = r->blocks.back();
            EXPECT_EQ(0x1A, last[3]);
            EXPECT_TRUE(std::all_of(last.begin() + 4, last.begin() + 131, [](unsigned char x) { return x == 0; }));
        }
        EXPECT_EQ(1, r->eots);
    }
}

TEST(XmodemProgress, ShowsThePercentageBeforeEachBlock)
{
    auto r = std::make_shared<xmodem_receiver>();
    attach_receiver(r);
    std::string console = send(test_data(2440)).console;
    std::string expected = "\r" + std::string(35, ' ') + "\r" + "Downloading boot code...(  0%)";
    for (int percent : {0, 5, 10, 15, 20, 26, 31, 36, 41, 47, 52, 57, 62, 68, 73, 78, 83, 89, 94, 99}) {
        char step[16];
        std::snprintf(step, sizeof step, "\b\b\b\b\b%3d%%)", percent);
        expected += step;
    }
    EXPECT_EQ(expected, console);
}

TEST(XmodemProgress, NothingIsPrintedWhenTheHandshakeFails)
{
    auto r = std::make_shared<xmodem_receiver>();
    r->handshake = {};
    attach_receiver(r);
    EXPECT_EQ("", send(test_data(10)).console);
}

// How the sender meets a receiver that refuses, cancels or stays silent.
TEST(XmodemReceiver, Behaviours)
{
    typedef std::vector<int> bytes;
    struct scenario {
        const char *name;
        bytes handshake;
        std::function<bytes(int, int)> on_block;
        std::function<bytes(int)> on_eot;
        int result;
        int copies_of_first_block;
        int acks_sent;
        int cans_sent;
        bool drained;
    };
    auto ack = [](int, int) { return bytes{ACK}; };
    auto eot_ack = [](int) { return bytes{ACK}; };
    scenario cases[] = {
        {"a NAK repeats the block", {'C'}, [](int b, int) { return b == 0 ? bytes{NAK} : bytes{ACK}; }, eot_ack,
         128, 2, 0, 0, false},
        {"silence repeats the block", {'C'}, [](int b, int) { return b < 3 ? bytes{SILENCE} : bytes{ACK}; }, eot_ack,
         128, 4, 0, 0, false},
        {"a high byte is silence after a block", {'C'}, [](int b, int) { return b == 0 ? bytes{0x86} : bytes{ACK}; },
         eot_ack, 128, 2, 0, 0, false},
        {"a lone CAN then ACK uses up the try", {'C'}, [](int b, int) { return b == 0 ? bytes{CAN, ACK} : bytes{ACK}; },
         eot_ack, 128, 2, 0, 0, false},
        {"CAN CAN after a block cancels", {'C'}, [](int, int) { return bytes{CAN, CAN}; }, eot_ack, -1, 1, 1, 0, true},
        {"CAN CAN in the handshake cancels", {CAN, CAN}, ack, eot_ack, -1, 0, 1, 0, true},
        {"a lone CAN in the handshake uses up the try", {CAN, 'x', 'C'}, ack, eot_ack, 128, 1, 0, 0, false},
        {"high bytes in the handshake are silence", {0xC3, 0x95, NAK}, ack, eot_ack, 128, 1, 0, 0, false},
        {"no handshake", {}, ack, eot_ack, -2, 0, 0, 3, true},
        {"a block refused 25 times", {'C'}, [](int, int) { return bytes{NAK}; }, eot_ack, -4, 25, 0, 3, true},
        {"EOT never acknowledged", {'C'}, ack, [](int) { return bytes{NAK}; }, -5, 1, 0, 0, false},
        {"EOT acknowledged at the tenth try", {'C'}, ack, [](int n) { return n == 9 ? bytes{ACK} : bytes{SILENCE}; },
         128, 1, 0, 0, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto r = std::make_shared<xmodem_receiver>();
        r->handshake = c.handshake;
        r->on_block = c.on_block;
        r->on_eot = c.on_eot;
        attach_receiver(r);
        EXPECT_EQ(c.result, send(test_data(100)).result);
        int copies = (int)std::count_if(r->blocks.begin(), r->blocks.end(),
                                        [](const std::vector<unsigned char> &b) { return b[1] == 1; });
        EXPECT_EQ(c.copies_of_first_block, copies);
        EXPECT_EQ(c.acks_sent, count_control(*r, ACK));
        EXPECT_EQ(c.cans_sent, count_control(*r, CAN));
        EXPECT_EQ(c.drained, count_reads(1500) > 0);
    }
}

TEST(XmodemReceiver, TimeOutsOfEachWait)
{
    auto r = std::make_shared<xmodem_receiver>();
    r->handshake = {};
    attach_receiver(r);
    EXPECT_EQ(-2, send(test_data(10)).result);
    EXPECT_EQ(16, count_reads(2000));
    // 16 silent handshake tries of 2 s, then one drain read of 1.5 s.
    EXPECT_EQ(16 * 2000ull + 1500, serial_log.clock_ms);

    r = std::make_shared<xmodem_receiver>();
    r->on_eot = [](int) { return std::vector<int>{SILENCE}; };
    attach_receiver(r);
    EXPECT_EQ(-5, send(test_data(10)).result);
    EXPECT_EQ(10, r->eots);
    EXPECT_EQ(1 + 10, count_reads(2000));  // the handshake read and ten EOT answers
    EXPECT_EQ(1, count_reads(1000));       // the answer to the one block
}

TEST(XmodemDrain, StopsAtSilenceANulOrAHighByte)
{
    struct {
        std::vector<int> line;
        int reads;
    } cases[] = {{{}, 1}, {{'a', 'b', SILENCE, 'c'}, 3}, {{'a', 0x00, 'b'}, 2}, {{'a', 0x80, 'b'}, 2}, {{0xFF}, 1}};
    for (const auto &c : cases) {
        scripted_serial_reset(replies(c.line));
        drain_input();
        EXPECT_EQ(c.reads, (int)serial_log.read_timeouts.size());
    }
}

} // namespace

#include "boot_image_format.h"

namespace {

TEST(XmodemImage, APackedImageTravelsAsWholeBlocksWithTheFillerAfterIt)
{
    std::vector<unsigned char> code = test_data(0x784);
    std::vector<uint8_t> image = boot_image_pack(code.data(), code.size());
    ASSERT_EQ(2440u, image.size());

    auto r = std::make_shared<xmodem_receiver>();
    attach_receiver(r);
    EXPECT_EQ(2560, send(std::vector<unsigned char>(image.begin(), image.end())).result);
    ASSERT_EQ(20u, r->blocks.size());
    const auto &last = r->blocks.back();
    // The last 4 code bytes and the code sum, then the end marker and zeros.
    EXPECT_TRUE(std::equal(image.end() - 8, image.end(), last.begin() + 3));
    EXPECT_EQ(0x1A, last[3 + 8]);
    EXPECT_EQ(119, std::count(last.begin() + 3 + 9, last.begin() + 131, 0));
}

} // namespace
