// The board and the boot monitor as every side sees them: the boot ROM's
// wake-up and transfer bytes and the monitor's command bytes and results on
// the serial line, the board's memory map, and the budgets
// that the monitor's image is built to. Constants only, so that the
// freestanding monitor, the host, the simulator and the tests can all include
// it; the monitor's linker script takes the numeric constants from a file
// generated from this one (monitor/linker_constants.cmake), so each
// initialiser below is a plain number or a sum of earlier names, with no
// suffix or cast.
#pragma once

#include <stdint.h>

// The boot ROM listens after a reset for the wake-up pattern and answers it
// with XMODEM_NAK; then it takes the image with XMODEM, 128-byte blocks with
// a CRC-16 (asked for with XMODEM_CRC_REQUEST) or an 8-bit sum (asked for with
// XMODEM_NAK), the last block padded with XMODEM_PAD.
constexpr unsigned char WAKEUP_PATTERN[8] = {0xBB, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
// XMODEM's control bytes.
enum xmodem_byte : unsigned char {
  XMODEM_SOH = 0x01,
  XMODEM_EOT = 0x04,
  XMODEM_ACK = 0x06,
  XMODEM_NAK = 0x15,
  XMODEM_CAN = 0x18,
  XMODEM_PAD = 0x1A,
  XMODEM_CRC_REQUEST = 'C',
};

// The monitor's command cycle: it sends MONITOR_PROMPT, reads one command
// byte, runs the command (sending trace text only in verbose mode), then sends
// MONITOR_RESULT_MARK and the result in lowercase hexadecimal. Any other
// command byte is answered with result 0.
constexpr char MONITOR_PROMPT = '?';
constexpr char MONITOR_RESULT_MARK = ':';
constexpr char COMMAND_SDRAM_TEST = '1';
constexpr char COMMAND_NAND_TEST = '2';
constexpr char COMMAND_SLOW_OUTPUT = 's';  // pause after each line end from now on
constexpr char COMMAND_VERBOSE = 'v';      // trace text from the next command on
// The results: 0 when the test passed, so a result's first figure is
// MONITOR_PASSED_FIGURE exactly then; the SDRAM test names the last of its
// two parts that failed (1 data lines, 2 address lines), the NAND test the
// last of its checks that failed (1 to 5) or a chip never ready.
constexpr char MONITOR_PASSED_FIGURE = '0';
constexpr int NAND_RESULT_NEVER_READY = 6;

// SDRAM: where the boot ROM loads the monitor, and what the monitor tests.
constexpr uint32_t SDRAM_BASE = 0x00000000;
constexpr uint32_t SDRAM_SIZE = 0x04000000;
constexpr uint32_t MONITOR_LOAD_ADDRESS = SDRAM_BASE;

// The internal RAM, the monitor's own: code from the run address, the two
// flag words right after the code, and a full-descending stack from the top.
constexpr uint32_t INTERNAL_RAM_BASE = 0xC8010000;
constexpr uint32_t INTERNAL_RAM_SIZE = 0x800;
constexpr uint32_t MONITOR_RUN_ADDRESS = INTERNAL_RAM_BASE;
constexpr uint32_t MONITOR_AREA_SIZE = INTERNAL_RAM_SIZE;
constexpr uint32_t MONITOR_STACK_TOP = MONITOR_RUN_ADDRESS + MONITOR_AREA_SIZE;
constexpr uint32_t MONITOR_FLAG_WORDS_SIZE = 8;

// Peripherals: the control block that the monitor's start-up adjusts, the
// UART (16550 registers, 32 bits wide, 4 bytes apart) and the NAND flash
// window (data port, command latch, address latch at offsets 0, 1, 2).
constexpr uint32_t CONTROL_BLOCK_BASE = 0xD0010000;
constexpr uint32_t UART_BASE = 0xD0012000;
constexpr uint32_t NAND_WINDOW_BASE = 0xD8000000;

// What the monitor's deepest call chain may take of the stack; the image
// packer reserves it, the link checks that code and flags leave it free.
constexpr uint32_t MONITOR_STACK_BUDGET = 104;
// The boot image (a 0x200-byte header, the code, a 4-byte checksum) travels
// in 128-byte XMODEM blocks; code of at most this size keeps it to 15 blocks.
constexpr uint32_t MONITOR_CODE_BUDGET = 1400;
constexpr uint32_t MONITOR_IMAGE_BLOCKS = 15;

static_assert(0x200 + MONITOR_CODE_BUDGET + 4 <= MONITOR_IMAGE_BLOCKS * 128,
              "the code budget must keep the image within its blocks");
static_assert(MONITOR_CODE_BUDGET + MONITOR_FLAG_WORDS_SIZE + MONITOR_STACK_BUDGET <=
                  MONITOR_AREA_SIZE,
              "code, flag words and stack must share the monitor's RAM");
static_assert(SDRAM_BASE + SDRAM_SIZE <= MONITOR_RUN_ADDRESS,
              "the monitor must run outside the SDRAM that it tests");
