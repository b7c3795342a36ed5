// NAND flash identification: reset the chip, read its four ID bytes and its
// status, and compare them with the devices the board accepts. The chip is
// reached through three byte-wide ports; every access is one 8-bit load or
// store, in this order.
#include "hardware.h"
#include "monitor.h"

constexpr uint32_t NAND_RESET = 0xFF;
constexpr uint32_t NAND_READ_STATUS = 0x70;
constexpr uint32_t NAND_READ_ID = 0x90;
constexpr uint32_t STATUS_READY = 0x40;
constexpr uint32_t STATUS_GOOD = 0xE0;  // ready, not write-protected, no error

// A flash chip leaves reset within 500 us at worst (the slowest parts, reset
// during an erase); one load from the NAND window takes at least some tens of
// nanoseconds on the external bus. 2^20 polls therefore last far beyond any
// real reset (over 20 ms even at 20 ns a poll), while a dead or absent chip
// still costs the operator no more than a blink.
constexpr uint32_t READY_POLLS = 0x100000;

uint32_t nand_id_test() {
  reg8(NAND_COMMAND) = NAND_RESET;
  reg8(NAND_COMMAND) = NAND_READ_STATUS;
  uint32_t polls = READY_POLLS;
  while ((reg8(NAND_DATA) & STATUS_READY) == 0 && --polls != 0) {
  }
  reg8(NAND_COMMAND) = NAND_READ_ID;
  reg8(NAND_ADDRESS) = 0x00;
  // Bytes 0 to 3 (maker, device, third, fourth), lowest first in one word.
  uint32_t id = 0;
  for (uint32_t shift = 0; shift < 32; shift += 8) id |= reg8(NAND_DATA) << shift;

  // Each field is its letter, the byte and a space; the letters are packed
  // the same way as the bytes.
  for (uint32_t letters = 'M' | 'D' << 8 | 'R' << 16 | 'P' << 24, bytes = id; letters != 0;
       letters >>= 8, bytes >>= 8) {
    put_labelled(letters & 0xFF, bytes & 0xFF);
    uart_putc(' ');
  }
  put_newline();
  reg8(NAND_COMMAND) = NAND_READ_STATUS;
  uint32_t status = reg8(NAND_DATA);
  put_labelled('S', status);
  put_newline();

  // Every check runs and a failing one overwrites the result, so the result
  // names the highest-numbered check that failed.
  uint32_t maker = id & 0xFF, device = id >> 8 & 0xFF, third = id >> 16 & 0xFF;
  uint32_t fourth = id >> 24;
  uint32_t result = 0;
  uint32_t expected_fourth = fourth;  // not tested for an unknown maker
  if (maker == 0x20) {
    expected_fourth = 0x1D;
  } else if (maker == 0x2C) {
    expected_fourth = 0x95;
  } else {
    result = 1;
  }
  if (device != 0xF1) result = 2;
  if (third != 0x00 && third != 0x80) result = 3;
  if (fourth != expected_fourth) result = 4;
  if (status != STATUS_GOOD) result = 5;
  if (polls == 0) result = NAND_NEVER_READY;
  return result;
}
