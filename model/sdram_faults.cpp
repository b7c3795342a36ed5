#include "sdram_faults.h"

namespace {

uint32_t set_bit(uint32_t value, int bit, uint32_t level) {
  return (value & ~(1u << bit)) | ((level & 1u) << bit);
}

bool addr_line(int line) { return line >= SDRAM_FIRST_ADDR_LINE && line <= SDRAM_LAST_ADDR_LINE; }

bool in_range(const sdram_fault &f) {
  switch (f.kind) {
    case sdram_fault_kind::data_stuck:
      return f.line >= 0 && f.line < SDRAM_DATA_LINES && (f.other == 0 || f.other == 1);
    case sdram_fault_kind::addr_stuck:
      return addr_line(f.line) && (f.other == 0 || f.other == 1);
    case sdram_fault_kind::addr_short:
      return addr_line(f.line) && addr_line(f.other) && f.line != f.other;
  }
  return false;
}

bool same_short(const sdram_fault &a, const sdram_fault &b) {
  return (a.line == b.line && a.other == b.other) || (a.line == b.other && a.other == b.line);
}

}  // namespace

bool operator==(const sdram_fault &a, const sdram_fault &b) {
  if (a.kind != b.kind) return false;
  return a.kind == sdram_fault_kind::addr_short ? same_short(a, b)
                                                : a.line == b.line && a.other == b.other;
}

bool sdram_fault_add(sdram_fault_config *config, const sdram_fault &fault) {
  if (config->count >= SDRAM_MAX_FAULTS || !in_range(fault)) return false;
  for (int i = 0; i < config->count; ++i) {
    const sdram_fault &had = config->faults[i];
    if (had == fault) return false;
    // The same line stuck at another level.
    if (had.kind == fault.kind && fault.kind != sdram_fault_kind::addr_short &&
        had.line == fault.line)
      return false;
  }
  config->faults[config->count++] = fault;
  return true;
}

sdram_fault_config sdram_fault_set(const std::vector<sdram_fault> &faults) {
  sdram_fault_config config;
  for (const sdram_fault &f : faults) sdram_fault_add(&config, f);
  return config;
}

uint32_t sdram_fault_address(const sdram_fault_config &config, uint32_t address) {
  for (int i = 0; i < config.count; ++i) {
    const sdram_fault &f = config.faults[i];
    if (f.kind == sdram_fault_kind::addr_stuck) address = set_bit(address, f.line, f.other);
  }
  // One sweep joins the lines of each short; as many sweeps as shorts carry
  // the AND along a chain of them.
  for (int sweep = 0; sweep < config.count; ++sweep) {
    for (int i = 0; i < config.count; ++i) {
      const sdram_fault &f = config.faults[i];
      if (f.kind != sdram_fault_kind::addr_short) continue;
      uint32_t both = (address >> f.line) & (address >> f.other) & 1u;
      address = set_bit(set_bit(address, f.line, both), f.other, both);
    }
  }
  return address;
}

uint8_t sdram_fault_byte(const sdram_fault_config &config, uint32_t address, uint8_t byte) {
  int lane = static_cast<int>(address & 1u);
  for (int i = 0; i < config.count; ++i) {
    const sdram_fault &f = config.faults[i];
    if (f.kind == sdram_fault_kind::data_stuck && f.line / 8 == lane)
      byte = static_cast<uint8_t>(set_bit(byte, f.line % 8, static_cast<uint32_t>(f.other)));
  }
  return byte;
}

uint16_t sdram_fault_word(const sdram_fault_config &config, uint16_t word) {
  return static_cast<uint16_t>(sdram_fault_byte(config, 0, static_cast<uint8_t>(word)) |
                               sdram_fault_byte(config, 1, static_cast<uint8_t>(word >> 8)) << 8);
}
