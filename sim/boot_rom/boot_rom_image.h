// What the boot ROM does with a finished transfer before it starts anything:
// cut the XMODEM filler off at the size the header announces, check the
// image, apply its register table (boot_rom_registers.h), and find the code
// that goes to the load address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class boot_rom_image_result {
  good,           // the code can be placed and started
  bad_image,      // the image breaks a rule of the format
  sdram_not_set,  // the register table leaves the SDRAM unusable
};

// On good, sets code and code_size (pointing into received); otherwise puts
// a one-line reason in why.
boot_rom_image_result boot_rom_take_image(const std::vector<uint8_t> &received,
                                          const uint8_t **code, size_t *code_size,
                                          std::string *why);
