// A NAND flash chip behind the board's three byte-wide ports: it answers
// Reset, Read Status and Read ID, and knows nothing of its array.
//
// The chip powers up with its ID logic in no defined state: until it has
// been given a Reset it does not answer Read ID. A Reset keeps the chip
// saying ready for a short while (reset_busy_delay_ns) before it goes busy;
// then it is busy for a while (or for ever, when configured so) and takes
// only Read Status and another Reset meanwhile; any other
// command or address cycle is ignored, as the chip ignores it. Read ID gives
// the ID only after its 0x00 address cycle. Where the chip drives nothing
// (no command selected, Read ID still waiting for its address) the data port
// reads the floating bus, 0xFF. Every access must be 8 bits wide: the ports
// are byte-wide.
#include "board_models.h"

namespace {

constexpr uint32_t DATA = 0;     // status or ID bytes out
constexpr uint32_t COMMAND = 1;  // command latch
constexpr uint32_t ADDRESS = 2;  // address latch
const char *const PORT_NAMES[] = {"data port", "command latch", "address latch"};
constexpr uint8_t RESET = 0xFF, READ_STATUS = 0x70, READ_ID = 0x90;
constexpr uint8_t ID_ADDRESS = 0x00;
constexpr uint8_t STATUS_READY_BITS = 0x60;  // ready (6) and array ready (5)
constexpr uint8_t FLOATING_BUS = 0xFF;

bool busy(const board &b) {
  return b.instructions >= b.nand.busy_from &&
         (b.config.nand.never_ready || b.instructions < b.nand.ready_at);
}

// Bit 7 (not write-protected) and the error bits as configured; bits 6 and
// 5 follow the chip's state, whatever the configuration holds in them.
uint8_t status(const board &b) {
  uint8_t value = static_cast<uint8_t>(b.config.nand.final_status & ~STATUS_READY_BITS);
  return busy(b) ? value : static_cast<uint8_t>(value | STATUS_READY_BITS);
}

uint8_t data(board &b) {
  nand_device &n = b.nand;
  switch (n.mode) {
    case nand_device::mode::status:
      return status(b);
    case nand_device::mode::id:
      return n.id_index < 4 ? b.config.nand.id[n.id_index++] : 0;
    case nand_device::mode::waiting_address:
      board_report(b, report_kind::nand_no_address,
                   "nand: load from the data port 0x%08x at pc 0x%08x after Read ID without "
                   "its 0x00 address cycle: the bus floats, 0x%02x",
                   NAND_WINDOW_BASE + DATA, board_pc(b), FLOATING_BUS);
      return FLOATING_BUS;
    default:
      return FLOATING_BUS;
  }
}

void command(board &b, uint8_t byte) {
  nand_device &n = b.nand;
  if (busy(b) && byte != READ_STATUS && byte != RESET) {
    board_report(b, report_kind::nand_busy_command,
                 "nand: command 0x%02x stored to the command latch 0x%08x at pc 0x%08x while "
                 "the chip is busy after a reset (status bit 6 clear): ignored",
                 byte, NAND_WINDOW_BASE + COMMAND, board_pc(b));
    return;
  }
  switch (byte) {
    case RESET: {
      const nand_config &c = b.config.nand;
      n.mode = nand_device::mode::idle;
      n.reset_given = true;
      // Rounded up: the chip is never busy at the very instruction that reset it.
      n.busy_from = b.instructions +
                    (uint64_t(c.reset_busy_delay_ns) * CORE_INSTRUCTIONS_PER_US + 999) / 1000;
      n.ready_at = n.busy_from + uint64_t(c.reset_busy_us) * CORE_INSTRUCTIONS_PER_US;
      break;
    }
    case READ_STATUS:
      n.mode = nand_device::mode::status;
      break;
    case READ_ID:
      if (!n.reset_given) {
        board_report(b, report_kind::nand_no_reset,
                     "nand: Read ID stored to the command latch 0x%08x at pc 0x%08x before any "
                     "Reset since power-up: the chip does not answer it",
                     NAND_WINDOW_BASE + COMMAND, board_pc(b));
        n.mode = nand_device::mode::idle;
        break;
      }
      n.mode = nand_device::mode::waiting_address;
      break;
    default:
      n.mode = nand_device::mode::idle;
      break;
  }
}

void address(board &b, uint8_t byte) {
  nand_device &n = b.nand;
  if (!busy(b) && n.mode == nand_device::mode::waiting_address && byte == ID_ADDRESS) {
    n.mode = nand_device::mode::id;
    n.id_index = 0;
    return;
  }
  const char *why = busy(b) ? "while the chip is busy after a reset"
                    : n.mode == nand_device::mode::waiting_address
                        ? "after Read ID, which takes only 0x00"
                        : "with no command that takes an address";
  board_report(b, report_kind::nand_address,
               "nand: address 0x%02x stored to the address latch 0x%08x at pc 0x%08x %s: "
               "ignored",
               byte, NAND_WINDOW_BASE + ADDRESS, board_pc(b), why);
}

void check_width(board &b, uint32_t offset, unsigned width, bool write) {
  if (width == 1) return;
  std::string where =
      std::string(", the ") + (offset <= ADDRESS ? PORT_NAMES[offset] : "unused address");
  board_report_width(b, report_kind::nand_width, "nand", width, write, NAND_WINDOW_BASE + offset,
                     where, "the NAND window takes 8-bit loads and stores only");
}

uint64_t nand_load(uc_engine *, uint64_t offset64, unsigned size, void *user) {
  board &b = board_peripheral_load(user);
  const uint32_t offset = static_cast<uint32_t>(offset64);
  check_width(b, offset, size, false);
  uint32_t value = offset == DATA ? data(b) : FLOATING_BUS;
  return board_record_load(b, NAND_WINDOW_BASE + offset, size, value);
}

void nand_store(uc_engine *, uint64_t offset64, unsigned size, uint64_t value, void *user) {
  const uint32_t offset = static_cast<uint32_t>(offset64);
  board &b = board_peripheral_store(user, NAND_WINDOW_BASE + offset, size, value);
  check_width(b, offset, size, true);
  if (offset == COMMAND) command(b, static_cast<uint8_t>(value));
  if (offset == ADDRESS) address(b, static_cast<uint8_t>(value));
}

}  // namespace

bool nand_map(board &b) {
  return uc_mmio_map(b.uc, NAND_WINDOW_BASE, PERIPHERAL_WINDOW, nand_load, &b, nand_store, &b) ==
         UC_ERR_OK;
}
