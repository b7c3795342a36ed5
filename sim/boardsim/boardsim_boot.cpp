#include "boardsim_boot.h"

#include <cstdio>
#include <string>

#include "boot_rom_image.h"

namespace {

int64_t send_all(pty_link *link, std::vector<uint8_t> *out) {
  int64_t first = 0;
  for (size_t i = 0; i < out->size(); i++) {
    int64_t t = pty_send(link, (*out)[i]);
    if (i == 0) first = t;
  }
  out->clear();
  return first;
}

}  // namespace

void boardsim_timestamp(const char *what, int64_t ns) {
  fprintf(stderr, "boardsim: %s at %lld.%09lld\n", what, (long long)(ns / 1000000000),
          (long long)(ns % 1000000000));
}

bool boardsim_boot(pty_link *link, const boot_rom_config *config, bool timestamps, board_swap *swap,
                   std::vector<uint8_t> *code) {
  const int64_t reset = pty_now_ns();
  boot_rom rom;
  boot_rom_init(&rom, config);
  std::vector<uint8_t> out;
  for (;;) {
    int64_t now = pty_now_ns();
    int byte;
    while (rom.state != boot_rom_state::done && (byte = pty_take(link, now)) >= 0) {
      boot_rom_state before = rom.state;
      boot_rom_receive(&rom, uint8_t(byte), (now - reset) / 1000000, &out);
      int64_t sent = send_all(link, &out);
      if (timestamps && before == boot_rom_state::waking && rom.state != before) {
        boardsim_timestamp("wake-up answered", sent);
      }
      if (timestamps && rom.state == boot_rom_state::done) {
        boardsim_timestamp("download acknowledged", sent);
      }
    }
    if (rom.state == boot_rom_state::done) break;
    boot_rom_tick(&rom, (pty_now_ns() - reset) / 1000000, &out);
    send_all(link, &out);
    boot_rom_ms due = boot_rom_deadline(&rom);
    pty_wait(link, due == BOOT_ROM_NEVER ? INT64_MAX : reset + due * 1000000);
    if (swap->watch && board_swap_signalled(swap)) return false;
  }
  const uint8_t *start = nullptr;
  size_t size = 0;
  std::string why;
  switch (boot_rom_take_image(rom.image, &start, &size, &why)) {
    case boot_rom_image_result::good:
      break;
    case boot_rom_image_result::bad_image:
      fprintf(stderr, "boardsim: boot image refused: %s\n", why.c_str());
      board_swap_wait_silent(link, swap);
      return false;
    case boot_rom_image_result::sdram_not_set:
      fprintf(stderr, "boardsim: boot failed: %s\n", why.c_str());
      board_swap_wait_silent(link, swap);
      return false;
  }
  code->assign(start, start + size);
  return true;
}
