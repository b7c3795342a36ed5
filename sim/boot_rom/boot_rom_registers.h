// The boot ROM's use of an image's register table: it writes each pair's
// value to its register before it places the code. The board's SDRAM works
// only once its controller (and the clocks and pins it depends on) hold the
// values the board needs; with any of them wrong there is nowhere to put the
// code, and the boot fails.
#pragma once

#include <cstdint>
#include <string>

// The register table area of an image: room for this many address and value
// pairs, from the table offset; unused pairs are zero.
constexpr unsigned BOOT_ROM_TABLE_PAIRS = 55;

// Applies the table of BOOT_ROM_TABLE_PAIRS pairs at table (little-endian
// words, pairs with address 0 are unused) and checks the registers the board
// needs. False when one of them is not set, or set to another value, with the
// first such register in why.
bool boot_rom_apply_registers(const uint8_t *table, std::string *why);
