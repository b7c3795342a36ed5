#include "scripted_board.h"

#include "boot_image.h"

#include <cstdint>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

const unsigned char NAK = 0x15, ACK = 0x06, EOT = 0x04, SOH = 0x01, CAN = 0x18;
const int QUIET_MS = 5000;

int read_byte(int fd, int timeout_ms)
{
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1 || !(p.revents & POLLIN))
        return -1;
    unsigned char byte;
    return read(fd, &byte, 1) == 1 ? byte : -1;
}

void send(int fd, const std::string &bytes)
{
    ssize_t n = write(fd, bytes.data(), bytes.size());
    (void)n;
}

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

// Returns false when the board should hang up or korvane has gone.
bool wake_up(int fd, int *held_slave, board_script *s)
{
    const unsigned char pattern[8] = {0xBB, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    int matched = 0, seen = 0;
    while (matched < 8) {
        int b = read_byte(fd, QUIET_MS);
        if (*held_slave >= 0) {
            close(*held_slave);
            *held_slave = -1;
            if (s->on_first_byte)
                s->on_first_byte();
        }
        if (b < 0)
            return false;
        if (s->hang_up == HANG_UP_IN_WAKEUP && ++seen == 3)
            return false;
        matched = b == pattern[matched] ? matched + 1 : (b == pattern[0] ? 1 : 0);
    }
    send(fd, std::string(1, (char)NAK));
    // Patterns sent before the NAK arrived are still on the way; korvane
    // falls quiet once it has the NAK, and waits for the handshake.
    while (read_byte(fd, 120) >= 0) {
    }
    send(fd, "C");
    return true;
}

bool download(int fd, board_script *s)
{
    std::vector<unsigned char> received;
    for (int blocks = 0;; blocks++) {
        int first = read_byte(fd, QUIET_MS);
        if (first == EOT) {
            send(fd, std::string(1, (char)ACK));
            break;
        }
        if (first != SOH)
            return false;
        unsigned char block[132];
        for (int i = 0; i < 132; i++) {
            if (s->hang_up == HANG_UP_IN_DOWNLOAD && blocks == 2 && i == 60)
                return false;
            int b = read_byte(fd, 2000);
            if (b < 0)
                return false;
            block[i] = (unsigned char)b;
        }
        if (s->cancel_download) {
            send(fd, std::string(2, (char)CAN));
            // korvane answers with one ACK and drains; stay quiet till it has gone.
            while (read_byte(fd, QUIET_MS) >= 0) {
            }
            return false;
        }
        uint16_t crc = crc16(block + 2, 128);
        bool good = block[1] == 0xFF - block[0] && block[130] == crc >> 8 && block[131] == (crc & 0xFF);
        send(fd, std::string(1, (char)(good ? ACK : NAK)));
        if (good)
            received.insert(received.end(), block + 2, block + 130);
    }
    s->image_matches = received.size() >= BOOT_IMAGE_SIZE &&
                       std::memcmp(received.data(), boot_image, BOOT_IMAGE_SIZE) == 0;
    return true;
}

void monitor(int fd, board_script *s)
{
    send(fd, "?");
    for (;;) {
        int command = read_byte(fd, QUIET_MS);
        if (command < 0)
            return;
        if (s->hang_up == HANG_UP_IN_TESTS && (int)s->commands.size() == s->hang_up_at_command)
            return;
        s->commands += (char)command;
        auto it = s->answers.find((char)command);
        send(fd, (it == s->answers.end() ? std::string(":0") : it->second) + "?");
    }
}

} // namespace

void play_board(int master, int held_slave, board_script *s)
{
    if (wake_up(master, &held_slave, s) && download(master, s))
        monitor(master, s);
    if (held_slave >= 0)
        close(held_slave);
    close(master);
    s->hung_up_at = steady_seconds();
}
