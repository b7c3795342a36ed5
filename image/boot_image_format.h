// The boot image format: a 512-byte header for the board's boot
// ROM (main header, extension header with the register table), the monitor's
// code, and the code checksum word. Pure functions over byte buffers, no I/O,
// shared by the packing tool, the host build and the tests. The simulator's boot
// ROM reads images with its own code, so that the two check each other.
#pragma once

#include "korvane/board_map.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Layout (offsets from the start of the image).
constexpr std::uint8_t BOOT_IMAGE_TYPE = 0x69;
constexpr std::size_t BOOT_IMAGE_MAIN_HEADER_SIZE = 0x20;
constexpr std::size_t BOOT_IMAGE_HEADER_SIZE = 0x200;  // main + extension header
constexpr std::size_t BOOT_IMAGE_OFF_TYPE = 0x00;
constexpr std::size_t BOOT_IMAGE_OFF_CODE_SIZE = 0x04;
constexpr std::size_t BOOT_IMAGE_OFF_CODE_OFFSET = 0x0C;
constexpr std::size_t BOOT_IMAGE_OFF_LOAD_ADDRESS = 0x10;
constexpr std::size_t BOOT_IMAGE_OFF_EXEC_ADDRESS = 0x14;
constexpr std::size_t BOOT_IMAGE_OFF_EXT_FLAG = 0x1E;
constexpr std::size_t BOOT_IMAGE_OFF_HEADER_SUM = 0x1F;
constexpr std::size_t BOOT_IMAGE_OFF_REG_TABLE_OFFSET = 0x20;
constexpr std::size_t BOOT_IMAGE_OFF_EXT_SUM = 0x1FF;
constexpr std::uint32_t BOOT_IMAGE_CODE_OFFSET = 0x200;
constexpr std::uint32_t BOOT_IMAGE_REG_TABLE_OFFSET = 0x40;
constexpr std::size_t BOOT_IMAGE_REG_TABLE_CAPACITY = 55;  // pairs of 8 bytes
constexpr std::size_t BOOT_IMAGE_REG_COUNT = 28;
constexpr std::size_t BOOT_IMAGE_CODE_SUM_SIZE = 4;

// Size of an image holding code_size bytes of code (a multiple of 4).
constexpr std::size_t boot_image_size_for(std::size_t code_size) {
  return BOOT_IMAGE_HEADER_SIZE + code_size + BOOT_IMAGE_CODE_SUM_SIZE;
}

// The most code an image may carry: code, the two flag words right after it
// and the full-descending stack share the monitor's RAM, and the stack must
// keep its budget free or it would overwrite the flag words. This is the
// hard limit of the RAM (0x790 bytes); the monitor's own, tighter code
// budget is checked where it is linked.
constexpr std::size_t BOOT_IMAGE_MAX_CODE_SIZE =
    MONITOR_AREA_SIZE - MONITOR_FLAG_WORDS_SIZE - MONITOR_STACK_BUDGET;

struct boot_image_reg {
  std::uint32_t address;
  std::uint32_t value;
};

// The register table every image carries, in order, from image offset 0x40.
extern const boot_image_reg BOOT_IMAGE_REGS[BOOT_IMAGE_REG_COUNT];

// Code size rounded up to a whole number of 32-bit words.
std::size_t boot_image_padded_code_size(std::size_t size);

// Packs an image from code bytes; the code is padded with zero bytes to a
// whole number of words. Limits (empty code, the monitor's budget) are the
// caller's to enforce; see boot_image_code_fits.
std::vector<std::uint8_t> boot_image_pack(const std::uint8_t *code, std::size_t size);

// True when code of this size (after padding) fits the monitor's RAM.
bool boot_image_code_fits(std::size_t size);

// The three sums. header: bytes 0x00..0x1E of an image of at least 0x20
// bytes; extension: bytes 0x020..0x1FE of an image of at least 0x200 bytes;
// code: the 32-bit little-endian words of code (a trailing partial word
// counts as if padded with zero bytes), modulo 2^32.
std::uint8_t boot_image_header_sum(const std::uint8_t *image);
std::uint8_t boot_image_extension_sum(const std::uint8_t *image);
std::uint32_t boot_image_code_sum(const std::uint8_t *code, std::size_t size);

// Little-endian access.
std::uint32_t boot_image_get32(const std::uint8_t *p);
void boot_image_put32(std::uint8_t *p, std::uint32_t v);

// Fields of an image as stored, and the sums recomputed from its bytes.
struct boot_image_info {
  std::uint8_t type;
  std::uint32_t code_size;
  std::uint32_t code_offset;
  std::uint32_t load_address;
  std::uint32_t exec_address;
  std::uint8_t extension_flag;
  std::uint8_t header_sum;  // stored at 0x1F
  std::uint8_t header_sum_computed;
  std::uint32_t reg_table_offset;  // stored at 0x20 (valid when size >= 0x200)
  std::size_t reg_count;           // leading nonzero pairs in the table area
  std::uint8_t extension_sum;      // stored at 0x1FF (valid when size >= 0x200)
  std::uint8_t extension_sum_computed;
  std::uint32_t code_sum;  // stored after the code (valid when the image is whole)
  std::uint32_t code_sum_computed;
  std::size_t code_sum_offset;  // 0x200 + code size
  std::size_t image_size;       // the size that was given
  std::size_t expected_size;    // 0x200 + code size + 4, from the header
  bool has_header;              // size >= 0x20: main header fields valid
  bool has_extension;           // size >= 0x200: extension fields valid
  bool has_code;                // size >= expected_size: code sums valid
};

// Verifies the image and fills info (which may be null) with whatever could
// be read, even when the image is not well formed. Returns true when the
// image is well formed, else false with a one-line reason (no trailing
// newline) in why (which may be null).
bool boot_image_parse(const std::uint8_t *image, std::size_t size, boot_image_info *info,
                      std::string *why);

// Returns true when the image is well formed: type 0x69, code size a nonzero
// multiple of 4, code offset 0x200, load and execution address 0, extension
// flag 1, register table offset 0x40 holding exactly the register table,
// zero bytes in every reserved field, the three sums, and size equal to
// 0x200 + code size + 4. Else false with a one-line reason in why.
bool boot_image_verify(const std::uint8_t *image, std::size_t size, std::string *why);

// The image size the header announces (0x200 + code size + 4), or 0 when
// size is shorter than the main header. Lets a receiver that got the image
// with XMODEM filler cut it to its own length before verifying it.
std::size_t boot_image_announced_size(const std::uint8_t *image, std::size_t size);
