#include "sdram_walk.h"

#include <cstdio>
#include <cstring>

#include "korvane/console_texts.h"

namespace {

std::vector<walk_step> build_walk() {
  std::vector<walk_step> steps;
  int reads = 0;
  auto write = [&](uint32_t offset, uint32_t value) {
    steps.push_back({true, offset, static_cast<uint16_t>(value), -1});
  };
  auto read = [&](uint32_t offset, uint32_t value) {
    steps.push_back({false, offset, static_cast<uint16_t>(value), reads++});
  };
  // Data lines: a walking one and its complement, each read at once and again
  // after a 0 went to the next word.
  for (uint32_t k = 0; k < 16; ++k) {
    uint32_t p = 1u << k, q = ~p & 0xFFFF;
    write(8 * k, p), read(8 * k, p), write(8 * k + 2, 0), read(8 * k, p);
    write(8 * k + 4, q), read(8 * k + 4, q), write(8 * k + 6, 0), read(8 * k + 4, q);
  }
  // Address lines: counters at the walking-one word offsets, read back, then
  // the same at their complements within the region.
  uint32_t words = SDRAM_SIZE / 2;
  for (uint32_t flip : {0u, words - 1}) {
    for (int pass = 0; pass < 2; ++pass) {
      uint32_t value = 0;
      for (uint32_t line = 1; line >> 1 < words; line <<= 1, ++value) {
        uint32_t offset = 2 * ((line >> 1) ^ flip);
        pass == 0 ? write(offset, value) : read(offset, value);
      }
    }
  }
  return steps;
}

// The cells a replay has written: a small open-addressed table keyed by the
// word a faulty address reaches. A walk writes at most 116 distinct words.
struct cell_table {
  static constexpr uint32_t SLOTS = 512;
  uint32_t key[SLOTS];
  uint16_t value[SLOTS];
  bool used[SLOTS];

  cell_table() { std::memset(used, 0, sizeof used); }
  uint32_t slot(uint32_t word) const {
    uint32_t i = (word * 2654435761u) >> 23;
    while (used[i] && key[i] != word) i = (i + 1) % SLOTS;
    return i;
  }
  void put(uint32_t word, uint16_t v) {
    uint32_t i = slot(word);
    used[i] = true;
    key[i] = word;
    value[i] = v;
  }
  // A cell never written reads as the word's own stale content, which no
  // trace can predict; the walk never reads one (every read follows a write
  // to the same offset), so this is a guard only.
  bool get(uint32_t word, uint16_t *v) const {
    uint32_t i = slot(word);
    if (!used[i]) return false;
    *v = value[i];
    return true;
  }
};

// Replays the walk; calls check(read_index, value) for each read until it
// returns false. Returns false when stopped or when a read found no cell.
template <typename Check>
bool replay(const sdram_fault_config &faults, Check check) {
  cell_table cells;
  // What the data bus carried last: a floating line reads as this.
  uint16_t bus = 0;
  for (const walk_step &s : sdram_walk()) {
    uint32_t word = sdram_fault_address(faults, s.offset) >> 1;
    if (s.write) {
      cells.put(word, s.value);
      bus = s.value;
      continue;
    }
    uint16_t stored;
    if (!cells.get(word, &stored)) return false;
    bus = sdram_fault_read(faults, stored, bus);
    if (!check(s.read_index, bus)) return false;
  }
  return true;
}

void add_line(std::string *out, const char *format, unsigned a, unsigned b = 0) {
  char line[40];
  snprintf(line, sizeof line, format, a, b);
  *out += line;
  *out += "\r\n";
}

}  // namespace

bool operator==(const sdram_reads &a, const sdram_reads &b) {
  return std::memcmp(a.value, b.value, sizeof a.value) == 0;
}

const std::vector<walk_step> &sdram_walk() {
  static const std::vector<walk_step> steps = build_walk();
  return steps;
}

uint16_t sdram_read_expected(int read_index) {
  static const std::vector<uint16_t> expected = [] {
    std::vector<uint16_t> v;
    for (const walk_step &s : sdram_walk())
      if (!s.write) v.push_back(s.value);
    return v;
  }();
  return expected[static_cast<size_t>(read_index)];
}

void sdram_replay(const sdram_fault_config &faults, sdram_reads *reads) {
  std::memset(reads->value, 0, sizeof reads->value);
  replay(faults, [&](int i, uint16_t v) {
    reads->value[i] = v;
    return true;
  });
}

bool sdram_replay_matches(const sdram_fault_config &faults, const sdram_reads &reads) {
  return replay(faults, [&](int i, uint16_t v) { return reads.value[i] == v; });
}

bool sdram_mismatch_after(const sdram_reads &reads, int i, uint16_t *named) {
  if (i >= SDRAM_DATA_READS) {
    *named = reads.value[i];
    return reads.value[i] != sdram_read_expected(i);
  }
  if (i % 2 == 0) return false;  // the pattern is checked after its second read
  uint16_t pattern = sdram_read_expected(i);
  *named = pattern;
  return reads.value[i - 1] != pattern || reads.value[i] != pattern;
}

std::string sdram_trace(const sdram_reads &reads) {
  std::string out;
  const std::vector<walk_step> &steps = sdram_walk();
  for (size_t n = 0; n < steps.size(); ++n) {
    if (n == 0) add_line(&out, TRACE_DATA_TEST_FORMAT, SDRAM_BASE);
    if (n == SDRAM_DATA_STEPS) add_line(&out, TRACE_ADDRESS_TEST_FORMAT, SDRAM_BASE, SDRAM_SIZE);
    const walk_step &s = steps[n];
    if (s.write) {
      add_line(&out, TRACE_WRITE_FORMAT, s.offset, s.value);
      continue;
    }
    add_line(&out, TRACE_READ_FORMAT, s.offset, reads.value[s.read_index]);
    uint16_t named;
    if (sdram_mismatch_after(reads, s.read_index, &named))
      add_line(&out, TRACE_MISMATCH_FORMAT, named);
  }
  return out;
}
