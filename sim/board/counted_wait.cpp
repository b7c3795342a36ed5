#include "counted_wait.h"

#include "board_models.h"

namespace {

// The loop, in ARM encodings: Rt, Rn, Rm stand for any registers but the
// program counter, Rt apart from the other two.
//   ldr Rt, [Rn, #offset]
//   add Rt, Rt, #1
//   str Rt, [Rn, #offset]
//   ldr Rt, [Rn, #offset]
//   cmp Rt, Rm
//   bcc <the ldr above>
constexpr uint32_t PASS_INSTRUCTIONS = 6;
constexpr uint32_t LOAD_MASK = 0xFF700000;  // condition, immediate offset, no writeback, word, load
constexpr uint32_t LOAD = 0xE5100000;
constexpr uint32_t LOAD_BIT = 1u << 20;
constexpr uint32_t UP_BIT = 1u << 23;  // the offset is added
constexpr uint32_t ADD_ONE = 0xE2800001;
constexpr uint32_t CMP = 0xE1500000;
constexpr uint32_t BCC_BACK = 0x3AFFFFF9;  // carry clear: back 6 instructions

uint32_t field(uint32_t word, int shift) { return (word >> shift) & 0xF; }

// The core's names of r0 to r14, which it does not number in order.
const int REGISTERS[15] = {UC_ARM_REG_R0,  UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,
                           UC_ARM_REG_R4,  UC_ARM_REG_R5, UC_ARM_REG_R6,  UC_ARM_REG_R7,
                           UC_ARM_REG_R8,  UC_ARM_REG_R9, UC_ARM_REG_R10, UC_ARM_REG_R11,
                           UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR};

struct wait_loop {
  int counter_register;  // Rn
  uint32_t offset;
  bool up;
  int limit_register;  // Rm
};

bool decode(const uint32_t code[PASS_INSTRUCTIONS], wait_loop *loop) {
  const uint32_t load = code[0];
  if ((load & LOAD_MASK) != LOAD) return false;
  const uint32_t rt = field(load, 12), rn = field(load, 16), rm = field(code[4], 0);
  if (rt == 15 || rn == 15 || rm == 15 || rt == rn || rt == rm) return false;
  if (code[1] != (ADD_ONE | rt << 16 | rt << 12) || code[2] != (load & ~LOAD_BIT) ||
      code[3] != load || code[4] != (CMP | rt << 16 | rm) || code[5] != BCC_BACK)
    return false;
  *loop = {int(rn), load & 0xFFF, (load & UP_BIT) != 0, int(rm)};
  return true;
}

bool in_internal_ram(uint32_t address, uint32_t size) {
  return address >= INTERNAL_RAM_BASE && address - INTERNAL_RAM_BASE <= INTERNAL_RAM_SIZE - size;
}

// Whether every byte of the word was stored since the hand-over: a load of
// any other must still be reported, pass by pass.
bool counter_set(const board &b, uint32_t address) {
  const std::vector<bool> &set = b.handover.ram_set;
  for (uint32_t i = 0; i < 4; i++)
    if (address - INTERNAL_RAM_BASE + i >= set.size() || !set[address - INTERNAL_RAM_BASE + i])
      return false;
  return true;
}

}  // namespace

uint64_t counted_wait_skip(board &b, uint32_t address, uint32_t size) {
  if (size != PASS_INSTRUCTIONS * 4 || !in_internal_ram(address, size)) return 0;
  uint32_t code[PASS_INSTRUCTIONS];
  wait_loop loop;
  if (uc_mem_read(b.uc, address, code, sizeof code) != UC_ERR_OK || !decode(code, &loop)) return 0;
  uint32_t base = 0, limit = 0, count = 0;
  uc_reg_read(b.uc, REGISTERS[loop.counter_register], &base);
  uc_reg_read(b.uc, REGISTERS[loop.limit_register], &limit);
  const uint32_t counter = loop.up ? base + loop.offset : base - loop.offset;
  // A counter inside the loop's own code would rewrite the code it runs.
  if (counter % 4 != 0 || !in_internal_ram(counter, 4) ||
      (counter + 4 > address && counter < address + size) || !counter_set(b, counter))
    return 0;
  uc_mem_read(b.uc, counter, &count, 4);
  // This pass leaves count + 1; the loop ends with the pass that leaves the
  // limit. Wrapping counts run pass by pass.
  if (count >= limit || limit - count < 2) return 0;
  const uint32_t last = limit - 1;
  if (uc_mem_write(b.uc, counter, &last, 4) != UC_ERR_OK) return 0;
  return limit - 1 - count;
}
