// The boot ROM's check of a received image. It is written from the image
// rules on its own, an independent copy on purpose: it shares no code with
// image/, so that a wrong rule in the packer and in the check cannot agree.
#include "boot_rom_image.h"

#include <cstdio>

namespace {

constexpr uint8_t TYPE = 0x69;
constexpr size_t MAIN_HEADER = 0x20, HEADER = 0x200;

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

uint8_t byte_sum(const uint8_t *p, size_t from, size_t to) {
  uint8_t sum = 0;
  for (size_t i = from; i <= to; i++) sum = uint8_t(sum + p[i]);
  return sum;
}

}  // namespace

int boot_rom_take_image(const std::vector<uint8_t> &received, const uint8_t **code,
                        size_t *code_size, char *reason, size_t reason_size) {
  const uint8_t *p = received.data();
  if (received.size() < HEADER) {
    snprintf(reason, reason_size, "received %zu bytes, too few for a header", received.size());
    return 0;
  }
  uint32_t size = le32(p + 0x04);
  // The code size is bounded by what was received before it is added to
  // anything, so that no sum below can wrap.
  size_t announced = size <= received.size() ? HEADER + size + 4 : SIZE_MAX;
  if (announced > received.size()) {
    snprintf(reason, reason_size, "received %zu bytes, the header announces code of %u bytes",
             received.size(), size);
    return 0;
  }
  if (p[0x00] != TYPE) {
    snprintf(reason, reason_size, "image type 0x%02x, not 0x%02x", p[0x00], TYPE);
    return 0;
  }
  if (byte_sum(p, 0x00, MAIN_HEADER - 2) != p[MAIN_HEADER - 1]) {
    snprintf(reason, reason_size, "header checksum 0x%02x, the header sums to 0x%02x",
             p[MAIN_HEADER - 1], byte_sum(p, 0x00, MAIN_HEADER - 2));
    return 0;
  }
  if (p[0x1E] != 1) {
    snprintf(reason, reason_size, "extension flag %u, not 1", p[0x1E]);
    return 0;
  }
  if (byte_sum(p, MAIN_HEADER, HEADER - 2) != p[HEADER - 1]) {
    snprintf(reason, reason_size, "extension checksum 0x%02x, the extension sums to 0x%02x",
             p[HEADER - 1], byte_sum(p, MAIN_HEADER, HEADER - 2));
    return 0;
  }
  if (size == 0 || size % 4 != 0) {
    snprintf(reason, reason_size, "code size %u, not a nonzero multiple of 4", size);
    return 0;
  }
  if (le32(p + 0x0C) != HEADER || le32(p + 0x10) != 0 || le32(p + 0x14) != 0) {
    snprintf(reason, reason_size,
             "code offset 0x%x, load address 0x%x, execution address 0x%x: not 0x200, 0, 0",
             le32(p + 0x0C), le32(p + 0x10), le32(p + 0x14));
    return 0;
  }
  uint32_t sum = 0;
  for (size_t i = 0; i < size; i += 4) sum += le32(p + HEADER + i);
  if (sum != le32(p + HEADER + size)) {
    snprintf(reason, reason_size, "code checksum 0x%08x, the code sums to 0x%08x",
             le32(p + HEADER + size), sum);
    return 0;
  }
  *code = p + HEADER;
  *code_size = size;
  return 1;
}
