// The simulated board's boot ROM in serial boot mode, as a byte-stream state
// machine: it is fed the bytes that arrive on the line, each with its arrival
// time, and appends the bytes it answers with to an output buffer. It never
// reads a clock or touches a file, so tests drive it with a virtual clock.
//
// Principles of operation
// - Waking: the ROM listens once boot_delay_ms have passed since reset (time
//   0); bytes that arrive earlier are lost, as on a board still starting up.
//   A complete wake-up pattern is answered with NAK; anything else, a partial
//   pattern included, is ignored.
// - Handshake: right after the NAK the ROM asks for the transfer with "C"
//   (CRC-16) or NAK (8-bit sum), and asks again every second until the first
//   byte of a block arrives.
// - Blocks: SOH, number, complement, 128 data bytes, CRC (high byte first)
//   or sum. A good block is stored and acknowledged; a block whose number,
//   complement or check is wrong is refused with NAK; a repeat of the block
//   just taken is acknowledged again and not stored twice. A block that stops
//   arriving half-way is dropped and refused after a second of silence.
// - EOT is acknowledged and ends the transfer: the received bytes are then
//   ready to be checked and started (boot_rom_image.h). Two CAN from the
//   sender abort the transfer and the ROM listens for a wake-up again.
//
// Summary
//   boot_rom_init      reset the ROM with its options and faults
//   boot_rom_receive   one byte arrived at a given time
//   boot_rom_tick      time passed; sends what is due (handshake, refusal)
//   boot_rom_deadline  when boot_rom_tick next has something to do
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The ROM's own copy of the XMODEM bytes, kept on purpose: it checks the host's.
constexpr uint8_t BOOT_ROM_SOH = 0x01;
constexpr uint8_t BOOT_ROM_EOT = 0x04;
constexpr uint8_t BOOT_ROM_ACK = 0x06;
constexpr uint8_t BOOT_ROM_NAK = 0x15;
constexpr uint8_t BOOT_ROM_CAN = 0x18;
constexpr uint8_t BOOT_ROM_CRC_REQUEST = 'C';
constexpr size_t BOOT_ROM_BLOCK_DATA = 128;
constexpr size_t BOOT_ROM_WAKEUP_SIZE = 8;
// The wake-up pattern the ROM answers (0xBB occurs only first).
extern const uint8_t BOOT_ROM_WAKEUP[BOOT_ROM_WAKEUP_SIZE];

// Time in milliseconds since the board was reset.
using boot_rom_ms = int64_t;
constexpr boot_rom_ms BOOT_ROM_NEVER = INT64_MAX;

struct boot_rom_config {
  bool checksum_mode = false;  // ask with NAK for 8-bit sums instead of "C"
  boot_rom_ms boot_delay_ms = 0;
  // Faults of the receiver. Blocks count from 1 in the order of the transfer.
  int nak_block = 0;  // refuse the first nak_count tries of this block
  int nak_count = 0;
  int cancel_block = 0;       // answer this block with CAN CAN
  bool no_handshake = false;  // after the wake-up NAK, never ask for a transfer
};

enum class boot_rom_state {
  waking,     // waiting for a complete wake-up pattern
  handshake,  // asking for the transfer, no block begun yet
  receiving,  // between or inside blocks
  done,       // EOT acknowledged; image holds the received bytes
};

struct boot_rom {
  boot_rom_config config;
  boot_rom_state state = boot_rom_state::waking;
  size_t pattern_pos = 0;
  boot_rom_ms next_request = BOOT_ROM_NEVER;  // next handshake byte is due
  boot_rom_ms last_byte = 0;                  // arrival of the last block byte
  bool can_seen = false;
  uint8_t block[3 + BOOT_ROM_BLOCK_DATA + 2];
  size_t block_len = 0;   // 0: waiting for SOH or EOT
  int blocks_taken = 0;   // also the number of the last block stored (mod 256)
  int tries_of_next = 0;  // tries seen so far of block blocks_taken + 1
  std::vector<uint8_t> image;
};

// The most the ROM takes before it cancels: far more than any monitor, which
// must fit the board's 2 KiB of on-chip memory, yet a bound on a sender that
// never stops.
constexpr size_t BOOT_ROM_MAX_IMAGE = 1u << 20;

void boot_rom_init(boot_rom *rom, const boot_rom_config *config);
void boot_rom_receive(boot_rom *rom, uint8_t byte, boot_rom_ms now, std::vector<uint8_t> *out);
void boot_rom_tick(boot_rom *rom, boot_rom_ms now, std::vector<uint8_t> *out);
boot_rom_ms boot_rom_deadline(const boot_rom *rom);

// CRC-16 with polynomial 0x1021, start value 0, no reflection, as XMODEM uses.
// Worked bit by bit, apart from the host's table on purpose: the tests take it
// as their reference, an independent check of the sender's.
uint16_t boot_rom_crc16(const uint8_t *data, size_t size);
