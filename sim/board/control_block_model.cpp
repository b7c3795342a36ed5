// The control block: 32-bit registers that keep what is written. The six
// that the start-up adjusts begin with their reset values (board_config), and
// the model holds the start-up to its seven read-modify-writes: each reads
// its register and writes it back with only its own field changed, to the
// value the board needs, in their order and once. Every other bit of those
// registers sets up something the board relies on, so a changed bit there is
// a broken rule, as is a store to any other register of the block. Other
// registers read 0 until written.
#include <cstdio>

#include "board_models.h"

namespace {

// The six registers, in the order of board_config::control_init.
constexpr uint32_t OFFSETS[CONTROL_REGISTERS] = {0x000, 0x004, 0x100, 0x104, 0x140, 0x144};

// One read-modify-write of the start-up: the register (an index into
// OFFSETS), the bits it may change and the value it leaves in them.
struct rmw_step {
  int reg;
  uint32_t field;
  uint32_t value;
};
constexpr rmw_step STEPS[] = {
    {0, 0x0F000000, 0},       // bits 27..24 cleared
    {2, 0x00000040, 0},       // bit 6 cleared
    {3, 0x00000040, 0},       // bit 6 cleared
    {4, 0x00001FC0, 0},       // bits 12..6 cleared
    {5, 0x00001FC0, 0},       // bits 12..6 cleared
    {1, 0x0000FF00, 0},       // bits 15..8 cleared ...
    {1, 0x00003300, 0x3300},  // ... then bits 13, 12, 9 and 8 set, read afresh
};
constexpr unsigned STEP_COUNT = sizeof STEPS / sizeof STEPS[0];

int register_index(uint32_t offset) {
  for (int i = 0; i < CONTROL_REGISTERS; ++i)
    if (OFFSETS[i] == offset) return i;
  return -1;
}

// The bits any start-up step may change in the register.
uint32_t fields_of(int reg) {
  uint32_t fields = 0;
  for (const rmw_step &step : STEPS)
    if (step.reg == reg) fields |= step.field;
  return fields;
}

// Whether every start-up step of the register is done.
bool register_done(const control_block_device &c, int reg) {
  for (unsigned s = c.steps_done; s < STEP_COUNT; ++s)
    if (STEPS[s].reg == reg) return false;
  return true;
}

void check_width(board &b, uint32_t offset, unsigned width, bool write) {
  if (width == 4 && offset % 4 == 0) return;
  char where[40];
  std::snprintf(where, sizeof where, ", in the register 0x%08x",
                CONTROL_BLOCK_BASE + (offset & ~3u));
  board_report_width(b, report_kind::control_width, "control block", width, write,
                     CONTROL_BLOCK_BASE + offset, where,
                     "the control registers take 32-bit loads and stores only");
}

// A store to one of the six registers, checked against the start-up's steps.
void store_adjusted(board &b, int reg, uint32_t value) {
  control_block_device &c = b.control;
  const uint32_t address = CONTROL_BLOCK_BASE + OFFSETS[reg], old = c.regs[reg];
  if (c.last_loaded != reg) {
    board_report(b, report_kind::control_no_read,
                 "control block: 0x%08x stored to 0x%08x at pc 0x%08x without reading the "
                 "register first: a read-modify-write keeps the bits it does not change",
                 value, address, board_pc(b));
  }
  uint32_t field = 0;
  if (c.steps_done < STEP_COUNT && STEPS[c.steps_done].reg == reg) {
    const rmw_step &step = STEPS[c.steps_done++];
    field = step.field;
    if ((value & field) != step.value) {
      board_report(b, report_kind::control_field,
                   "control block: 0x%08x stored to 0x%08x at pc 0x%08x leaves bits 0x%08x as "
                   "0x%08x; the start-up sets them to 0x%08x",
                   value, address, board_pc(b), field, value & field, step.value);
    }
  } else {
    // Only the order is wrong here; the bits are judged by the register's fields.
    field = fields_of(reg);
    const char *what = register_done(c, reg) ? "once more, after the start-up's steps on it"
                                             : "before the start-up's steps that come first";
    board_report(b, report_kind::control_order,
                 "control block: 0x%08x stored to 0x%08x at pc "
                 "0x%08x %s",
                 value, address, board_pc(b), what);
  }
  if (((old ^ value) & ~field) != 0) {
    board_report(b, report_kind::control_bits,
                 "control block: 0x%08x stored to 0x%08x at pc 0x%08x changes bits 0x%08x of "
                 "0x%08x outside bits 0x%08x, which the start-up may change: they are lost",
                 value, address, board_pc(b), (old ^ value) & ~field, old, field);
  }
  c.regs[reg] = value;
}

uint64_t control_load(uc_engine *, uint64_t offset64, unsigned size, void *user) {
  board &b = board_peripheral_load(user);
  control_block_device &c = b.control;
  const uint32_t offset = static_cast<uint32_t>(offset64);
  check_width(b, offset, size, false);
  int reg = register_index(offset);
  c.last_loaded = reg;
  uint32_t value = reg >= 0 ? c.regs[reg] : 0;
  if (reg < 0) {
    auto it = c.other.find(offset);
    if (it != c.other.end()) value = it->second;
  }
  return board_record_load(b, CONTROL_BLOCK_BASE + offset, size, value);
}

void control_store(uc_engine *, uint64_t offset64, unsigned size, uint64_t value64, void *user) {
  const uint32_t offset = static_cast<uint32_t>(offset64);
  const uint32_t value = static_cast<uint32_t>(value64);
  board &b = board_peripheral_store(user, CONTROL_BLOCK_BASE + offset, size, value64);
  control_block_device &c = b.control;
  check_width(b, offset, size, true);
  int reg = register_index(offset);
  if (reg >= 0) {
    store_adjusted(b, reg, value);
  } else {
    uint32_t &other = c.other[offset];
    if (other != value) {
      board_report(b, report_kind::control_bits,
                   "control block: 0x%08x stored to 0x%08x at pc 0x%08x, a register the "
                   "start-up does not adjust: bits 0x%08x change",
                   value, CONTROL_BLOCK_BASE + offset, board_pc(b), other ^ value);
    }
    other = value;
  }
  c.last_loaded = -1;
}

}  // namespace

bool control_block_map(board &b) {
  for (int i = 0; i < CONTROL_REGISTERS; ++i) b.control.regs[i] = b.config.control_init[i];
  return uc_mmio_map(b.uc, CONTROL_BLOCK_BASE, PERIPHERAL_WINDOW, control_load, &b, control_store,
                     &b) == UC_ERR_OK;
}
