// The SDRAM: 64 MiB of plain RAM on the core (the program's code runs from
// it until it relocates), with hooks that record the program's loads and
// stores and, when configured, make the wiring faulty.
//
// The wiring faults themselves are modelled in sdram_faults.cpp. The hooks
// keep the cells as the faulty wiring really holds them apart from the core's
// RAM: a store lands in the cell its faulty address selects, and just before
// each load the hook writes what the faulty wiring would deliver into the
// core's RAM at the address the program gave, so that the load picks it up.
//
// Faults apply only to accesses by code that runs outside the SDRAM: the
// relocation copy must read the real code, or the program would never run.
// The same code, the tests, must make every access 16 bits wide, as the
// SDRAM's data lines are; the copy may use any width.
#include "board_models.h"
#include "sdram_faults.h"

namespace {

uint8_t core_byte(board &b, uint32_t address) {
  uint8_t byte = 0;
  uc_mem_read(b.uc, address, &byte, 1);
  return byte;
}

// Keep what the core's RAM held before the fault model first changes it.
void keep_original(board &b, uint32_t address) {
  b.sdram.original.emplace(address, core_byte(b, address));
}

uint8_t cell(board &b, uint32_t physical) {
  sdram_device &s = b.sdram;
  if (auto it = s.cells.find(physical); it != s.cells.end()) return it->second;
  if (auto it = s.original.find(physical); it != s.original.end()) return it->second;
  return core_byte(b, physical);
}

// The level an access leaves on its lane of the data bus, which a floating
// line reads back.
void drive_lane(board &b, uint32_t address, uint8_t byte) {
  int shift = 8 * static_cast<int>(address & 1u);
  b.sdram.bus = static_cast<uint16_t>((b.sdram.bus & ~(0xFF << shift)) | byte << shift);
}

bool faults_apply(board &b) { return b.config.sdram.count > 0 && !board_running_from_sdram(b); }

void check_width(board &b, uint32_t address, int width, bool write) {
  if (width == 2 || board_running_from_sdram(b)) return;
  board_report_width(b, report_kind::sdram_width, "sdram", static_cast<unsigned>(width), write,
                     address, "", "the SDRAM is tested in 16-bit loads and stores");
}

void sdram_load(uc_engine *, uc_mem_type, uint64_t address64, int size, int64_t, void *user) {
  board &b = *static_cast<board *>(user);
  uint32_t address = static_cast<uint32_t>(address64);
  handover_touch(b, address, static_cast<unsigned>(size));
  check_width(b, address, size, false);
  if (faults_apply(b)) {
    const sdram_fault_config &f = b.config.sdram;
    // Whole words, as the data bus carries them: a short may join the lanes.
    for (uint32_t word = address & ~1u; word < address + static_cast<uint32_t>(size); word += 2) {
      uint32_t physical = sdram_fault_address(f, word);
      uint16_t held = static_cast<uint16_t>(cell(b, physical) | cell(b, physical | 1u) << 8);
      uint16_t got = sdram_fault_read(f, held, b.sdram.bus);
      for (uint32_t lane = 0; lane < 2; ++lane) {
        uint32_t a = word + lane;
        if (a < address || a >= address + static_cast<uint32_t>(size)) continue;
        uint8_t byte = static_cast<uint8_t>(got >> (8 * lane));
        keep_original(b, a);
        uc_mem_write(b.uc, a, &byte, 1);
        drive_lane(b, a, byte);
      }
    }
  }
  if (b.config.record_accesses) {
    uint32_t value = 0;
    uc_mem_read(b.uc, address, &value, static_cast<size_t>(size));
    board_record(b, address, static_cast<unsigned>(size), false, value);
  }
}

void sdram_store(uc_engine *, uc_mem_type, uint64_t address64, int size, int64_t value,
                 void *user) {
  board &b = *static_cast<board *>(user);
  uint32_t address = static_cast<uint32_t>(address64);
  handover_touch(b, address, static_cast<unsigned>(size));
  board_record(b, address, static_cast<unsigned>(size), true, static_cast<uint32_t>(value));
  check_width(b, address, size, true);
  if (!faults_apply(b)) return;
  for (int i = 0; i < size; ++i) {
    uint32_t a = address + i;
    uint8_t byte = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
    keep_original(b, a);  // the core is about to overwrite it
    b.sdram.cells[sdram_fault_address(b.config.sdram, a)] = byte;
    drive_lane(b, a, byte);
  }
}

void fetch(uc_engine *, uint64_t address, uint32_t, void *user) {
  board &b = *static_cast<board *>(user);
  ++b.sdram_fetches;
  b.last_sdram_fetch = static_cast<uint32_t>(address);
}

}  // namespace

bool sdram_map(board &b) {
  uint64_t last = SDRAM_BASE + SDRAM_SIZE - 1;
  uc_hook load, store, code;
  return uc_mem_map(b.uc, SDRAM_BASE, SDRAM_SIZE, UC_PROT_ALL) == UC_ERR_OK &&
         uc_hook_add(b.uc, &load, UC_HOOK_MEM_READ, reinterpret_cast<void *>(sdram_load), &b,
                     SDRAM_BASE, last) == UC_ERR_OK &&
         uc_hook_add(b.uc, &store, UC_HOOK_MEM_WRITE, reinterpret_cast<void *>(sdram_store), &b,
                     SDRAM_BASE, last) == UC_ERR_OK &&
         uc_hook_add(b.uc, &code, UC_HOOK_CODE, reinterpret_cast<void *>(fetch), &b, SDRAM_BASE,
                     last) == UC_ERR_OK;
}
