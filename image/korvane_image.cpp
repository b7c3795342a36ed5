// korvane-image: packs a boot image from the monitor's raw code and verifies
// a stored image.
//
//   korvane-image pack CODE.bin IMAGE.bin
//   korvane-image verify IMAGE.bin
//
// Exit status 0 on success, 1 on any error, with one line on stderr.
#include "boot_image_format.h"
#include "korvane/whole_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

// Far beyond any image; keeps a wrong argument (a disk image, a device) from
// being read whole.
static const std::size_t MAX_INPUT = 1u << 20;

// Reads the whole file into data. False after printing why.
static bool read_file(const char *path, std::vector<std::uint8_t> &data) {
  std::FILE *f = std::fopen(path, "rb");
  if (!f) {
    std::fprintf(stderr, "korvane-image: cannot open %s: %s\n", path, std::strerror(errno));
    return false;
  }
  data.clear();
  std::uint8_t buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    data.insert(data.end(), buf, buf + n);
    if (data.size() > MAX_INPUT) {
      std::fclose(f);
      std::fprintf(stderr, "korvane-image: %s is larger than %zu bytes\n", path, MAX_INPUT);
      return false;
    }
  }
  int err = std::ferror(f) ? errno : 0;
  std::fclose(f);
  if (err) {
    std::fprintf(stderr, "korvane-image: cannot read %s: %s\n", path, std::strerror(err));
    return false;
  }
  if (data.empty()) {
    std::fprintf(stderr, "korvane-image: %s is empty\n", path);
    return false;
  }
  return true;
}

// Writes data to path whole (korvane/whole_file.h): path is either the
// complete new image or left as it was.
static bool write_file(const char *path, const std::vector<std::uint8_t> &data) {
  std::string reason;
  whole_file_step step;
  if (write_whole_file(path, data.data(), data.size(), &reason, &step)) return true;
  std::fprintf(stderr, "korvane-image: cannot %s %s: %s\n",
               step == whole_file_step::create ? "create" : "write", path, reason.c_str());
  return false;
}

static int pack(const char *code_path, const char *image_path) {
  std::vector<std::uint8_t> code;
  if (!read_file(code_path, code)) return 1;
  if (!boot_image_code_fits(code.size())) {
    std::fprintf(stderr,
                 "korvane-image: %s: code of %zu bytes is too large for the monitor's 2 KiB "
                 "(at most %zu bytes, to leave %zu bytes of stack after the flag words)\n",
                 code_path, boot_image_padded_code_size(code.size()), BOOT_IMAGE_MAX_CODE_SIZE,
                 static_cast<std::size_t>(MONITOR_STACK_BUDGET));
    return 1;
  }
  std::vector<std::uint8_t> image = boot_image_pack(code.data(), code.size());
  boot_image_info info;
  std::string reason;
  if (!boot_image_parse(image.data(), image.size(), &info, &reason)) {
    std::fprintf(stderr, "korvane-image: internal error, packed image is bad: %s\n",
                 reason.c_str());
    return 1;
  }
  if (!write_file(image_path, image)) return 1;
  std::printf(
      "korvane-image: packed %s: code 0x%X bytes, image %zu bytes, sums 0x%02X 0x%02X "
      "0x%08X\n",
      image_path, static_cast<unsigned>(info.code_size), info.image_size, info.header_sum,
      info.extension_sum, static_cast<unsigned>(info.code_sum));
  return 0;
}

// Prints a stored sum, and the computed one when they differ.
static void print_sum(const char *name, unsigned stored, unsigned computed, int width) {
  std::printf("%-16s0x%0*X", name, width, stored);
  if (stored != computed) std::printf(" (computed 0x%0*X)", width, computed);
  std::printf("\n");
}

static int verify(const char *image_path) {
  std::vector<std::uint8_t> image;
  if (!read_file(image_path, image)) return 1;
  boot_image_info in;
  std::string reason;
  bool ok = boot_image_parse(image.data(), image.size(), &in, &reason);

  std::printf("%-16s%s, %zu bytes\n", "image", image_path, in.image_size);
  if (in.has_header) {
    std::printf("%-16s0x%02X\n", "type", in.type);
    std::printf("%-16s0x%X (%u bytes)\n", "code size", static_cast<unsigned>(in.code_size),
                static_cast<unsigned>(in.code_size));
    std::printf("%-16s0x%X\n", "code offset", static_cast<unsigned>(in.code_offset));
    std::printf("%-16s0x%08X\n", "load address", static_cast<unsigned>(in.load_address));
    std::printf("%-16s0x%08X\n", "exec address", static_cast<unsigned>(in.exec_address));
    std::printf("%-16s%u\n", "extension flag", in.extension_flag);
    print_sum("header sum", in.header_sum, in.header_sum_computed, 2);
  }
  if (in.has_extension) {
    std::printf("%-16sat 0x%X, %zu pairs\n", "register table",
                static_cast<unsigned>(in.reg_table_offset), in.reg_count);
    print_sum("extension sum", in.extension_sum, in.extension_sum_computed, 2);
  }
  if (in.has_code) print_sum("code sum", in.code_sum, in.code_sum_computed, 8);

  if (!ok) {
    std::fprintf(stderr, "korvane-image: %s: %s\n", image_path, reason.c_str());
    return 1;
  }
  if (!boot_image_code_fits(in.code_size)) {
    std::fprintf(stderr,
                 "korvane-image: %s: code of %u bytes is too large for the monitor's 2 KiB "
                 "(at most %zu bytes)\n",
                 image_path, static_cast<unsigned>(in.code_size), BOOT_IMAGE_MAX_CODE_SIZE);
    return 1;
  }
  std::printf("%-16sOK\n", "verify");
  return 0;
}

// The command line is one of these, word for word; the usage line is made
// from them.
struct command {
  const char *name;
  const char *arguments;  // their names, one word each, for the usage line
  int (*run)(char **arguments);
};

static const command COMMANDS[] = {
    {"pack", "CODE.bin IMAGE.bin", [](char **a) { return pack(a[0], a[1]); }},
    {"verify", "IMAGE.bin", [](char **a) { return verify(a[0]); }},
    {"--version", "",
     [](char **) {
       std::printf("korvane-image %s\n", KORVANE_VERSION);
       return 0;
     }},
};

// How many arguments a command takes: the words of their names.
static int words(const char *text) {
  int count = 0;
  bool in_word = false;
  for (const char *c = text; *c; c++) {
    if (*c != ' ' && !in_word) count++;
    in_word = *c != ' ';
  }
  return count;
}

int main(int argc, char **argv) {
  for (const command &c : COMMANDS) {
    if (argc == 2 + words(c.arguments) && std::strcmp(argv[1], c.name) == 0) return c.run(argv + 2);
  }
  std::string usage = "usage: korvane-image";
  for (const command &c : COMMANDS) {
    usage += std::string(&c == COMMANDS ? " " : " | ") + c.name + (*c.arguments ? " " : "") +
             c.arguments;
  }
  std::fprintf(stderr, "%s\n", usage.c_str());
  return 1;
}
