// xmodem_send against an arbitrary receiver. The first two input bytes pick
// the size of the data (1 to 1100 bytes, so several blocks, short tails and
// whole multiples of 128 all come up); the rest is what the receiver sends.
// At every read the bytes written since the previous read are checked: each
// must be nothing, one well-formed block, one EOT, the three CANs of an abort
// or the ACK that answers a cancel, in an order a receiver can follow.
#include "boot_rom.h"
#include "invariant.h"
#include "scripted_link.h"
#include "xmodem.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>

namespace {

const unsigned char SOH = 0x01, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18, CTRL_Z = 0x1A;
const unsigned HANDSHAKE_MS = 2000;

struct checker {
  const unsigned char *data;
  std::size_t size;
  std::size_t consumed;  // written bytes already checked
  int last_byte;         // the byte the previous read returned
  bool crc_mode;
  bool blocks_started;
  long block_index;   // 1-based index of the last block sent, 0 before
  bool acknowledged;  // the answer to the last block was ACK
  int tries;          // times the current block went out
  int handshake_reads;
  int eots;
  bool aborted;       // CAN CAN CAN sent
  bool cancel_acked;  // ACK sent after CAN CAN
};

checker check;

std::size_t expected_blocks(void) { return check.size / 128 + 1; }

void check_block(const unsigned char *b, std::size_t n) {
  if (!check.blocks_started) {
    // The block follows at once the handshake byte that chose the mode.
    if (check.last_byte != 'C' && check.last_byte != NAK)
      fail("first block without a C or NAK just before it");
    check.crc_mode = check.last_byte == 'C';
    check.blocks_started = true;
  }
  if (n != (check.crc_mode ? 133u : 132u)) fail("block length does not match the mode");

  long index = check.block_index;
  if (index == 0 || check.acknowledged) {
    index++;
    check.tries = 0;
  }
  if (++check.tries > 25) fail("a block went out more than 25 times");
  check.block_index = index;
  check.acknowledged = false;
  if ((std::size_t)index > expected_blocks()) fail("more blocks than the data needs");

  if (b[1] != (unsigned char)index || b[2] != (unsigned char)(0xFF - b[1]))
    fail("block number or its complement");

  unsigned char want[128] = {0};
  std::size_t offset = (std::size_t)(index - 1) * 128;
  std::size_t count = check.size - offset < 128 ? check.size - offset : 128;
  std::memcpy(want, check.data + offset, count);
  if (count < 128) want[count] = CTRL_Z;
  if (std::memcmp(want, b + 3, 128) != 0) fail("block data");

  if (check.crc_mode) {
    uint16_t crc = boot_rom_crc16(want, 128);
    if (b[131] != (crc >> 8) || b[132] != (crc & 0xFF)) fail("block CRC");
  } else {
    unsigned char sum = 0;
    for (unsigned char c : want) sum = (unsigned char)(sum + c);
    if (b[131] != sum) fail("block checksum");
  }
}

enum unit { NOTHING, BLOCK, OTHER };

// What was written since the last read, as one unit.
unit check_written(void) {
  const std::vector<unsigned char> &w = serial_log.written;
  std::size_t n = w.size() - check.consumed;
  const unsigned char *p = w.data() + check.consumed;
  check.consumed = w.size();
  if (n == 0) return NOTHING;
  if (check.aborted || check.cancel_acked) fail("bytes written after the transfer was given up");
  if (p[0] == SOH) {
    if (check.eots) fail("a block after EOT");
    check_block(p, n);
    return BLOCK;
  }
  if (n == 1 && p[0] == EOT) {
    if (!check.acknowledged || (std::size_t)check.block_index != expected_blocks())
      fail("EOT before every block was acknowledged");
    if (++check.eots > 10) fail("more than 10 EOT");
  } else if (n == 3 && p[0] == CAN && p[1] == CAN && p[2] == CAN) {
    check.aborted = true;
  } else if (n == 1 && p[0] == ACK) {
    check.cancel_acked = true;
  } else {
    fail("bytes on the wire that are no block, EOT, CAN CAN CAN or ACK");
  }
  return OTHER;
}

void on_read(unsigned timeout_ms, int byte) {
  unit u = check_written();
  if (!check.blocks_started && !check.aborted && !check.cancel_acked &&
      timeout_ms == HANDSHAKE_MS && ++check.handshake_reads > 16)
    fail("more than 16 handshake reads");
  // Only the read right after a block is its answer.
  if (u == BLOCK) check.acknowledged = byte == ACK;
  check.last_byte = byte;
}

unsigned char source[1100];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  for (std::size_t i = 0; i < sizeof source; i++) source[i] = (unsigned char)(i * 7 + 3);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, std::size_t size) {
  if (size < 2) return 0;
  check = checker();
  check.data = source;
  check.size = 1 + (std::size_t)(input[0] | input[1] << 8) % sizeof source;
  // The receiver's bytes in order; past their end, silence.
  auto rest = std::make_shared<std::deque<int>>(input + 2, input + size);
  scripted_link_reset([rest](unsigned timeout_ms) {
    int byte = SILENCE;
    if (!rest->empty()) {
      byte = rest->front();
      rest->pop_front();
    }
    on_read(timeout_ms, byte == SILENCE ? 0 : byte);
    return byte;
  });

  int rc = xmodem_send(check.data, check.size);
  check_written();

  std::size_t sent_bytes = expected_blocks() * 128;
  switch (rc) {
    case XMODEM_CANCELLED:
      if (!check.cancel_acked) fail("-1 without the ACK that answers CAN CAN");
      break;
    case XMODEM_NO_HANDSHAKE:
      if (check.blocks_started || !check.aborted) fail("-2 after a block, or without CAN CAN CAN");
      break;
    case XMODEM_BLOCK_REFUSED:
      if (!check.aborted || check.tries != 25)
        fail("-4 without 25 tries of one block and CAN CAN CAN");
      break;
    case XMODEM_NO_EOT_ACK:
      if (check.eots != 10) fail("-5 without 10 EOT");
      break;
    default:
      if (rc < 0 || (std::size_t)rc != sent_bytes)
        fail("a result that is no code and not the byte count");
      if (check.eots == 0 || check.last_byte != ACK) fail("success without an acknowledged EOT");
      break;
  }
  return 0;
}
