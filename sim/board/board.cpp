// The emulated board of board.h: an ARM926 core (ARMv5TE, ARM state, little-endian) emulated by
// Unicorn, with the board's memory map and the peripheral models of the other
// sim sources.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "board_models.h"
#include "counted_wait.h"
#include "handover_state.h"
#include "korvane/why.h"

// Emulated time moves on by a block's instructions as the block begins, so
// a peripheral sees the time of the end of the block that accesses it. A
// counted wait's passes that the board takes in one step (counted_wait.h)
// are counted here as if each had run.
static void count_block(uc_engine *, uint64_t address, uint32_t size, void *user) {
  board &b = *static_cast<board *>(user);
  const uint64_t skipped = counted_wait_skip(b, uint32_t(address), size);
  b.instructions += (1 + skipped) * (size / 4);
  b.skipped_instructions += skipped * (size / 4);
  if (address < b.profile_low || address >= b.profile_high) return;
  block_runs &r = b.profile[uint32_t(address)];
  r = {uint32_t(address), size / 4, r.runs + 1 + skipped};
}

// The core keeps its program counter at the start of the translated block
// while the block runs, in memory hooks and peripheral callbacks too, unless
// an instruction hook covers the code: then it is set before each
// instruction. This hook over the internal RAM, where the program runs once
// it has relocated, is there for that alone, so that a report names the load
// or store that broke the rule. (The SDRAM has its own, sdram_model.cpp.)
static void follow_pc(uc_engine *, uint64_t, uint32_t, void *) {}

board *board_create(const board_config *config, const uart_backend *uart, std::string *why) {
  board *b = new board;
  b->config = *config;
  b->uart.backend = *uart;
  bool ok = uc_open(UC_ARCH_ARM, UC_MODE_ARM, &b->uc) == UC_ERR_OK;
  ok = ok && uc_ctl_set_cpu_model(b->uc, UC_CPU_ARM_926) == UC_ERR_OK;
  ok = ok && uc_mem_map(b->uc, INTERNAL_RAM_BASE, INTERNAL_RAM_SIZE, UC_PROT_ALL) == UC_ERR_OK;
  ok = ok && sdram_map(*b) && uart_map(*b) && control_block_map(*b) && nand_map(*b) &&
       handover_watch_ram(*b);
  uc_hook clock, pc;
  ok = ok && uc_hook_add(b->uc, &clock, UC_HOOK_BLOCK, reinterpret_cast<void *>(count_block), b, 1,
                         0) == UC_ERR_OK;
  ok = ok && uc_hook_add(b->uc, &pc, UC_HOOK_CODE, reinterpret_cast<void *>(follow_pc), b,
                         INTERNAL_RAM_BASE, INTERNAL_RAM_BASE + INTERNAL_RAM_SIZE - 1) == UC_ERR_OK;
  if (!ok) {
    set_why(why, "the emulated core could not be set up");
    board_destroy(b);
    return nullptr;
  }
  return b;
}

void board_destroy(board *b) {
  if (b->uc != nullptr) uc_close(b->uc);
  delete b;
}

bool board_load(board *b, const uint8_t *code, size_t size, std::string *why) {
  if (size > SDRAM_SIZE) return set_why(why, "the code does not fit the SDRAM");
  if (!handover_fill(*b, b->config.seed, size))
    return set_why(why, "the emulated core refused the boot ROM's leftovers");
  if (uc_mem_write(b->uc, SDRAM_BASE, code, size) != UC_ERR_OK)
    return set_why(why, "the emulated core refused the code");
  uint32_t pc = SDRAM_BASE;
  uc_reg_write(b->uc, UC_ARM_REG_PC, &pc);
  return true;
}

bool board_run(board *b, uint64_t max_instructions, std::string *why) {
  b->stop_requested = false;
  uint32_t pc = 0;
  uc_reg_read(b->uc, UC_ARM_REG_PC, &pc);
  // The end address is odd, so no ARM instruction ever sits there.
  uc_err err = uc_emu_start(b->uc, pc, 0xFFFFFFFF, 0, max_instructions);
  if (err == UC_ERR_OK) return true;
  uc_reg_read(b->uc, UC_ARM_REG_PC, &pc);
  return set_why(why, "%s at pc 0x%08x", uc_strerror(err), pc);
}

void board_request_stop(board *b) {
  b->stop_requested = true;
  uc_emu_stop(b->uc);
}

const std::vector<bus_access> &board_accesses(const board *b) { return b->accesses; }
const std::vector<std::string> &board_reports(const board *b) { return b->reports; }
uint64_t board_instructions(const board *b) { return b->instructions; }
uint64_t board_skipped_instructions(const board *b) { return b->skipped_instructions; }

uint32_t board_pc(board &b) {
  uint32_t pc = 0;
  uc_reg_read(b.uc, UC_ARM_REG_PC, &pc);
  return pc;
}

void board_report(board &b, report_kind kind, const char *format, ...) {
  bool &reported = b.reported[static_cast<int>(kind)];
  if (reported) return;
  reported = true;
  char text[300];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  b.reports.push_back(text);
  if (b.on_report != nullptr) b.on_report(b.report_context, text);
}

