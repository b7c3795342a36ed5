// What the boot ROM leaves behind when it starts the image's code: a board
// is never handed over tidy. The core's registers, the internal RAM and the
// SDRAM beyond the loaded code hold junk, drawn from the board's seed so that
// a run can be repeated; the UART holds what the ROM itself set
// (uart_model.h). Code that reads any of it before setting it works only by
// luck, and the junk makes that show.
//
// The SDRAM's 64 MiB are filled a page at a time, the first time the
// program loads or stores there (the SDRAM model calls handover_touch): each
// page's junk follows from the seed and the page alone, so the content does
// not depend on the order of the accesses, and a board costs nothing for
// the memory its program never reaches. The test's own view of the memory
// (board_read_memory, board_write_memory) fills the pages it reaches too.
//
// The internal RAM is small, and the program keeps its flags and stack
// there: a load by the program (once it runs outside the SDRAM) of a byte
// that nothing stored since the hand-over is a broken rule of its own. The
// relocation copy counts as setting the bytes it copies from the code, not
// the junk it takes along past the code's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct board;

struct handover_memory {
  uint32_t seed = 0;
  uint32_t code_size = 0;          // the SDRAM below this holds the code
  std::vector<bool> pages_filled;  // SDRAM pages given their junk
  std::vector<bool> ram_set;       // internal RAM bytes stored since the hand-over
};

// Fills the registers r0 to r12, the stack pointer and the link register and
// the internal RAM from seed, and makes the SDRAM from code_size on junk.
bool handover_fill(board &b, uint32_t seed, size_t code_size);

// Hooks the internal RAM's loads and stores for the rule above; false when
// the core refused.
bool handover_watch_ram(board &b);
// The test's own store sets the bytes too.
void handover_set_ram(board &b, uint32_t address, size_t size);

// Gives the SDRAM pages of [address, address + size) their junk, the first
// time only; before the access is made.
void handover_touch(board &b, uint32_t address, unsigned size);

// The junk of a seed, as a sequence of 32-bit words.
struct handover_junk {
  uint64_t state;
};
handover_junk handover_junk_start(uint64_t seed);
uint32_t handover_junk_next(handover_junk *junk);
