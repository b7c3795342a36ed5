#include "board_swap.h"

#include <climits>

#include "boot_rom.h"

namespace {

// How long the beginning of a pattern is kept from the code beyond the
// line's time for the rest: a host sends the pattern in one write, so the
// rest is late only when the bytes are no pattern at all.
constexpr int64_t PATTERN_SLACK_NS = 100 * 1000000LL;

}  // namespace

wakeup_seen board_swap_look(pty_link *link, int64_t now) {
  pty_pump(link);
  size_t n = link->rx.size() < BOOT_ROM_WAKEUP_SIZE ? link->rx.size() : BOOT_ROM_WAKEUP_SIZE;
  if (n == 0) return wakeup_seen::none;
  for (size_t i = 0; i < n; i++) {
    if (link->rx[i].byte != BOOT_ROM_WAKEUP[i]) return wakeup_seen::none;
  }
  if (n == BOOT_ROM_WAKEUP_SIZE && link->rx[n - 1].arrival_ns <= now) return wakeup_seen::whole;
  int64_t rest_ns = int64_t(BOOT_ROM_WAKEUP_SIZE) * link->byte_ns;
  if (now - link->rx.front().arrival_ns > rest_ns + PATTERN_SLACK_NS) return wakeup_seen::none;
  return wakeup_seen::beginning;
}

bool board_swap_signalled(const board_swap *swap) {
  return swap->signalled != nullptr && *swap->signalled != 0;
}

void board_swap_wait_silent(pty_link *link, board_swap *swap) {
  swap->pattern_pos = 0;
  for (;;) {
    if (swap->watch && board_swap_signalled(swap)) return;
    pty_wait(link, INT64_MAX);
    int byte;
    while ((byte = pty_take(link, pty_now_ns())) >= 0) {
      if (!swap->watch) continue;
      if (byte == BOOT_ROM_WAKEUP[swap->pattern_pos]) {
        swap->pattern_pos++;
      } else {
        swap->pattern_pos = byte == BOOT_ROM_WAKEUP[0] ? 1 : 0;
      }
      if (swap->pattern_pos == BOOT_ROM_WAKEUP_SIZE) return;
    }
  }
}
