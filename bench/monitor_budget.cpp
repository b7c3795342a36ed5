// Prints the boot monitor's two budget figures: its code size (from the
// packed image's header) and its deepest stack use, measured on the emulated
// board as the lowest stack address touched over a verbose run of both tests
// and every command.
//
//   monitor_budget IMAGE
#include <cstdint>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "board.h"
#include "korvane/board_map.h"

namespace {

// The reference build's code size, printed for comparison.
constexpr uint32_t REFERENCE_CODE = 1924;

struct line {
  board *b = nullptr;
  std::deque<uint8_t> rx;
};

int peek(void *ctx) {
  auto &q = static_cast<line *>(ctx)->rx;
  return q.empty() ? -1 : q.front();
}
int take(void *ctx) {
  auto &q = static_cast<line *>(ctx)->rx;
  if (q.empty()) return -1;
  int byte = q.front();
  q.pop_front();
  return byte;
}
void sent(void *, uint8_t) {}
void idle(void *ctx) {
  auto *l = static_cast<line *>(ctx);
  if (l->rx.empty()) board_request_stop(l->b);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: monitor_budget IMAGE\n");
    return 1;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
  if (image.size() < 0x200) {
    std::fprintf(stderr, "monitor_budget: cannot read the image %s\n", argv[1]);
    return 1;
  }
  uint32_t code_size = image[4] | image[5] << 8 | image[6] << 16 | image[7] << 24;
  if (image.size() < 0x200 + code_size) {
    std::fprintf(stderr, "monitor_budget: %s is shorter than its header says\n", argv[1]);
    return 1;
  }

  line l;
  board_config config;
  uart_backend backend{peek, take, sent, idle, &l};
  l.b = board_create(&config, &backend);
  if (l.b == nullptr || !board_load(l.b, image.data() + 0x200, code_size)) return 1;
  // The stack's region: from the first word after the two flag words.
  board_watch_ram(l.b, MONITOR_RUN_ADDRESS + code_size + MONITOR_FLAG_WORDS_SIZE,
                  MONITOR_STACK_TOP);
  // Verbose first, so that the tests trace; slow output last, for the NAND
  // test only, since its pause costs 200000 counts per line end.
  for (const char *command : {"", "v", "1", "2", "x", "\r", "s", "2"}) {
    l.rx.insert(l.rx.end(), command, command + std::string(command).size());
    if (board_run(l.b, 100'000'000) != 0 || !l.rx.empty()) {
      std::fprintf(stderr, "monitor_budget: the monitor did not answer\n");
      return 1;
    }
  }
  uint32_t lowest = board_lowest_watched(l.b);
  board_destroy(l.b);
  uint32_t stack = lowest == NO_ACCESS ? 0 : MONITOR_STACK_TOP - lowest;
  uint32_t blocks = (0x200 + code_size + 4 + 127) / 128;

  std::printf("monitor code:  %5u bytes   budget %5u   (reference %u)   %s\n", code_size,
              MONITOR_CODE_BUDGET, REFERENCE_CODE,
              code_size <= MONITOR_CODE_BUDGET ? "within" : "OVER");
  std::printf("monitor stack: %5u bytes   budget %5u                      %s\n", stack,
              MONITOR_STACK_BUDGET, stack <= MONITOR_STACK_BUDGET ? "within" : "OVER");
  std::printf("boot image:    %5u blocks  budget %5u                      %s\n", blocks,
              MONITOR_IMAGE_BLOCKS, blocks <= MONITOR_IMAGE_BLOCKS ? "within" : "OVER");
  return 0;
}
