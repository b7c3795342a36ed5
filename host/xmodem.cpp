#include "xmodem.h"

#include "korvane/board_map.h"
#include "serial_link.h"
#include "wakeup.h"

#include <cstdio>
#include <cstring>

static const int HANDSHAKE_TRIES = 16;
static const int BLOCK_TRIES = 25;
static const int EOT_TRIES = 10;
static const unsigned HANDSHAKE_MS = 2000;
static const unsigned BLOCK_ANSWER_MS = 1000;
static const unsigned AFTER_CAN_MS = 1000;
static const unsigned EOT_ANSWER_MS = 2000;
static const unsigned DRAIN_MS = 1500;
// A receiver that talks on after the cancel (one that ignores CAN, or line
// noise) would hold the drain for ever; a sound one is quiet long before.
static const unsigned DRAIN_LIMIT_MS = 10000;

static const std::size_t BLOCK_DATA = 128;

// One block as it goes on the wire. In checksum mode only check[0] is sent.
struct xmodem_block {
  unsigned char soh;
  unsigned char number;
  unsigned char complement;
  unsigned char data[BLOCK_DATA];
  unsigned char check[2];
};
static_assert(sizeof(xmodem_block) == 133, "an XMODEM block has no padding");

static uint16_t crc_table[256];

static void build_crc_table(void) {
  for (unsigned i = 0; i < 256; i++) {
    uint16_t crc = (uint16_t)(i << 8);
    for (int bit = 0; bit < 8; bit++)
      crc = (uint16_t)((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    crc_table[i] = crc;
  }
}

uint16_t xmodem_crc16(const unsigned char *data, std::size_t size) {
  if (crc_table[1] == 0) build_crc_table();
  uint16_t crc = 0;
  for (std::size_t i = 0; i < size; i++)
    crc = (uint16_t)((crc << 8) ^ crc_table[((crc >> 8) ^ data[i]) & 0xFF]);
  return crc;
}

// A byte from the receiver, or 0 for nothing. Bytes 0x80 to 0xFF count as
// nothing: they are line noise, never an XMODEM control byte.
static int receive(unsigned timeout_ms) {
  int byte = serial_read_byte(timeout_ms);
  return (signed char)byte > 0 ? byte : 0;
}

// No read starts that could end past the limit: each keeps its full
// time-out, as a shorter one would not tell silence from a lost port on
// every link.
void drain_input(void) {
  const unsigned long long end = serial_clock_ms() + DRAIN_LIMIT_MS;
  while (serial_clock_ms() + DRAIN_MS <= end && receive(DRAIN_MS) != 0) {
  }
}

static void send_cancel(void) {
  for (int i = 0; i < 3; i++) serial_write_byte(XMODEM_CAN);
  drain_input();
}

// After one CAN the next byte decides: a second CAN cancels the transfer,
// anything else (an ACK included) only uses up the try.
static bool cancelled_after_can(void) {
  if (receive(AFTER_CAN_MS) != XMODEM_CAN) return false;
  serial_write_byte(XMODEM_ACK);
  drain_input();
  return true;
}

// The block for the count bytes at data: CTRL-Z right after a short tail,
// or alone when nothing is left, zeros up to the full 128.
static std::size_t build_block(xmodem_block *block, unsigned char number, const unsigned char *data,
                               std::size_t count, bool crc_mode) {
  block->soh = XMODEM_SOH;
  block->number = number;
  block->complement = (unsigned char)(0xFF - number);
  std::memset(block->data, 0, sizeof block->data);
  std::memcpy(block->data, data, count);
  if (count < BLOCK_DATA) block->data[count] = XMODEM_PAD;
  if (crc_mode) {
    uint16_t crc = xmodem_crc16(block->data, BLOCK_DATA);
    block->check[0] = (unsigned char)(crc >> 8);
    block->check[1] = (unsigned char)crc;
    return 3 + BLOCK_DATA + 2;
  }
  unsigned char sum = 0;
  for (unsigned char byte : block->data) sum = (unsigned char)(sum + byte);
  block->check[0] = sum;
  return 3 + BLOCK_DATA + 1;
}

int xmodem_send(const unsigned char *data, std::size_t size) {
  bool crc_mode = false;
  bool started = false;
  for (int tries = 0; tries < HANDSHAKE_TRIES && !started; tries++) {
    int byte = receive(HANDSHAKE_MS);
    if (byte == XMODEM_CRC_REQUEST || byte == XMODEM_NAK) {
      crc_mode = byte == XMODEM_CRC_REQUEST;
      started = true;
    } else if (byte == XMODEM_CAN && cancelled_after_can()) {
      return XMODEM_CANCELLED;
    }
  }
  if (!started) {
    send_cancel();
    return XMODEM_NO_HANDSHAKE;
  }

  std::printf("\r%*s\r", WAKEUP_WAITING_WIDTH, "");
  std::printf(XMODEM_PROGRESS_FORMAT);

  unsigned char number = 1;
  std::size_t sent = 0;
  // A size that is a whole number of blocks still ends with one block
  // holding a lone CTRL-Z, so the receiver always sees the end marker.
  while (sent <= size) {
    std::size_t count = size - sent < BLOCK_DATA ? size - sent : BLOCK_DATA;
    xmodem_block block;
    std::size_t length = build_block(&block, number, data + sent, count, crc_mode);
    const unsigned char *wire = &block.soh;

    bool acknowledged = false;
    for (int tries = 0; tries < BLOCK_TRIES && !acknowledged; tries++) {
      for (std::size_t i = 0; i < length; i++) serial_write_byte(wire[i]);
      int byte = receive(BLOCK_ANSWER_MS);
      if (byte == XMODEM_ACK)
        acknowledged = true;
      else if (byte == XMODEM_CAN && cancelled_after_can())
        return XMODEM_CANCELLED;
    }
    if (!acknowledged) {
      send_cancel();
      return XMODEM_BLOCK_REFUSED;
    }
    std::printf("\b\b\b\b\b%3d%%)", (int)(100ull * sent / size));
    number++;
    sent += BLOCK_DATA;
  }

  int answer = 0;
  for (int tries = 0; tries < EOT_TRIES && answer != XMODEM_ACK; tries++) {
    serial_write_byte(XMODEM_EOT);
    answer = receive(EOT_ANSWER_MS);
  }
  return answer == XMODEM_ACK ? (int)sent : XMODEM_NO_EOT_ACK;
}
