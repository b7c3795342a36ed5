// Prints the boot monitor's two budget figures: its code size (from the
// packed image's header) and its deepest stack use, measured on the emulated
// board as the lowest stack address touched over a verbose run of both tests
// and every command.
//
//   monitor_budget IMAGE
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "boot_image_format.h"
#include "korvane/board_map.h"
#include "uart_queue.h"

// The reference build's code size, printed for comparison.
constexpr uint32_t REFERENCE_CODE = 1924;

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: monitor_budget IMAGE\n");
    return 1;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
  boot_image_info info;
  std::string reason;
  if (!boot_image_parse(image.data(), image.size(), &info, &reason)) {
    std::fprintf(stderr, "monitor_budget: %s: %s\n", argv[1], reason.c_str());
    return 1;
  }
  const uint32_t code_size = info.code_size;

  uart_queue line;
  board_config config;
  uart_backend backend = uart_queue_backend(&line);
  line.b = board_create(&config, &backend);
  if (line.b == nullptr || !board_load(line.b, image.data() + info.code_offset, code_size))
    return 1;
  // The stack's region: from the first word after the two flag words.
  board_watch_ram(line.b, MONITOR_RUN_ADDRESS + code_size + MONITOR_FLAG_WORDS_SIZE,
                  MONITOR_STACK_TOP);
  // Verbose first, so that the tests trace; slow output last, for the NAND
  // test only, since its pause costs 200000 counts per line end.
  for (const char *command : {"", "v", "1", "2", "x", "\r", "s", "2"}) {
    if (!uart_queue_exchange(&line, command, 100'000'000)) {
      std::fprintf(stderr, "monitor_budget: the monitor did not answer\n");
      return 1;
    }
  }
  uint32_t lowest = board_lowest_watched(line.b);
  board_destroy(line.b);
  uint32_t stack = lowest == NO_ACCESS ? 0 : MONITOR_STACK_TOP - lowest;
  uint32_t blocks = uint32_t(boot_image_size_for(code_size) + 127) / 128;

  std::printf("monitor code:  %5u bytes   budget %5u   (reference %u)   %s\n", code_size,
              MONITOR_CODE_BUDGET, REFERENCE_CODE,
              code_size <= MONITOR_CODE_BUDGET ? "within" : "OVER");
  std::printf("monitor stack: %5u bytes   budget %5u                      %s\n", stack,
              MONITOR_STACK_BUDGET, stack <= MONITOR_STACK_BUDGET ? "within" : "OVER");
  std::printf("boot image:    %5u blocks  budget %5u                      %s\n", blocks,
              MONITOR_IMAGE_BLOCKS, blocks <= MONITOR_IMAGE_BLOCKS ? "within" : "OVER");
  return 0;
}
