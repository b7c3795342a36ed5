// A NAND flash chip behind the board's three byte-wide ports: it answers
// Reset, Read Status and Read ID, and knows nothing of its array. After a
// reset it is busy for a few status reads (or for ever, when configured so).
#include "board_models.h"

namespace {

constexpr uint32_t DATA = 0, COMMAND = 1, ADDRESS = 2;
constexpr uint8_t RESET = 0xFF, READ_STATUS = 0x70, READ_ID = 0x90;
constexpr uint8_t STATUS_BUSY_BITS = 0x60;  // ready (6) and array ready (5)

uint8_t status(board &b) {
  nand_state &n = b.nand;
  if (n.busy && !b.config.nand.never_ready) {
    if (n.busy_reads_left == 0) {
      n.busy = false;
    } else {
      --n.busy_reads_left;
    }
  }
  uint8_t value = b.config.nand.final_status;
  return n.busy ? static_cast<uint8_t>(value & ~STATUS_BUSY_BITS) : value;
}

uint8_t data(board &b) {
  nand_state &n = b.nand;
  switch (n.mode) {
    case nand_state::mode::status: return status(b);
    case nand_state::mode::id: return n.id_index < 4 ? b.config.nand.id[n.id_index++] : 0;
    default: return 0xFF;  // nothing selected: the bus floats high
  }
}

void command(board &b, uint8_t byte) {
  nand_state &n = b.nand;
  switch (byte) {
    case RESET:
      n.mode = nand_state::mode::idle;
      n.busy = true;
      n.busy_reads_left = b.config.nand.reset_busy_reads;
      break;
    case READ_STATUS: n.mode = nand_state::mode::status; break;
    case READ_ID:
      n.mode = nand_state::mode::id;
      n.id_index = 0;
      break;
    default: n.mode = nand_state::mode::idle; break;
  }
}

uint64_t nand_read(uc_engine *, uint64_t offset, unsigned size, void *user) {
  board &b = *static_cast<board *>(user);
  uint32_t value = offset == DATA ? data(b) : 0xFF;
  board_record(b, NAND_BASE + static_cast<uint32_t>(offset), size, false, value);
  return value;
}

void nand_write(uc_engine *, uint64_t offset, unsigned size, uint64_t value, void *user) {
  board &b = *static_cast<board *>(user);
  board_record(b, NAND_BASE + static_cast<uint32_t>(offset), size, true,
               static_cast<uint32_t>(value));
  if (offset == COMMAND) command(b, static_cast<uint8_t>(value));
  if (offset == ADDRESS) b.nand.id_index = 0;
}

}  // namespace

bool nand_map(board &b) {
  return uc_mmio_map(b.uc, NAND_BASE, PERIPHERAL_WINDOW, nand_read, &b, nand_write, &b) ==
         UC_ERR_OK;
}
