#include "boot_rom_image.h"

#include <cstdio>

#include "boot_image_format.h"

int boot_rom_take_image(const std::vector<uint8_t> &received, const uint8_t **code,
                        size_t *code_size, char *reason, size_t reason_size) {
  size_t announced = boot_image_announced_size(received.data(), received.size());
  if (announced == 0) {
    snprintf(reason, reason_size, "received %zu bytes, too few for a header", received.size());
    return 0;
  }
  if (announced > received.size()) {
    snprintf(reason, reason_size, "received %zu bytes, the header announces %zu",
             received.size(), announced);
    return 0;
  }
  if (!boot_image_verify(received.data(), announced, reason, reason_size)) return 0;
  *code = received.data() + BOOT_IMAGE_CODE_OFFSET;
  *code_size = boot_image_get32(received.data() + BOOT_IMAGE_OFF_CODE_SIZE);
  return 1;
}
