// What the boot ROM does with a finished transfer before it starts anything:
// cut the XMODEM filler off at the size the header announces, check the
// image, and find the code that goes to the load address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Returns 1 and sets code and code_size (pointing into received) when the
// image is good; else 0 with a one-line reason.
int boot_rom_take_image(const std::vector<uint8_t> &received, const uint8_t **code,
                        size_t *code_size, char *reason, size_t reason_size);
