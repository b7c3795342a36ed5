#include "handover_state.h"

#include "board_models.h"

namespace {

constexpr uint32_t PAGE = 4096;

// Registers the code can read without writing them first.
const int JUNK_REGISTERS[] = {UC_ARM_REG_R0,  UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,
                              UC_ARM_REG_R4,  UC_ARM_REG_R5, UC_ARM_REG_R6,  UC_ARM_REG_R7,
                              UC_ARM_REG_R8,  UC_ARM_REG_R9, UC_ARM_REG_R10, UC_ARM_REG_R11,
                              UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR};

void fill_page(board &b, uint32_t page) {
  handover_memory &m = b.handover;
  handover_junk junk = handover_junk_start(uint64_t(m.seed) << 32 | page);
  uint32_t words[PAGE / 4];
  for (uint32_t &w : words) w = handover_junk_next(&junk);
  uint32_t start = page * PAGE, skip = 0;
  if (m.code_size > start) skip = m.code_size - start < PAGE ? m.code_size - start : PAGE;
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(words);
  if (skip < PAGE) uc_mem_write(b.uc, SDRAM_BASE + start + skip, bytes + skip, PAGE - skip);
}

void ram_store(uc_engine *, uc_mem_type, uint64_t address, int size, int64_t, void *user) {
  board &b = *static_cast<board *>(user);
  uint32_t offset = uint32_t(address) - INTERNAL_RAM_BASE;
  // The copy sets what it brings from the code, but junk stays junk.
  if (board_running_from_sdram(b) && offset >= b.handover.code_size) return;
  handover_set_ram(b, uint32_t(address), size_t(size));
}

void ram_load(uc_engine *, uc_mem_type, uint64_t address, int size, int64_t, void *user) {
  board &b = *static_cast<board *>(user);
  const std::vector<bool> &set = b.handover.ram_set;
  if (set.empty() || board_running_from_sdram(b)) return;
  for (int i = 0; i < size; i++) {
    uint32_t offset = uint32_t(address) + uint32_t(i) - INTERNAL_RAM_BASE;
    if (offset >= set.size() || set[offset]) continue;
    uint32_t value = 0;
    uc_mem_read(b.uc, address, &value, size_t(size));
    board_report(b, report_kind::ram_unset,
                 "ram: %d-byte load at 0x%08x at pc 0x%08x of memory the program never stored "
                 "to: it holds what the boot ROM left, 0x%0*x",
                 size, uint32_t(address), board_pc(b), 2 * size, value);
    return;
  }
}

}  // namespace

bool handover_watch_ram(board &b) {
  uc_hook load, store;
  uint64_t last = INTERNAL_RAM_BASE + INTERNAL_RAM_SIZE - 1;
  return uc_hook_add(b.uc, &load, UC_HOOK_MEM_READ, reinterpret_cast<void *>(ram_load), &b,
                     INTERNAL_RAM_BASE, last) == UC_ERR_OK &&
         uc_hook_add(b.uc, &store, UC_HOOK_MEM_WRITE, reinterpret_cast<void *>(ram_store), &b,
                     INTERNAL_RAM_BASE, last) == UC_ERR_OK;
}

handover_junk handover_junk_start(uint64_t seed) {
  // splitmix64 spreads the seed over the state, so that neighbouring seeds
  // (and pages) differ at once and the state is never 0.
  uint64_t z = seed + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return {z == 0 ? 1 : z};
}

// xorshift64*: cheap, and every bit of every word varies.
uint32_t handover_junk_next(handover_junk *junk) {
  uint64_t &x = junk->state;
  x ^= x >> 12;
  x ^= x << 25;
  x ^= x >> 27;
  return uint32_t((x * 0x2545F4914F6CDD1Dull) >> 32);
}

bool handover_fill(board &b, uint32_t seed, size_t code_size) {
  handover_junk junk = handover_junk_start(seed);
  for (int reg : JUNK_REGISTERS) {
    uint32_t value = handover_junk_next(&junk);
    if (uc_reg_write(b.uc, reg, &value) != UC_ERR_OK) return false;
  }
  uint32_t ram[INTERNAL_RAM_SIZE / 4];
  for (uint32_t &w : ram) w = handover_junk_next(&junk);
  if (uc_mem_write(b.uc, INTERNAL_RAM_BASE, ram, sizeof ram) != UC_ERR_OK) return false;
  b.handover.seed = seed;
  b.handover.code_size = uint32_t(code_size);
  b.handover.pages_filled.assign(SDRAM_SIZE / PAGE, false);
  b.handover.ram_set.assign(INTERNAL_RAM_SIZE, false);
  return true;
}

void handover_set_ram(board &b, uint32_t address, size_t size) {
  std::vector<bool> &set = b.handover.ram_set;
  for (size_t i = 0; i < size; i++) {
    uint32_t offset = address + uint32_t(i) - INTERNAL_RAM_BASE;
    if (offset < set.size()) set[offset] = true;
  }
}

void handover_touch(board &b, uint32_t address, unsigned size) {
  std::vector<bool> &filled = b.handover.pages_filled;
  if (filled.empty() || size == 0) return;
  uint32_t offset = address - SDRAM_BASE;
  for (uint32_t page = offset / PAGE; page <= (offset + size - 1) / PAGE; page++) {
    if (page >= filled.size() || filled[page]) continue;
    filled[page] = true;
    fill_page(b, page);
  }
}
