// NAND flash identification: reset the chip, read its four ID bytes and its
// status, and compare them with the devices the board accepts. The chip is
// reached through three byte-wide ports; every access is one 8-bit load or
// store, in this order.
#include "hardware.h"
#include "korvane/console_texts.h"
#include "monitor.h"

constexpr uint32_t NAND_RESET = 0xFF;
constexpr uint32_t NAND_READ_STATUS = 0x70;
constexpr uint32_t NAND_READ_ID = 0x90;
constexpr uint32_t STATUS_READY = 0x40;
constexpr uint32_t STATUS_GOOD = 0xE0;  // ready, not write-protected, no error

// The host side checks readings from its own table (model/flash_checks.cpp);
// this copy is kept on purpose: the monitor is built apart, for the board.
// The accepted devices: either maker's 0xF1 part, each with its own fourth
// ID byte.
constexpr uint32_t MAKER_A = 0x20;
constexpr uint32_t MAKER_A_FOURTH = 0x1D;
constexpr uint32_t MAKER_B = 0x2C;
constexpr uint32_t MAKER_B_FOURTH = 0x95;
constexpr uint32_t DEVICE_CODE = 0xF1;

// A flash chip leaves reset within 500 us at worst (the slowest parts, reset
// during an erase); one load from the NAND window takes at least some tens of
// nanoseconds on the external bus. 2^20 polls therefore last far beyond any
// real reset (over 20 ms even at 20 ns a poll), while a dead or absent chip
// still costs the operator no more than a blink.
constexpr uint32_t READY_POLLS = 0x100000;

// Polls the status (Read Status already latched) until the ready bit is set;
// returns false when it never came up within READY_POLLS loads.
static bool wait_until_ready() {
  for (uint32_t polls = READY_POLLS; polls != 0; --polls) {
    uint32_t status = reg8(NAND_DATA);
    if ((status & STATUS_READY) != 0) return true;
  }
  return false;
}

uint32_t nand_id_test() {
  reg8(NAND_COMMAND) = NAND_RESET;
  reg8(NAND_COMMAND) = NAND_READ_STATUS;
  bool ready = wait_until_ready();

  reg8(NAND_COMMAND) = NAND_READ_ID;
  reg8(NAND_ADDRESS) = 0x00;
  uint32_t id[4];
  id[0] = reg8(NAND_DATA);  // maker
  id[1] = reg8(NAND_DATA);  // device
  id[2] = reg8(NAND_DATA);  // third ID byte
  id[3] = reg8(NAND_DATA);  // fourth ID byte
  // One field per byte: its letter, the byte, a space.
  static const char letters[4] = {TRACE_NAND_ID_LABELS[0], TRACE_NAND_ID_LABELS[1],
                                  TRACE_NAND_ID_LABELS[2], TRACE_NAND_ID_LABELS[3]};
  for (uint32_t i = 0; i < 4; ++i) {
    put_labelled(letters[i], id[i]);
    uart_putc(TRACE_NAND_ID_SEPARATOR);
  }
  put_newline();

  reg8(NAND_COMMAND) = NAND_READ_STATUS;
  uint32_t status = reg8(NAND_DATA);
  put_labelled(TRACE_NAND_STATUS_LABEL, status);
  put_newline();

  uint32_t maker = id[0], device = id[1], third = id[2], fourth = id[3];
  // Every check runs and a failing one overwrites the result, so the result
  // names the highest-numbered check that failed.
  uint32_t result = 0;
  bool maker_known = maker == MAKER_A || maker == MAKER_B;
  if (!maker_known) result = 1;
  bool device_known = device == DEVICE_CODE;
  if (!device_known) result = 2;
  bool third_known = third == 0x00 || third == 0x80;
  if (!third_known) result = 3;
  // The fourth byte is tested only for a known maker, against that maker's.
  uint32_t expected_fourth = fourth;
  if (maker == MAKER_A) expected_fourth = MAKER_A_FOURTH;
  if (maker == MAKER_B) expected_fourth = MAKER_B_FOURTH;
  bool fourth_known = fourth == expected_fourth;
  if (!fourth_known) result = 4;
  bool status_good = status == STATUS_GOOD;
  if (!status_good) result = 5;
  if (!ready) result = NAND_RESULT_NEVER_READY;
  return result;
}
