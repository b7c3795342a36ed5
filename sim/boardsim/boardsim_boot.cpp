#include "boardsim_boot.h"

#include <cstdio>

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

[[noreturn]] void stay_silent(pty_link *link) {
  for (;;) {
    pty_wait(link, INT64_MAX);
    while (pty_take(link, pty_now_ns()) >= 0) {
    }
  }
}

}  // namespace

void boardsim_timestamp(const char *what, int64_t ns) {
  fprintf(stderr, "boardsim: %s at %lld.%09lld\n", what, (long long)(ns / 1000000000),
          (long long)(ns % 1000000000));
}

void boardsim_boot(pty_link *link, const boot_rom_config *config, bool timestamps,
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
  }
  const uint8_t *start;
  size_t size;
  char reason[200];
  if (!boot_rom_take_image(rom.image, &start, &size, reason, sizeof reason)) {
    fprintf(stderr, "boardsim: boot image refused: %s\n", reason);
    stay_silent(link);
  }
  code->assign(start, start + size);
}
