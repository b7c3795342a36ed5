// The peripheral models as a program on the core sees them: a small ARM
// program runs a script of loads and stores, and each case checks what
// reached the line, what the loads gave and what the board reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "korvane/board_map.h"
#include "uart_queue.h"

namespace {

// The script runner, at address 0. Script of (op, address, value) words from
// 0x1000, kept loads from 0x2000. Ops: 0 end (then spin), 1 store word,
// 2 store byte, 3 load word and keep it, 4 load byte and keep it, 5 load
// word until (value & mask) != 0, 6 spin `value` two-instruction loops,
// 7 load byte until (value & mask) != 0, 8 store halfword, 9 load halfword
// and keep it. Its stores are at 0x18 (word), 0x20 (byte), 0x58 (halfword),
// its loads at 0x28, 0x34, 0x60, 0x6c (word wait) and 0x8c (byte wait).
const uint32_t RUNNER[] = {
    0xe3a04a01, 0xe3a05a02, 0xe8b40007, 0xe3500000, 0x0a00001c, 0xe3500001, 0x05812000, 0xe3500002,
    0x05c12000, 0xe3500003, 0x05913000, 0x04853004, 0xe3500004, 0x05d13000, 0x04853004, 0xe3500005,
    0x0a000009, 0xe3500006, 0x0a00000b, 0xe3500007, 0x0a00000d, 0xe3500008, 0x01c120b0, 0xe3500009,
    0x01d130b0, 0x04853004, 0xeaffffe6, 0xe5913000, 0xe1130002, 0x0afffffc, 0xeaffffe2, 0xe2522001,
    0x1afffffd, 0xeaffffdf, 0xeafffffe, 0xe5d13000, 0xe1130002, 0x0afffffc, 0xeaffffda,
};
constexpr uint32_t SCRIPT = 0x1000, KEPT = 0x2000;

enum op : uint32_t { END, STORE, STORE8, LOAD, LOAD8, WAIT, SPIN, WAIT8, STORE16, LOAD16 };
struct step {
  op what;
  uint32_t address, value;
};

// The register layout of the models, written out: an independent check of
// the layout the monitor's sources use.
constexpr uint32_t THR = UART_BASE, DLM = UART_BASE + 4, IER = UART_BASE + 4, FCR = UART_BASE + 8,
                   IIR = UART_BASE + 8, LCR = UART_BASE + 0xC, MCR = UART_BASE + 0x10,
                   LSR = UART_BASE + 0x14;
constexpr uint32_t NAND_DATA = NAND_WINDOW_BASE, NAND_CMD = NAND_WINDOW_BASE + 1,
                   NAND_ADDR = NAND_WINDOW_BASE + 2;

struct model_case {
  const char *name;
  std::vector<step> script;
  std::string sent;             // expected on the line
  std::vector<uint32_t> loads;  // expected kept loads
  const char *report;           // expected in the one report, or "" for none
  std::string rx = "";          // bytes the host has sent
  uint8_t nand_status = 0xE0;
  size_t reports = 1;  // when report is not "": each kind is reported once
  // Leave the UART's interrupts as the boot ROM left them; otherwise the
  // script begins by switching them off.
  bool rom_interrupts = false;
};

std::vector<step> with_divisor(uint32_t divisor, uint32_t lcr, std::vector<step> rest) {
  std::vector<step> s = {
      {STORE, LCR, 0x80}, {STORE, THR, divisor}, {STORE, DLM, 0}, {STORE, LCR, lcr}};
  s.insert(s.end(), rest.begin(), rest.end());
  return s;
}

// Stores of n bytes from "A" on, back to back, and what reaches the line.
// A store takes the runner some 50 instructions, so three bytes have left
// by the 21st: the transmitter and its FIFO then hold 17 bytes.
std::vector<step> fifo_stores(uint32_t n) {
  std::vector<step> s;
  for (uint32_t i = 0; i < n; ++i) s.push_back({STORE, THR, 'A' + i});
  return s;
}
std::string fifo_text(uint32_t n) {
  std::string t;
  for (uint32_t i = 0; i < n; ++i) t += char('A' + i);
  return t;
}

const std::vector<step> NAND_READY = {
    {STORE8, NAND_CMD, 0xFF}, {STORE8, NAND_CMD, 0x70}, {WAIT8, NAND_DATA, 0x40}};
std::vector<step> after_ready(std::vector<step> rest) {
  std::vector<step> s = NAND_READY;
  s.insert(s.end(), rest.begin(), rest.end());
  return s;
}

// A board whose UART is the queue *line; null, with a failure, when it
// cannot be made.
board *queued_board(const board_config &config, uart_queue *line) {
  uart_backend backend = uart_queue_backend(line);
  std::string why;
  line->b = board_create(&config, &backend, &why);
  EXPECT_NE(nullptr, line->b) << why;
  return line->b;
}

void run_case(const model_case &c, board_config config = {}) {
  SCOPED_TRACE(c.name);
  config.nand.final_status = c.nand_status;
  uart_queue line;
  line.rx.assign(c.rx.begin(), c.rx.end());
  board *b = queued_board(config, &line);
  ASSERT_NE(nullptr, b);
  ASSERT_TRUE(board_load(b, reinterpret_cast<const uint8_t *>(RUNNER), sizeof RUNNER));
  std::string why;
  std::vector<uint32_t> script;
  if (!c.rom_interrupts) script.insert(script.end(), {STORE, IER, 0});
  for (const step &s : c.script) script.insert(script.end(), {s.what, s.address, s.value});
  script.insert(script.end(), {END, 0, 0});
  ASSERT_TRUE(board_write_memory(b, SCRIPT, script.data(), 4 * script.size()));
  ASSERT_TRUE(board_run(b, 20000, &why)) << why;
  EXPECT_EQ(c.sent, line.tx);
  std::vector<uint32_t> loads(c.loads.size());
  board_read_memory(b, KEPT, loads.data(), 4 * loads.size());
  EXPECT_EQ(c.loads, loads);
  // Waiting for one's own output is not waiting for input.
  EXPECT_FALSE(line.waiting);
  if (c.report[0] == '\0') {
    EXPECT_TRUE(board_reports(b).empty()) << board_reports(b)[0];
  } else {
    bool found = false;
    for (const std::string &r : board_reports(b)) found = found || r.find(c.report) != r.npos;
    EXPECT_TRUE(found) << c.report;
    EXPECT_EQ(c.reports, board_reports(b).size());
  }
  board_destroy(b);
}

template <size_t N>
void run_cases(const model_case (&cases)[N]) {
  for (const model_case &c : cases) run_case(c);
}

TEST(BoardModels, RefuseWhatTheHardwareRefuses) {
  const model_case cases[] = {
      {"bytes with the transmitter wait",
       {{STORE, THR, 'A'}, {WAIT, LSR, 0x20}, {STORE, THR, 'B'}},
       "AB",
       {},
       ""},
      {"bytes the transmit FIFO holds", fifo_stores(20), fifo_text(20), {}, ""},
      {"a byte beyond the transmit FIFO",
       fifo_stores(21),
       fifo_text(20),
       {},
       "byte 0x55 stored to the data register 0xd0012000 at pc 0x00000018 while the transmit "
       "FIFO was full (it holds 16): lost"},
      {"FIFOs off: one byte behind the one being sent",
       {{STORE, FCR, 0x06}, {STORE, THR, 'A'}, {STORE, THR, 'B'}, {STORE, THR, 'C'}},
       "AB",
       {},
       "byte 0x43 stored to the data register 0xd0012000 at pc 0x00000018 while the transmit "
       "FIFO was full (it holds 1): lost",
       "",
       0xE0,
       2},
      // 347 instructions for a 10-bit character at 115200 baud, each
      // peripheral access 32 of them: the FIFO is empty once the second
      // byte moves on to be sent, the transmitter once it has left.
      {"transmitter busy for a character time",
       {{STORE, THR, 'A'},
        {STORE, THR, 'B'},
        {LOAD, LSR, 0},
        {SPIN, 0, 50},
        {LOAD, LSR, 0},
        {SPIN, 0, 150},
        {LOAD, LSR, 0},
        {SPIN, 0, 400},
        {LOAD, LSR, 0}},
       "AB",
       {0x00, 0x00, 0x20, 0x60},
       ""},
      {"more bytes arrive than the receive FIFO holds",
       {{LOAD, LSR, 0}},
       "",
       {0x63},
       "uart: 17 bytes arrived unread at pc 0x00000028, more than the receive FIFO's 16",
       std::string(17, 'x')},
      {"as many as it holds", {{LOAD, LSR, 0}}, "", {0x61}, "", std::string(16, 'x')},
      {"the line used with the boot ROM's interrupts on",
       {{WAIT, LSR, 0x20}},
       "",
       {},
       "uart: line used at pc 0x0000006c with interrupt enable 0x05 at 0xd0012004, as the boot "
       "ROM left it",
       "",
       0xE0,
       1,
       true},
      {"twice the line's rate",
       with_divisor(0x2C, 0x03, {{STORE, THR, 'A'}}),
       "\xFC",
       {},
       "0x41 stored to the data register 0xd0012000 at pc 0x00000018 with divisor 0x002c and "
       "line control 0x03, 233018 baud 8N1 on a 115200 baud 8N1 line: garbled to 0xfc"},
      {"seven data bits", with_divisor(0x59, 0x02, {{STORE, THR, 'A'}}), "\xC1", {}, "7N1"},
      {"two stop bits that happen to read right",
       with_divisor(0x59, 0x07, {{STORE, THR, 'A'}}),
       std::string(1, '\0'),
       {},
       "8N2"},
      {"rate 1% off", with_divisor(0x58, 0x03, {{STORE, THR, 'A'}}), "A", {}, ""},
      {"wrong rate on receive",
       with_divisor(0x2C, 0x03, {{LOAD, THR, 0}}),
       "",
       {0x06},
       "received into the data register",
       "A"},
      {"receive with no byte waiting",
       {{LOAD, THR, 0}, {LOAD, THR, 0}},
       "",
       {'x', 'x'},
       "load from the receive register 0xd0012000 at pc 0x00000028 with no byte waiting: gives "
       "the last byte again, 0x78",
       "x"},
      {"stale byte after reset is the ROM's last", {{LOAD, THR, 0}}, "", {0x04}, "no byte waiting"},
      {"Read ID after ready",
       after_ready({{STORE8, NAND_CMD, 0x90},
                    {STORE8, NAND_ADDR, 0},
                    {LOAD8, NAND_DATA, 0},
                    {LOAD8, NAND_DATA, 0},
                    {LOAD8, NAND_DATA, 0},
                    {LOAD8, NAND_DATA, 0}}),
       "",
       {0x2C, 0xF1, 0x80, 0x95},
       ""},
      {"Read ID without its address cycle",
       after_ready({{STORE8, NAND_CMD, 0x90}, {LOAD8, NAND_DATA, 0}, {LOAD8, NAND_DATA, 0}}),
       "",
       {0xFF, 0xFF},
       "after Read ID without its 0x00 address cycle"},
      {"address cycle before Read ID",
       after_ready({{STORE8, NAND_ADDR, 0}, {STORE8, NAND_CMD, 0x90}, {LOAD8, NAND_DATA, 0}}),
       "",
       {0xFF},
       "address 0x00 stored to the address latch 0xd8000002 at pc 0x00000020 with no "
       "command that takes an address",
       "",
       0xE0,
       2},
      {"Read ID while busy after reset",
       {{STORE8, NAND_CMD, 0xFF},
        {STORE8, NAND_CMD, 0x90},
        {STORE8, NAND_ADDR, 0},
        {LOAD8, NAND_DATA, 0}},
       "",
       {0xFF},
       "command 0x90 stored to the command latch 0xd8000001 at pc 0x00000020 while",
       "",
       0xE0,
       2},
      // 500 us at 4 instructions a microsecond: 2000 instructions.
      {"busy status for the reset time",
       {{STORE8, NAND_CMD, 0xFF},
        {STORE8, NAND_CMD, 0x70},
        {LOAD8, NAND_DATA, 0},
        {SPIN, 0, 700},
        {LOAD8, NAND_DATA, 0},
        {SPIN, 0, 400},
        {LOAD8, NAND_DATA, 0}},
       "",
       {0x80, 0x80, 0xE0},
       ""},
      {"write-protected chip",
       {{STORE8, NAND_CMD, 0xFF},
        {STORE8, NAND_CMD, 0x70},
        {LOAD8, NAND_DATA, 0},
        {WAIT8, NAND_DATA, 0x40},
        {LOAD8, NAND_DATA, 0}},
       "",
       {0x00, 0x60},
       "",
       "",
       0x60},
  };
  run_cases(cases);
}

// The start-up's read-modify-writes of the control block: register offset,
// bits cleared, bits set; and two ways to get one wrong.
struct rmw {
  uint32_t offset, clear, set;
  bool inverted = false;  // keeps the bits it should clear, and only those
  bool read = true;
};
constexpr rmw R000{0x000, 0x0F000000, 0}, R100{0x100, 0x40, 0}, R104{0x104, 0x40, 0},
    R140{0x140, 0x1FC0, 0}, R144{0x144, 0x1FC0, 0}, R004_CLEAR{0x004, 0xFF00, 0},
    R004_SET{0x004, 0, 0x3300};
const std::vector<rmw> START_UP = {R000, R100, R104, R140, R144, R004_CLEAR, R004_SET};

// The loads and stores of the steps, on the board's reset values.
std::vector<step> control_script(const std::vector<rmw> &steps) {
  const uint32_t offsets[6] = {0x000, 0x004, 0x100, 0x104, 0x140, 0x144};
  std::map<uint32_t, uint32_t> regs;
  for (int i = 0; i < 6; ++i) regs[offsets[i]] = board_config{}.control_init[i];
  std::vector<step> script;
  for (const rmw &r : steps) {
    uint32_t &reg = regs[r.offset];
    if (r.read) script.push_back({LOAD, CONTROL_BLOCK_BASE + r.offset, 0});
    reg = ((r.inverted ? reg & r.clear : reg & ~r.clear)) | r.set;
    script.push_back({STORE, CONTROL_BLOCK_BASE + r.offset, reg});
  }
  return script;
}

std::vector<rmw> changed(std::vector<rmw> steps, size_t at, rmw step) {
  steps[at] = step;
  return steps;
}

TEST(BoardModels, ControlBlockTakesOnlyTheStartUpsSteps) {
  rmw inverted = R000, unread = R100;
  inverted.inverted = true;
  unread.read = false;
  const model_case cases[] = {
      {"the seven steps", control_script(START_UP), "", {}, ""},
      {"a mask inverted",
       control_script(changed(START_UP, 0, inverted)),
       "",
       {},
       "0x0f000000 stored to 0xd0010000 at pc 0x00000018 changes bits 0x105a3c69 of 0x1f5a3c69 "
       "outside bits 0x0f000000, which the start-up may change: they are lost",
       "",
       0xE0,
       2},
      {"a field bit left set",
       control_script(changed(START_UP, 0, {0x000, 0x07000000, 0})),
       "",
       {},
       "leaves bits 0x0f000000 as 0x08000000; the start-up sets them to 0x00000000"},
      {"a bit set beyond the field",
       control_script(changed(START_UP, 6, {0x004, 0, 0x3320})),
       "",
       {},
       "changes bits 0x00000020 of 0x6b820095 outside bits 0x00003300"},
      {"two steps swapped",
       control_script({R000, R100, R104, R144, R140, R004_CLEAR, R004_SET}),
       "",
       {},
       "stored to 0xd0010144 at pc 0x00000018 before the start-up's steps that come first"},
      {"a step done twice",
       control_script({R000, R000, R100, R104, R140, R144, R004_CLEAR, R004_SET}),
       "",
       {},
       "stored to 0xd0010000 at pc 0x00000018 once more, after the start-up's steps on it"},
      {"a store without its load",
       control_script(changed(START_UP, 1, unread)),
       "",
       {},
       "stored to 0xd0010100 at pc 0x00000018 without reading the register first"},
      {"a byte load",
       {{LOAD8, CONTROL_BLOCK_BASE + 0x100, 0}},
       "",
       {0xE7},
       "1-byte load at 0xd0010100 at pc 0x00000034, in the register 0xd0010100: the control "
       "registers take 32-bit loads and stores only"},
      {"another register",
       {{STORE, CONTROL_BLOCK_BASE + 0x200, 1}},
       "",
       {},
       "0x00000001 stored to 0xd0010200 at pc 0x00000018, a register the start-up does not "
       "adjust"},
  };
  run_cases(cases);
}

TEST(BoardModels, UartTakesOnlyItsSetUpAndWords) {
  const model_case cases[] = {
      {"the start-up's set-up",
       {{STORE, IER, 0},
        {STORE, LCR, 0x80},
        {STORE, THR, 0x59},
        {STORE, DLM, 0},
        {STORE, LCR, 0x03},
        {STORE, FCR, 0x87},
        {STORE, MCR, 0x03},
        {WAIT, LSR, 0x20},
        {STORE, THR, 'A'},
        {LOAD, IIR, 0}},
       "A",
       {0xC1},
       ""},
      {"a byte store to the data register",
       {{STORE8, THR, 'A'}},
       "A",
       {},
       "uart: 1-byte store at 0xd0012000 at pc 0x00000020, in the data register 0xd0012000: "
       "the UART's registers take 32-bit loads and stores only"},
      {"a halfword load of the line status",
       {{LOAD16, LSR, 0}},
       "",
       {0x60},
       "2-byte load at 0xd0012014 at pc 0x00000060, in the line status register"},
      {"receive interrupt on",
       {{STORE, IER, 0x01}},
       "",
       {},
       "interrupt enable 0x01 stored to 0xd0012004 at pc 0x00000018"},
      {"FIFOs not cleared", {{STORE, FCR, 0x81}}, "", {}, "FIFO control 0x81 stored to 0xd0012008"},
      {"FIFOs off",
       {{STORE, FCR, 0x06}, {LOAD, IIR, 0}},
       "",
       {0x01},
       "FIFO control 0x06 stored to 0xd0012008"},
      {"modem control lines off", {{STORE, MCR, 0x00}}, "", {}, "modem control 0x00 stored"},
      {"loopback", {{STORE, MCR, 0x13}}, "", {}, "modem control 0x13 stored"},
      {"divisor latch left open",
       {{STORE, LCR, 0x83}, {WAIT, LSR, 0x20}, {STORE, THR, 'A'}},
       "",
       {},
       "line status 0xd0012014 read at pc 0x0000006c with the divisor latch open (line control "
       "0x83): bytes stored to 0xd0012000 set the divisor instead of being sent"},
  };
  run_cases(cases);
}

TEST(BoardModels, NandReadyBitsFollowTheChip) {
  const model_case cases[] = {
      {"ready bits clear in the configured status",
       {{STORE8, NAND_CMD, 0xFF},
        {STORE8, NAND_CMD, 0x70},
        {LOAD8, NAND_DATA, 0},
        {WAIT8, NAND_DATA, 0x40},
        {LOAD8, NAND_DATA, 0}},
       "",
       {0x80, 0xE0},
       "",
       "",
       0x80},
      {"Read ID before any reset",
       {{STORE8, NAND_CMD, 0x90}, {STORE8, NAND_ADDR, 0}, {LOAD8, NAND_DATA, 0}},
       "",
       {0xFF},
       "nand: Read ID stored to the command latch 0xd8000001 at pc 0x00000020 before any Reset "
       "since power-up: the chip does not answer it",
       "",
       0xE0,
       2},
      {"Read Status before any reset: the chip is idle",
       {{STORE8, NAND_CMD, 0x70}, {LOAD8, NAND_DATA, 0}},
       "",
       {0xE0},
       ""},
      {"a word load of the data port",
       after_ready({{LOAD, NAND_DATA, 0}}),
       "",
       {0xE0},
       "nand: 4-byte load at 0xd8000000 at pc 0x00000028, the data port: the NAND window takes "
       "8-bit loads and stores only"},
  };
  run_cases(cases);
}

// A program in the internal RAM, where no instruction limit is set: the
// reports still name the instruction that made the access, not the first of
// its block. A byte store to the SDRAM at +0x04, then two stores to the
// transmitter, the first at +0x14 with the interrupts still on.
TEST(BoardModels, ReportsNameTheInstruction) {
  const uint32_t program[] = {0xe3a03c01, 0xe5c33000, 0xe3a02041, 0xe3a0320d, 0xe3833a12,
                              0xe5832000, 0xe1a01001, 0xe5832000, 0xe12fff1e};
  board_config config;
  uart_queue line;
  board *b = queued_board(config, &line);
  ASSERT_NE(nullptr, b);
  std::string why;
  ASSERT_TRUE(board_write_memory(b, INTERNAL_RAM_BASE, program, sizeof program));
  uint32_t result = 0;
  ASSERT_TRUE(board_call(b, INTERNAL_RAM_BASE, 0, 0, &result, &why)) << why;
  const std::vector<std::string> expected = {
      "sdram: 1-byte store at 0x00000100 at pc 0xc8010004: the SDRAM is tested in 16-bit loads "
      "and stores",
      "uart: line used at pc 0xc8010014 with interrupt enable 0x05 at 0xd0012004, as the boot "
      "ROM left it: every interrupt must be off, nothing on the board serves one"};
  EXPECT_EQ(expected, board_reports(b));
  board_destroy(b);
}

// The chip still says ready for a while after the Reset command, then busy:
// with that while stretched to 40 us (160 instructions), the status read at
// once after Read Status shows ready, one after a pause busy.
TEST(BoardModels, NandSaysReadyForAWhileAfterReset) {
  board_config config;
  config.nand.reset_busy_delay_ns = 40000;
  run_case({"ready, then busy, then ready",
            {{STORE8, NAND_CMD, 0xFF},
             {STORE8, NAND_CMD, 0x70},
             {LOAD8, NAND_DATA, 0},
             {SPIN, 0, 100},
             {LOAD8, NAND_DATA, 0},
             {WAIT8, NAND_DATA, 0x40},
             {LOAD8, NAND_DATA, 0}},
            "",
            {0xE0, 0x80, 0xE0},
            ""},
           config);
}

// What the boot ROM leaves: the registers r0 to r12 (stored by a program of
// PC-relative stores to 0x100 on), the SDRAM beyond the code and the internal
// RAM hold junk that follows from the seed alone.
struct handover_view {
  std::vector<uint32_t> registers, sdram, ram;
};

handover_view handed_over(uint32_t seed) {
  std::vector<uint32_t> program;
  for (uint32_t r = 0; r <= 12; ++r)
    program.push_back(0xE58F00F8 | r << 12);  // str rN, [pc, #0xf8]
  program.push_back(0xEAFFFFFE);              // b .
  board_config config;
  config.seed = seed;
  uart_queue line;
  std::string why;
  handover_view v{std::vector<uint32_t>(13), std::vector<uint32_t>(4), std::vector<uint32_t>(4)};
  board *b = queued_board(config, &line);
  if (b == nullptr) return v;
  EXPECT_TRUE(board_load(b, reinterpret_cast<const uint8_t *>(program.data()), 4 * program.size()));
  EXPECT_TRUE(board_read_memory(b, SDRAM_BASE + SDRAM_SIZE - 16, v.sdram.data(), 16));
  EXPECT_TRUE(board_read_memory(b, INTERNAL_RAM_BASE + 0x7F0, v.ram.data(), 16));
  EXPECT_TRUE(board_run(b, 14, &why)) << why;
  EXPECT_TRUE(board_read_memory(b, 0x100, v.registers.data(), 4 * 13));
  board_destroy(b);
  return v;
}

TEST(BoardModels, HandsOverJunkFromTheSeed) {
  const handover_view one = handed_over(1), again = handed_over(1), two = handed_over(2);
  const std::vector<uint32_t> handover_view::*parts[] = {
      &handover_view::registers, &handover_view::sdram, &handover_view::ram};
  for (auto part : parts) {
    EXPECT_EQ(one.*part, again.*part);
    EXPECT_NE(one.*part, two.*part);
    // Junk, not a fill: no two words alike, none zero.
    std::vector<uint32_t> words = one.*part;
    std::sort(words.begin(), words.end());
    EXPECT_EQ(words.end(), std::adjacent_find(words.begin(), words.end()));
    EXPECT_NE(0u, words.front());
  }
}

// The program's loads of internal RAM that nothing stored since the hand-over
// read junk: the first is reported. The program in the internal RAM stores
// r0 at +0x100 and loads it back (set), then loads +0x104 (never stored).
TEST(BoardModels, ReportsTheFirstLoadOfInternalRamNeverStored) {
  const uint32_t program[] = {0xe58f00f8, 0xe59f10f4, 0xe59f20f4, 0xe12fff1e};
  const uint32_t sdram_code[] = {0xEAFFFFFE};  // b .
  board_config config;
  uart_queue line;
  board *b = queued_board(config, &line);
  ASSERT_NE(nullptr, b);
  std::string why;
  ASSERT_TRUE(board_load(b, reinterpret_cast<const uint8_t *>(sdram_code), sizeof sdram_code));
  ASSERT_TRUE(board_write_memory(b, INTERNAL_RAM_BASE, program, sizeof program));
  uint32_t result = 0;
  ASSERT_TRUE(board_call(b, INTERNAL_RAM_BASE, 0x1234, 0, &result, &why)) << why;
  ASSERT_EQ(1u, board_reports(b).size());
  EXPECT_EQ(0u, board_reports(b)[0].find("ram: 4-byte load at 0xc8010104 at pc 0xc8010008 of "
                                         "memory the program never stored to: it holds what the "
                                         "boot ROM left, 0x"))
      << board_reports(b)[0];
  board_destroy(b);
}

// A counted wait in the internal RAM: the counter at base + 8 set to start
// (or left as the boot ROM left it), then stepped by one until it reaches
// r0, which the routine returns. Taken in one step or pass by pass (the
// step made with "adds", which the board does not take for a counted
// wait's), the same wait leaves the same count, clock and reports.
struct wait_run {
  uint64_t instructions = 0, skipped = 0;
  uint32_t result = 0, counter = 0;
  std::vector<std::string> reports;
};

wait_run run_wait(uint32_t base, uint32_t start, bool stored, uint32_t limit, bool one_step) {
  const uint32_t program[] = {0xe59f2024,                          // ldr r2, [pc, #36]: base
                              0xe3a03000 | start,                  // mov r3, #start
                              stored ? 0xe5823008 : 0xe1a00000,    // str r3, [r2, #8], or nop
                              0xe5923008,                          // loop: ldr r3, [r2, #8]
                              one_step ? 0xe2833001 : 0xe2933001,  // add r3, r3, #1 (or adds)
                              0xe5823008,                          // str r3, [r2, #8]
                              0xe5923008,                          // ldr r3, [r2, #8]
                              0xe1530000,                          // cmp r3, r0
                              0x3afffff9,                          // bcc loop
                              0xe1a00003,                          // mov r0, r3
                              0xe12fff1e,                          // bx lr
                              base};
  wait_run w;
  uart_queue line;
  board *b = queued_board(board_config(), &line);
  if (b == nullptr) return w;
  std::string why;
  const uint32_t sdram_code[] = {0xeafffffe};  // b .
  EXPECT_TRUE(board_load(b, reinterpret_cast<const uint8_t *>(sdram_code), sizeof sdram_code));
  EXPECT_TRUE(board_write_memory(b, INTERNAL_RAM_BASE, program, sizeof program));
  EXPECT_TRUE(board_call(b, INTERNAL_RAM_BASE, limit, 0, &w.result, &why)) << why;
  w.instructions = board_instructions(b);
  w.skipped = board_skipped_instructions(b);
  w.reports = board_reports(b);
  // Read last: the test's own view fills SDRAM pages with the hand-over's junk.
  board_read_memory(b, base + 8, &w.counter, 4);
  board_destroy(b);
  return w;
}

TEST(BoardModels, CountedWaitTakesOneStepOnTheSameClock) {
  constexpr uint32_t RAM = INTERNAL_RAM_BASE + 0x700;
  const struct {
    const char *name;
    uint32_t base, start;
    bool stored;
    uint32_t limit;
    bool skips;
    size_t reports;
  } cases[] = {
      {"counter set, counted to the limit", RAM, 0, true, 100000, true, 0},
      {"counter never stored: its load reported", RAM, 0, false, 100000, false, 1},
      {"counter past the limit: one pass", RAM, 200, true, 100, false, 0},
      {"limit one pass away", RAM, 0, true, 2, false, 0},
      {"counter in the SDRAM: its width reported", 0x1000, 0, true, 1000, false, 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    wait_run fast = run_wait(c.base, c.start, c.stored, c.limit, true);
    wait_run slow = run_wait(c.base, c.start, c.stored, c.limit, false);
    EXPECT_EQ(slow.instructions, fast.instructions);
    EXPECT_EQ(slow.result, fast.result);
    EXPECT_EQ(slow.counter, fast.counter);
    EXPECT_EQ(slow.reports, fast.reports);
    EXPECT_EQ(c.reports, fast.reports.size());
    EXPECT_EQ(0u, slow.skipped);
    EXPECT_EQ(c.skips, fast.skipped > fast.instructions / 2) << fast.skipped;
  }
}

}  // namespace
