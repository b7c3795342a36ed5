// XMODEM sender: 128-byte blocks with a CRC-16 or an 8-bit sum, as the
// receiver asks, and the download progress line on the console.
#pragma once

#include <cstddef>
#include <cstdint>

#include "korvane/console_texts.h"

enum {
  XMODEM_CANCELLED = -1,      // the receiver sent CAN CAN
  XMODEM_NO_HANDSHAKE = -2,   // no "C" or NAK within 16 tries
  XMODEM_BLOCK_REFUSED = -4,  // one block refused or unanswered 25 times
  XMODEM_NO_EOT_ACK = -5,     // the end of transmission was not acknowledged
};

// The width that blanks the download progress line once the download ends:
// the length of its format, so one column more than the line shows ("%%"
// prints as one character).
constexpr int XMODEM_PROGRESS_WIDTH = sizeof XMODEM_PROGRESS_FORMAT - 1;

// CRC-16 with polynomial 0x1021, initial value 0, no reflection, no final XOR.
uint16_t xmodem_crc16(const unsigned char *data, std::size_t size);

// Sends size bytes (size > 0). Returns the bytes counted as sent, 128 a
// block, or one of the negative codes above.
int xmodem_send(const unsigned char *data, std::size_t size);

// Reads and drops bytes until 1.5 s of silence or a byte that does not
// count as received, for 10 s at most.
void drain_input(void);
