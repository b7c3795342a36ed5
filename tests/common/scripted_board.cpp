#include "scripted_board.h"

#include "boot_image.h"
#include "boot_rom.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

const int QUIET_MS = 5000;

int read_byte(int fd, int timeout_ms) {
  struct pollfd p = {fd, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) != 1 || !(p.revents & POLLIN)) return -1;
  unsigned char byte;
  return read(fd, &byte, 1) == 1 ? byte : -1;
}

void send(int fd, const std::string &bytes) {
  ssize_t n = write(fd, bytes.data(), bytes.size());
  (void)n;
}

// The simulated boot ROM on the line, on the steady clock, until it has
// taken an image. Returns false when the board should hang up or korvane
// has gone.
bool boot(int fd, int *held_slave, board_script *s) {
  boot_rom_config config;
  config.cancel_block = s->cancel_download ? 1 : 0;
  boot_rom rom;
  boot_rom_init(&rom, &config);
  const double start = steady_seconds();
  auto now = [start] { return (boot_rom_ms)((steady_seconds() - start) * 1000); };
  boot_rom_ms heard = 0;
  int seen = 0;
  while (rom.state != boot_rom_state::done) {
    boot_rom_ms wait = std::min<boot_rom_ms>(boot_rom_deadline(&rom), heard + QUIET_MS) - now();
    int b = read_byte(fd, (int)std::max<boot_rom_ms>(wait, 0));
    if (*held_slave >= 0) {
      close(*held_slave);
      *held_slave = -1;
      if (s->on_first_byte) s->on_first_byte();
    }
    std::vector<uint8_t> out;
    if (b < 0) {
      if (now() - heard >= QUIET_MS) return false;
      boot_rom_tick(&rom, now(), &out);
    } else {
      heard = now();
      if (s->hang_up == HANG_UP_IN_WAKEUP && ++seen == 3) return false;
      // In the middle of the third block.
      if (s->hang_up == HANG_UP_IN_DOWNLOAD && rom.blocks_taken == 2 && rom.block_len == 61)
        return false;
      boot_rom_receive(&rom, (uint8_t)b, heard, &out);
    }
    send(fd, std::string(out.begin(), out.end()));
    if (!out.empty() && out[0] == BOOT_ROM_CAN) {
      // korvane answers with one ACK and drains; stay quiet till it has gone.
      while (read_byte(fd, QUIET_MS) >= 0) {
      }
      return false;
    }
  }
  s->image_matches = rom.image.size() >= BOOT_IMAGE_SIZE &&
                     std::memcmp(rom.image.data(), boot_image, BOOT_IMAGE_SIZE) == 0;
  return true;
}

void monitor(int fd, board_script *s) {
  send(fd, monitor_greeting(s->monitor));
  std::string reply;
  for (int command; (command = read_byte(fd, QUIET_MS)) >= 0;) {
    if (!monitor_reply(&s->monitor, (char)command, &reply)) return;
    send(fd, reply);
  }
}

}  // namespace

void play_board(int master, int held_slave, board_script *s) {
  if (boot(master, &held_slave, s)) monitor(master, s);
  if (held_slave >= 0) close(held_slave);
  close(master);
  s->hung_up_at = steady_seconds();
}
