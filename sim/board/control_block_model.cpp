// The control block: plain registers that keep what is written. The six that
// the monitor adjusts start with the values the configuration gives; every
// other register reads 0 until written.
#include "board_models.h"

namespace {

constexpr uint32_t INITIALISED[6] = {0x000, 0x004, 0x100, 0x104, 0x140, 0x144};

uint64_t control_read(uc_engine *, uint64_t offset, unsigned size, void *user) {
  board &b = board_peripheral_load(user);
  auto it = b.control.find(static_cast<uint32_t>(offset));
  uint32_t value = it == b.control.end() ? 0 : it->second;
  return board_record_load(b, CONTROL_BLOCK_BASE + static_cast<uint32_t>(offset), size, value);
}

void control_write(uc_engine *, uint64_t offset, unsigned size, uint64_t value, void *user) {
  board &b =
      board_peripheral_store(user, CONTROL_BLOCK_BASE + static_cast<uint32_t>(offset), size, value);
  b.control[static_cast<uint32_t>(offset)] = static_cast<uint32_t>(value);
}

}  // namespace

bool control_block_map(board &b) {
  for (int i = 0; i < 6; ++i) b.control[INITIALISED[i]] = b.config.control_init[i];
  return uc_mmio_map(b.uc, CONTROL_BLOCK_BASE, PERIPHERAL_WINDOW, control_read, &b, control_write,
                     &b) == UC_ERR_OK;
}
