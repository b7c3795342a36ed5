#include "boardsim_boot.h"

#include <string>

#include "boot_rom_image.h"
#include "korvane/why.h"

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

boardsim_boot_end boardsim_boot(pty_link *link, const boot_rom_config *config,
                                void (*timestamp)(const char *what, int64_t ns), board_swap *swap,
                                std::vector<uint8_t> *code, std::string *why) {
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
      if (timestamp && before == boot_rom_state::waking && rom.state != before) {
        timestamp("wake-up answered", sent);
      }
      if (timestamp && rom.state == boot_rom_state::done) timestamp("download acknowledged", sent);
    }
    if (rom.state == boot_rom_state::done) break;
    boot_rom_tick(&rom, (pty_now_ns() - reset) / 1000000, &out);
    send_all(link, &out);
    boot_rom_ms due = boot_rom_deadline(&rom);
    pty_wait(link, due == BOOT_ROM_NEVER ? INT64_MAX : reset + due * 1000000);
    if (swap->watch && board_swap_signalled(swap)) return boardsim_boot_end::swapped;
  }
  const uint8_t *start = nullptr;
  size_t size = 0;
  std::string reason;
  switch (boot_rom_take_image(rom.image, &start, &size, &reason)) {
    case boot_rom_image_result::good:
      break;
    case boot_rom_image_result::bad_image:
      set_why(why, "boot image refused: %s", reason.c_str());
      return boardsim_boot_end::refused;
    case boot_rom_image_result::sdram_not_set:
      set_why(why, "boot failed: %s", reason.c_str());
      return boardsim_boot_end::refused;
  }
  code->assign(start, start + size);
  return boardsim_boot_end::started;
}
