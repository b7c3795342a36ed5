// Boot image packing and verification.
#include "boot_image_format.h"

#include <cstring>

#include "korvane/why.h"

// The simulated boot ROM keeps its own copy of the board's values on
// purpose (sim/boot_rom/boot_rom_registers.cpp): the two check each other.
const boot_image_reg BOOT_IMAGE_REGS[BOOT_IMAGE_REG_COUNT] = {
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

std::uint32_t boot_image_get32(const std::uint8_t *p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void boot_image_put32(std::uint8_t *p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

static std::uint8_t byte_sum(const std::uint8_t *p, std::size_t n) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < n; i++) sum += p[i];
  return static_cast<std::uint8_t>(sum);
}

std::size_t boot_image_padded_code_size(std::size_t size) {
  return (size + 3) & ~static_cast<std::size_t>(3);
}

bool boot_image_code_fits(std::size_t size) {
  return boot_image_padded_code_size(size) <= BOOT_IMAGE_MAX_CODE_SIZE;
}

std::uint8_t boot_image_header_sum(const std::uint8_t *image) {
  return byte_sum(image, BOOT_IMAGE_OFF_HEADER_SUM);
}

std::uint8_t boot_image_extension_sum(const std::uint8_t *image) {
  return byte_sum(image + BOOT_IMAGE_MAIN_HEADER_SIZE,
                  BOOT_IMAGE_OFF_EXT_SUM - BOOT_IMAGE_MAIN_HEADER_SIZE);
}

std::uint32_t boot_image_code_sum(const std::uint8_t *code, std::size_t size) {
  std::uint32_t sum = 0;
  std::size_t i = 0;
  for (; i + 4 <= size; i += 4) sum += boot_image_get32(code + i);
  if (i < size) {
    std::uint8_t last[4] = {0, 0, 0, 0};
    std::memcpy(last, code + i, size - i);
    sum += boot_image_get32(last);
  }
  return sum;
}

std::vector<std::uint8_t> boot_image_pack(const std::uint8_t *code, std::size_t size) {
  const std::size_t code_size = boot_image_padded_code_size(size);
  std::vector<std::uint8_t> image(boot_image_size_for(code_size), 0);
  std::uint8_t *p = image.data();

  // Main header.
  p[BOOT_IMAGE_OFF_TYPE] = BOOT_IMAGE_TYPE;
  boot_image_put32(p + BOOT_IMAGE_OFF_CODE_SIZE, static_cast<std::uint32_t>(code_size));
  boot_image_put32(p + BOOT_IMAGE_OFF_CODE_OFFSET, BOOT_IMAGE_CODE_OFFSET);
  boot_image_put32(p + BOOT_IMAGE_OFF_LOAD_ADDRESS, 0);
  boot_image_put32(p + BOOT_IMAGE_OFF_EXEC_ADDRESS, 0);
  p[BOOT_IMAGE_OFF_EXT_FLAG] = 1;
  p[BOOT_IMAGE_OFF_HEADER_SUM] = boot_image_header_sum(p);

  // Extension header.
  boot_image_put32(p + BOOT_IMAGE_OFF_REG_TABLE_OFFSET, BOOT_IMAGE_REG_TABLE_OFFSET);
  for (std::size_t i = 0; i < BOOT_IMAGE_REG_COUNT; i++) {
    std::uint8_t *pair = p + BOOT_IMAGE_REG_TABLE_OFFSET + 8 * i;
    boot_image_put32(pair, BOOT_IMAGE_REGS[i].address);
    boot_image_put32(pair + 4, BOOT_IMAGE_REGS[i].value);
  }
  p[BOOT_IMAGE_OFF_EXT_SUM] = boot_image_extension_sum(p);

  // Code, zero-padded (the vector is zero-filled), then its sum.
  if (size) std::memcpy(p + BOOT_IMAGE_CODE_OFFSET, code, size);
  boot_image_put32(p + BOOT_IMAGE_CODE_OFFSET + code_size,
                   boot_image_code_sum(p + BOOT_IMAGE_CODE_OFFSET, code_size));
  return image;
}

std::size_t boot_image_announced_size(const std::uint8_t *image, std::size_t size) {
  if (size < BOOT_IMAGE_MAIN_HEADER_SIZE) return 0;
  return boot_image_size_for(boot_image_get32(image + BOOT_IMAGE_OFF_CODE_SIZE));
}

// First nonzero byte in [from, to), or to when all are zero.
static std::size_t first_nonzero(const std::uint8_t *image, std::size_t from, std::size_t to) {
  while (from < to && image[from] == 0) from++;
  return from;
}

bool boot_image_parse(const std::uint8_t *image, std::size_t size, boot_image_info *info,
                      std::string *why) {
  boot_image_info local;
  boot_image_info *in = info ? info : &local;
  std::memset(in, 0, sizeof *in);
  in->image_size = size;
  if (why) why->clear();

  // Read everything that is there first, so that a caller can show it.
  if (size >= BOOT_IMAGE_MAIN_HEADER_SIZE) {
    in->has_header = true;
    in->type = image[BOOT_IMAGE_OFF_TYPE];
    in->code_size = boot_image_get32(image + BOOT_IMAGE_OFF_CODE_SIZE);
    in->code_offset = boot_image_get32(image + BOOT_IMAGE_OFF_CODE_OFFSET);
    in->load_address = boot_image_get32(image + BOOT_IMAGE_OFF_LOAD_ADDRESS);
    in->exec_address = boot_image_get32(image + BOOT_IMAGE_OFF_EXEC_ADDRESS);
    in->extension_flag = image[BOOT_IMAGE_OFF_EXT_FLAG];
    in->header_sum = image[BOOT_IMAGE_OFF_HEADER_SUM];
    in->header_sum_computed = boot_image_header_sum(image);
    in->code_sum_offset = BOOT_IMAGE_HEADER_SIZE + in->code_size;
    in->expected_size = boot_image_size_for(in->code_size);
  }
  if (size >= BOOT_IMAGE_HEADER_SIZE) {
    in->has_extension = true;
    in->reg_table_offset = boot_image_get32(image + BOOT_IMAGE_OFF_REG_TABLE_OFFSET);
    for (std::size_t i = 0; i < BOOT_IMAGE_REG_TABLE_CAPACITY; i++) {
      const std::uint8_t *pair = image + BOOT_IMAGE_REG_TABLE_OFFSET + 8 * i;
      if (boot_image_get32(pair) == 0 && boot_image_get32(pair + 4) == 0) break;
      in->reg_count++;
    }
    in->extension_sum = image[BOOT_IMAGE_OFF_EXT_SUM];
    in->extension_sum_computed = boot_image_extension_sum(image);
  }
  if (in->has_header && in->code_size <= size && size >= in->expected_size) {
    in->has_code = true;
    in->code_sum = boot_image_get32(image + in->code_sum_offset);
    in->code_sum_computed = boot_image_code_sum(image + BOOT_IMAGE_HEADER_SIZE, in->code_size);
  }

  // Then check, header first, in the order of the bytes.
  if (!in->has_extension)
    return set_why(why, "image is %zu bytes, shorter than the 512-byte header", size);
  if (in->type != BOOT_IMAGE_TYPE)
    return set_why(why, "image type is 0x%02X, expected 0x%02X", in->type, BOOT_IMAGE_TYPE);
  if (in->header_sum != in->header_sum_computed)
    return set_why(why, "header checksum at 0x1F is 0x%02X, computed 0x%02X", in->header_sum,
                   in->header_sum_computed);
  if (in->code_size == 0 || in->code_size % 4 != 0)
    return set_why(why, "code size 0x%X is not a nonzero multiple of 4",
                   static_cast<unsigned>(in->code_size));
  if (in->code_offset != BOOT_IMAGE_CODE_OFFSET)
    return set_why(why, "code offset is 0x%X, expected 0x%X",
                   static_cast<unsigned>(in->code_offset),
                   static_cast<unsigned>(BOOT_IMAGE_CODE_OFFSET));
  if (in->load_address != 0)
    return set_why(why, "load address is 0x%08X, expected 0",
                   static_cast<unsigned>(in->load_address));
  if (in->exec_address != 0)
    return set_why(why, "execution address is 0x%08X, expected 0",
                   static_cast<unsigned>(in->exec_address));
  if (in->extension_flag != 1)
    return set_why(why, "extension flag at 0x1E is 0x%02X, expected 1", in->extension_flag);
  static const std::size_t main_zero[][2] = {{0x01, 0x04}, {0x08, 0x0C}, {0x18, 0x1E}};
  for (const auto &z : main_zero) {
    std::size_t at = first_nonzero(image, z[0], z[1]);
    if (at != z[1])
      return set_why(why, "reserved byte at 0x%02zX is 0x%02X, expected 0", at, image[at]);
  }
  if (in->extension_sum != in->extension_sum_computed)
    return set_why(why, "extension checksum at 0x1FF is 0x%02X, computed 0x%02X", in->extension_sum,
                   in->extension_sum_computed);
  if (in->reg_table_offset != BOOT_IMAGE_REG_TABLE_OFFSET)
    return set_why(why, "register table offset is 0x%X, expected 0x%X",
                   static_cast<unsigned>(in->reg_table_offset),
                   static_cast<unsigned>(BOOT_IMAGE_REG_TABLE_OFFSET));
  for (std::size_t i = 0; i < BOOT_IMAGE_REG_COUNT; i++) {
    const std::size_t off = BOOT_IMAGE_REG_TABLE_OFFSET + 8 * i;
    const std::uint32_t a = boot_image_get32(image + off);
    const std::uint32_t v = boot_image_get32(image + off + 4);
    if (a != BOOT_IMAGE_REGS[i].address || v != BOOT_IMAGE_REGS[i].value)
      return set_why(why, "register pair %zu at 0x%03zX is 0x%08X=0x%08X, expected 0x%08X=0x%08X",
                     i, off, static_cast<unsigned>(a), static_cast<unsigned>(v),
                     static_cast<unsigned>(BOOT_IMAGE_REGS[i].address),
                     static_cast<unsigned>(BOOT_IMAGE_REGS[i].value));
  }
  static const std::size_t ext_zero[][2] = {
      {0x024, 0x040},
      {BOOT_IMAGE_REG_TABLE_OFFSET + 8 * BOOT_IMAGE_REG_COUNT, BOOT_IMAGE_OFF_EXT_SUM}};
  for (const auto &z : ext_zero) {
    std::size_t at = first_nonzero(image, z[0], z[1]);
    if (at != z[1])
      return set_why(why, "reserved byte at 0x%03zX is 0x%02X, expected 0", at, image[at]);
  }
  if (size != in->expected_size)
    return set_why(why, "image is %zu bytes, code size 0x%X gives %zu (0x200 + code + 4)", size,
                   static_cast<unsigned>(in->code_size), in->expected_size);
  if (in->code_sum != in->code_sum_computed)
    return set_why(why, "code checksum at 0x%zX is 0x%08X, computed 0x%08X", in->code_sum_offset,
                   static_cast<unsigned>(in->code_sum),
                   static_cast<unsigned>(in->code_sum_computed));
  return true;
}

bool boot_image_verify(const std::uint8_t *image, std::size_t size, std::string *why) {
  return boot_image_parse(image, size, nullptr, why);
}
