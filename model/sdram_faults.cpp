#include "sdram_faults.h"

namespace {

uint32_t set_bit(uint32_t value, int bit, uint32_t level) {
  return (value & ~(1u << bit)) | ((level & 1u) << bit);
}

bool addr_line(int line) { return line >= SDRAM_FIRST_ADDR_LINE && line <= SDRAM_LAST_ADDR_LINE; }
bool data_line(int line) { return line >= 0 && line < SDRAM_DATA_LINES; }

bool in_range(const sdram_fault &f) {
  bool level = f.other == 0 || f.other == 1;
  switch (f.kind) {
    case sdram_fault_kind::data_stuck:
      return data_line(f.line) && level;
    case sdram_fault_kind::data_floating:
      return data_line(f.line) && f.other == 0;
    case sdram_fault_kind::addr_stuck:
      return addr_line(f.line) && level;
    case sdram_fault_kind::addr_short:
    case sdram_fault_kind::addr_short_or:
      return addr_line(f.line) && addr_line(f.other) && f.line != f.other;
    case sdram_fault_kind::data_short:
    case sdram_fault_kind::data_short_or:
      return data_line(f.line) && data_line(f.other) && f.line != f.other;
  }
  return false;
}

bool same_lines(const sdram_fault &a, const sdram_fault &b) {
  return (a.line == b.line && a.other == b.other) || (a.line == b.other && a.other == b.line);
}

// Two faults that no wiring can have at once.
bool contradict(const sdram_fault &a, const sdram_fault &b) {
  bool a_short = sdram_fault_is_short(a.kind), b_short = sdram_fault_is_short(b.kind);
  if (a_short && b_short)
    return sdram_fault_on_data(a.kind) == sdram_fault_on_data(b.kind) && same_lines(a, b);
  if (a_short || b_short || sdram_fault_on_data(a.kind) != sdram_fault_on_data(b.kind))
    return false;
  // A line held at a level, at another level, or held and left floating.
  return a.line == b.line;
}

// The lines of each net of shorts carry the net's one level, made from the
// levels driven before any short acts, whatever the order of the faults.
uint32_t join_shorts(const sdram_fault_config &config, uint32_t value, bool data) {
  // Each short's lines, and its wiring; merged while two nets share a line.
  struct net {
    uint32_t lines;
    bool wired_and, wired_or;
  } nets[SDRAM_MAX_FAULTS];
  int count = 0;
  for (int i = 0; i < config.count; ++i) {
    const sdram_fault &f = config.faults[i];
    if (!sdram_fault_is_short(f.kind) || sdram_fault_on_data(f.kind) != data) continue;
    bool wired_or = sdram_fault_wired_or(f.kind);
    nets[count++] = {1u << f.line | 1u << f.other, !wired_or, wired_or};
  }
  for (int a = 0; a < count; ++a)
    for (int b = a + 1; b < count; ++b) {
      if ((nets[a].lines & nets[b].lines) == 0) continue;
      nets[a] = {nets[a].lines | nets[b].lines, nets[a].wired_and || nets[b].wired_and,
                 nets[a].wired_or || nets[b].wired_or};
      nets[b] = nets[--count];
      b = a;  // the grown net may meet one already passed
    }
  const uint32_t driven = value;
  for (int n = 0; n < count; ++n) {
    const uint32_t lines = nets[n].lines, high = driven & lines;
    bool level = !nets[n].wired_or    ? high == lines
                 : !nets[n].wired_and ? high != 0
                                      : 2 * __builtin_popcount(high) > __builtin_popcount(lines);
    value = level ? value | lines : value & ~lines;
  }
  return value;
}

}  // namespace

bool operator==(const sdram_fault &a, const sdram_fault &b) {
  if (a.kind != b.kind) return false;
  return sdram_fault_is_short(a.kind) ? same_lines(a, b) : a.line == b.line && a.other == b.other;
}

bool sdram_fault_add(sdram_fault_config *config, const sdram_fault &fault) {
  if (config->count >= SDRAM_MAX_FAULTS || !in_range(fault)) return false;
  for (int i = 0; i < config->count; ++i) {
    const sdram_fault &had = config->faults[i];
    if (had == fault || contradict(had, fault)) return false;
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
  return join_shorts(config, address, false);
}

uint16_t sdram_fault_read(const sdram_fault_config &config, uint16_t cell, uint16_t bus) {
  uint32_t value = cell;
  for (int i = 0; i < config.count; ++i) {
    const sdram_fault &f = config.faults[i];
    if (f.kind == sdram_fault_kind::data_floating) value = set_bit(value, f.line, bus >> f.line);
  }
  for (int i = 0; i < config.count; ++i) {
    const sdram_fault &f = config.faults[i];
    if (f.kind == sdram_fault_kind::data_stuck)
      value = set_bit(value, f.line, static_cast<uint32_t>(f.other));
  }
  return static_cast<uint16_t>(join_shorts(config, value, true));
}

uint16_t sdram_fault_word(const sdram_fault_config &config, uint16_t word) {
  return sdram_fault_read(config, word, word);
}

uint16_t sdram_fault_floating(const sdram_fault_config &config) {
  uint32_t lines = 0;
  for (int i = 0; i < config.count; ++i)
    if (config.faults[i].kind == sdram_fault_kind::data_floating)
      lines |= 1u << config.faults[i].line;
  for (int sweep = 0; sweep < config.count; ++sweep) {
    for (int i = 0; i < config.count; ++i) {
      const sdram_fault &f = config.faults[i];
      if (!sdram_fault_is_short(f.kind) || !sdram_fault_on_data(f.kind)) continue;
      if (lines & (1u << f.line | 1u << f.other)) lines |= 1u << f.line | 1u << f.other;
    }
  }
  return static_cast<uint16_t>(lines);
}