void board_on_report(board *b, void (*report)(void *context, const char *text), void *context) {
  b->on_report = report;
  b->report_context = context;
}
void board_clear_accesses(board *b) { b->accesses.clear(); }

void board_record(board &b, uint32_t address, unsigned width, bool write, uint32_t value) {
  if (!b.config.record_accesses) return;
  if (width < 4) value &= (1u << (8 * width)) - 1;
  b.accesses.push_back({address, static_cast<uint8_t>(width), write, value});
}

board &board_peripheral_load(void *user) {
  board &b = *static_cast<board *>(user);
  b.instructions += PERIPHERAL_ACCESS_INSTRUCTIONS;
  return b;
}

board &board_peripheral_store(void *user, uint32_t address, unsigned width, uint64_t value) {
  board &b = board_peripheral_load(user);
  board_record(b, address, width, true, static_cast<uint32_t>(value));
  return b;
}

uint64_t board_record_load(board &b, uint32_t address, unsigned width, uint32_t value) {
  board_record(b, address, width, false, value);
  return value;
}

void board_report_width(board &b, report_kind kind, const char *device, unsigned width, bool write,
                        uint32_t address, const std::string &where, const char *rule) {
  board_report(b, kind, "%s: %u-byte %s at 0x%08x at pc 0x%08x%s: %s", device, width,
               write ? "store" : "load", address, board_pc(b), where.c_str(), rule);
}

bool board_running_from_sdram(board &b) { return board_pc(b) < SDRAM_BASE + SDRAM_SIZE; }

bool board_read_memory(board *b, uint32_t address, void *data, size_t size) {
  if (address < SDRAM_BASE + SDRAM_SIZE) handover_touch(*b, address, unsigned(size));
  return uc_mem_read(b->uc, address, data, size) == UC_ERR_OK;
}

bool board_write_memory(board *b, uint32_t address, const void *data, size_t size) {
  if (address < SDRAM_BASE + SDRAM_SIZE) handover_touch(*b, address, unsigned(size));
  handover_set_ram(*b, address, size);
  return uc_mem_write(b->uc, address, data, size) == UC_ERR_OK;
}

uint64_t board_sdram_fetches(const board *b) { return b->sdram_fetches; }
uint32_t board_last_sdram_fetch(const board *b) { return b->last_sdram_fetch; }

static void watched_access(uc_engine *, uc_mem_type, uint64_t address, int, int64_t, void *user) {
  board &b = *static_cast<board *>(user);
  if (board_running_from_sdram(b)) return;
  if (address < b.lowest_watched) b.lowest_watched = static_cast<uint32_t>(address);
}

void board_watch_ram(board *b, uint32_t low, uint32_t high) {
  b->lowest_watched = NO_ACCESS;
  uc_hook hook;
  uc_hook_add(b->uc, &hook, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE,
              reinterpret_cast<void *>(watched_access), b, low, high - 1);
}

uint32_t board_lowest_watched(const board *b) { return b->lowest_watched; }

void board_profile_blocks(board *b, uint32_t low, uint32_t high) {
  b->profile.clear();
  b->profile_low = low;
  b->profile_high = high;
}

block_runs board_busiest_loop(const board *b) {
  block_runs most = {0, 0, 0};
  for (const auto &entry : b->profile)
    if (entry.second.runs > most.runs) most = entry.second;
  // A loop whose body the core splits (at a conditional exit) is several
  // blocks, each run once a pass; the one the loop is entered through runs
  // once less, its first pass being part of the code before it.
  uint32_t instructions = 0;
  for (const auto &entry : b->profile)
    if (entry.second.runs + 1 >= most.runs) instructions += entry.second.instructions;
  most.instructions = instructions;
  return most;
}

bool board_call(board *b, uint32_t address, uint32_t argument, uint64_t max_instructions,
                uint32_t *result, std::string *why) {
  // The routine returns to an address the program never runs: the SDRAM's
  // last word, which the program at most stores to.
  constexpr uint32_t RETURN_ADDRESS = SDRAM_BASE + SDRAM_SIZE - 4;
  uc_context *saved = nullptr;
  if (uc_context_alloc(b->uc, &saved) != UC_ERR_OK)
    return set_why(why, "the emulated core could not save its registers");
  uc_context_save(b->uc, saved);
  uint32_t lr = RETURN_ADDRESS;
  uc_reg_write(b->uc, UC_ARM_REG_R0, &argument);
  uc_reg_write(b->uc, UC_ARM_REG_LR, &lr);
  uc_err err = uc_emu_start(b->uc, address, RETURN_ADDRESS, 0, max_instructions);
  uint32_t pc = 0;
  uc_reg_read(b->uc, UC_ARM_REG_PC, &pc);
  uc_reg_read(b->uc, UC_ARM_REG_R0, result);
  uc_context_restore(b->uc, saved);
  uc_context_free(saved);
  if (err != UC_ERR_OK) return set_why(why, "%s at pc 0x%08x", uc_strerror(err), pc);
  if (pc != RETURN_ADDRESS)
    return set_why(why, "the routine did not return within %llu instructions",
                   (unsigned long long)max_instructions);
  return true;
}
