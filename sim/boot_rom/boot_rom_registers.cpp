// The registers the board needs set before its SDRAM works, and the boot
// ROM's application of an image's table to them. The values are the board's
// own, kept apart from image/'s table on purpose: the two check each other.
#include "boot_rom_registers.h"

#include <map>

#include "korvane/why.h"

namespace {

struct board_register {
  uint32_t address, value;
};

// Clocks and pins (0xFFD1xxxx), then the SDRAM controller (0xFFD014xx,
// 0xFFD015xx): what must hold before the first access to the SDRAM.
constexpr board_register NEEDED[] = {
    {0xFFD100E0, 0x1B1B1B1B}, {0xFFD10000, 0x01111111}, {0xFFD10104, 0xFFFFFF7F},
    {0xFFD10108, 0x00000080}, {0xFFD01400, 0x43000618}, {0xFFD01404, 0x37543000},
    {0xFFD01408, 0x23125441}, {0xFFD0140C, 0x00000029}, {0xFFD01410, 0x00000009},
    {0xFFD01414, 0x00000000}, {0xFFD01418, 0x00000000}, {0xFFD0141C, 0x00000652},
    {0xFFD01420, 0x00000006}, {0xFFD01424, 0x0000F17F}, {0xFFD01428, 0x00085520},
    {0xFFD0147C, 0x00008552}, {0xFFD01500, 0x00000000}, {0xFFD01504, 0x3FFFFFF1},
    {0xFFD01508, 0x04000000}, {0xFFD0150C, 0x00000000}, {0xFFD01510, 0x04000000},
    {0xFFD01514, 0x00000000}, {0xFFD01518, 0x04000000}, {0xFFD0151C, 0x00000000},
    {0xFFD01494, 0x00010001}, {0xFFD01498, 0x00000000}, {0xFFD0149C, 0x0000E811},
    {0xFFD01480, 0x00000001},
};

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

}  // namespace

bool boot_rom_apply_registers(const uint8_t *table, std::string *why) {
  // Registers the table does not write keep their reset values, which are
  // not a working set-up: a register that is needed must be written.
  std::map<uint32_t, uint32_t> written;
  for (unsigned i = 0; i < BOOT_ROM_TABLE_PAIRS; ++i) {
    uint32_t address = le32(table + 8 * i);
    if (address != 0) written[address] = le32(table + 8 * i + 4);
  }
  for (const board_register &r : NEEDED) {
    auto it = written.find(r.address);
    if (it == written.end()) {
      return set_why(why,
                     "register 0x%08x is not in the register table, the board needs 0x%08x "
                     "there: the SDRAM does not work",
                     r.address, r.value);
    }
    if (it->second != r.value) {
      return set_why(why,
                     "register 0x%08x is set to 0x%08x by the register table, the board needs "
                     "0x%08x: the SDRAM does not work",
                     r.address, it->second, r.value);
    }
  }
  return true;
}
