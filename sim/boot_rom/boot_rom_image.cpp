// The boot ROM's check of a received image. It is written from the image
// rules on its own, an independent copy on purpose: it shares no code with
// image/, so that a wrong rule in the packer and in the check cannot agree.
#include "boot_rom_image.h"

#include "boot_rom_registers.h"
#include "korvane/why.h"

namespace {

constexpr uint8_t TYPE = 0x69;
constexpr size_t MAIN_HEADER = 0x20, HEADER = 0x200;

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

constexpr size_t TABLE = 0x40;  // the register table's place in the extension header

uint8_t byte_sum(const uint8_t *p, size_t from, size_t to) {
  uint8_t sum = 0;
  for (size_t i = from; i <= to; i++) sum = uint8_t(sum + p[i]);
  return sum;
}

// True when the received bytes are a good image, with its code size in size.
bool image_good(const std::vector<uint8_t> &received, uint32_t *size, std::string *why) {
  const uint8_t *p = received.data();
  if (received.size() < HEADER)
    return set_why(why, "received %zu bytes, too few for a header", received.size());
  *size = le32(p + 0x04);
  // The code size is bounded by what was received before it is added to
  // anything, so that no sum below can wrap.
  size_t announced = *size <= received.size() ? HEADER + *size + 4 : SIZE_MAX;
  if (announced > received.size())
    return set_why(why, "received %zu bytes, the header announces code of %u bytes",
                   received.size(), *size);
  if (p[0x00] != TYPE) return set_why(why, "image type 0x%02x, not 0x%02x", p[0x00], TYPE);
  if (byte_sum(p, 0x00, MAIN_HEADER - 2) != p[MAIN_HEADER - 1])
    return set_why(why, "header checksum 0x%02x, the header sums to 0x%02x", p[MAIN_HEADER - 1],
                   byte_sum(p, 0x00, MAIN_HEADER - 2));
  if (p[0x1E] != 1) return set_why(why, "extension flag %u, not 1", p[0x1E]);
  if (byte_sum(p, MAIN_HEADER, HEADER - 2) != p[HEADER - 1])
    return set_why(why, "extension checksum 0x%02x, the extension sums to 0x%02x", p[HEADER - 1],
                   byte_sum(p, MAIN_HEADER, HEADER - 2));
  if (*size == 0 || *size % 4 != 0)
    return set_why(why, "code size %u, not a nonzero multiple of 4", *size);
  if (le32(p + 0x0C) != HEADER || le32(p + 0x10) != 0 || le32(p + 0x14) != 0)
    return set_why(why,
                   "code offset 0x%x, load address 0x%x, execution address 0x%x: not 0x200, 0, 0",
                   le32(p + 0x0C), le32(p + 0x10), le32(p + 0x14));
  uint32_t sum = 0;
  for (size_t i = 0; i < *size; i += 4) sum += le32(p + HEADER + i);
  if (sum != le32(p + HEADER + *size))
    return set_why(why, "code checksum 0x%08x, the code sums to 0x%08x", le32(p + HEADER + *size),
                   sum);
  if (le32(p + 0x20) != TABLE)
    return set_why(why, "register table offset 0x%x, not 0x%zx", le32(p + 0x20), TABLE);
  return true;
}

}  // namespace

boot_rom_image_result boot_rom_take_image(const std::vector<uint8_t> &received,
                                          const uint8_t **code, size_t *code_size,
                                          std::string *why) {
  uint32_t size = 0;
  if (!image_good(received, &size, why)) return boot_rom_image_result::bad_image;
  if (!boot_rom_apply_registers(received.data() + TABLE, why))
    return boot_rom_image_result::sdram_not_set;
  *code = received.data() + HEADER;
  *code_size = size;
  return boot_rom_image_result::good;
}
