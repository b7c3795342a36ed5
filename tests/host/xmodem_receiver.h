// A scripted XMODEM receiver for the sender's tests: it answers the
// handshake from a list, and each block or EOT the sender writes through a
// policy, and keeps every block it saw.
#pragma once

#include "scripted_serial.h"

#include <deque>
#include <functional>
#include <memory>
#include <vector>

const int ACK = 0x06, NAK = 0x15, CAN = 0x18, EOT = 0x04, SOH = 0x01;

struct xmodem_receiver {
    std::vector<int> handshake = {'C'};  // one entry per handshake read
    // Bytes to answer the given block (counted from 0 over every copy sent) with.
    std::function<std::vector<int>(int block, int attempt)> on_block =
        [](int, int) { return std::vector<int>{ACK}; };
    std::function<std::vector<int>(int attempt)> on_eot = [](int) { return std::vector<int>{ACK}; };

    // Filled while the sender runs.
    std::vector<std::vector<unsigned char>> blocks;  // every copy, in order
    int eots = 0;
    std::vector<unsigned char> controls;  // bytes written outside blocks and EOT (ACK, CAN)
};

// Installs the receiver as the serial peer.
void attach_receiver(std::shared_ptr<xmodem_receiver> r);
