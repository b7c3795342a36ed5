// The peripheral models as a program on the core sees them: a small ARM
// program runs a script of loads and stores, and each case checks what
// reached the line, what the loads gave and what the board reported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "korvane/board_map.h"
#include "uart_queue.h"

namespace {

// The script runner, at address 0. Script of (op, address, value) words from
// 0x1000, kept loads from 0x2000. Ops: 0 end (then spin), 1 store word,
// 2 store byte, 3 load word and keep it, 4 load byte and keep it, 5 load
// word until (value & mask) != 0, 6 spin `value` two-instruction loops.
const uint32_t RUNNER[] = {
    0xe3a04a01, 0xe3a05a02, 0xe8b40007, 0xe3500000, 0x0a000015, 0xe3500001, 0x05812000,
    0xe3500002, 0x05c12000, 0xe3500003, 0x05913000, 0x04853004, 0xe3500004, 0x05d13000,
    0x04853004, 0xe3500005, 0x0a000002, 0xe3500006, 0x0a000004, 0xeaffffed, 0xe5913000,
    0xe1130002, 0x0afffffc, 0xeaffffe9, 0xe2522001, 0x1afffffd, 0xeaffffe6, 0xeafffffe,
};
constexpr uint32_t SCRIPT = 0x1000, KEPT = 0x2000;

enum op : uint32_t { END, STORE, STORE8, LOAD, LOAD8, WAIT, SPIN };
struct step {
  op what;
  uint32_t address, value;
};

// The register layout of the models, written out: an independent check of
// the layout the monitor's sources use.
constexpr uint32_t THR = UART_BASE, DLM = UART_BASE + 4, LCR = UART_BASE + 0xC,
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
};

std::vector<step> with_divisor(uint32_t divisor, uint32_t lcr, std::vector<step> rest) {
  std::vector<step> s = {
      {STORE, LCR, 0x80}, {STORE, THR, divisor}, {STORE, DLM, 0}, {STORE, LCR, lcr}};
  s.insert(s.end(), rest.begin(), rest.end());
  return s;
}

const std::vector<step> NAND_READY = {
    {STORE8, NAND_CMD, 0xFF}, {STORE8, NAND_CMD, 0x70}, {WAIT, NAND_DATA, 0x40}};
std::vector<step> after_ready(std::vector<step> rest) {
  std::vector<step> s = NAND_READY;
  s.insert(s.end(), rest.begin(), rest.end());
  return s;
}

TEST(BoardModels, RefuseWhatTheHardwareRefuses) {
  const model_case cases[] = {
      {"bytes with the transmitter wait",
       {{STORE, THR, 'A'}, {WAIT, LSR, 0x20}, {STORE, THR, 'B'}},
       "AB",
       {},
       ""},
      {"byte while the transmitter is busy",
       {{STORE, THR, 'A'}, {STORE, THR, 'B'}, {STORE, THR, 'C'}},
       "A",
       {},
       "byte 0x42 stored to the data register 0xd0012000 at pc 0x00000018 while the transmitter"},
      // 347 instructions for a 10-bit character at 115200 baud, each
      // peripheral access 32 of them.
      {"transmitter busy for a character time",
       {{STORE, THR, 'A'},
        {LOAD, LSR, 0},
        {SPIN, 0, 50},
        {LOAD, LSR, 0},
        {SPIN, 0, 150},
        {LOAD, LSR, 0}},
       "A",
       {0x00, 0x00, 0x60},
       ""},
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
        {WAIT, NAND_DATA, 0x40},
        {LOAD8, NAND_DATA, 0}},
       "",
       {0x00, 0x60},
       "",
       "",
       0x60},
  };
  for (const model_case &c : cases) {
    SCOPED_TRACE(c.name);
    board_config config;
    config.nand.final_status = c.nand_status;
    uart_queue line;
    line.rx.assign(c.rx.begin(), c.rx.end());
    uart_backend backend = uart_queue_backend(&line);
    board *b = line.b = board_create(&config, &backend);
    ASSERT_NE(nullptr, b);
    ASSERT_TRUE(board_load(b, reinterpret_cast<const uint8_t *>(RUNNER), sizeof RUNNER));
    std::vector<uint32_t> script;
    for (const step &s : c.script) script.insert(script.end(), {s.what, s.address, s.value});
    script.insert(script.end(), {END, 0, 0});
    ASSERT_TRUE(board_write_memory(b, SCRIPT, script.data(), 4 * script.size()));
    ASSERT_TRUE(board_run(b, 20000));
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
}

}  // namespace
