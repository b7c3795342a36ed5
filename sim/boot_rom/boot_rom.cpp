#include "boot_rom.h"

// The ROM's own copy of the wake-up pattern, kept on purpose: it checks the host's.
const uint8_t BOOT_ROM_WAKEUP[BOOT_ROM_WAKEUP_SIZE] = {0xBB, 0x11, 0x22, 0x33,
                                                       0x44, 0x55, 0x66, 0x77};

namespace {

// The sender waits 2 s for the first handshake byte; asking every second
// means a request lost to a line still being opened is repeated in time.
constexpr boot_rom_ms HANDSHAKE_INTERVAL_MS = 1000;
// A block that stops half-way is given up after this much silence, so that
// the sender's retry starts on a clean block boundary.
constexpr boot_rom_ms BLOCK_SILENCE_MS = 1000;

size_t block_size(const boot_rom *rom) {
  return 3 + BOOT_ROM_BLOCK_DATA + (rom->config.checksum_mode ? 1 : 2);
}

void restart_waking(boot_rom *rom) {
  rom->state = boot_rom_state::waking;
  rom->pattern_pos = 0;
  rom->next_request = BOOT_ROM_NEVER;
  rom->can_seen = false;
  rom->block_len = 0;
  rom->blocks_taken = 0;
  rom->tries_of_next = 0;
  rom->image.clear();
}

void send_request(boot_rom *rom, boot_rom_ms now, std::vector<uint8_t> *out) {
  out->push_back(rom->config.checksum_mode ? BOOT_ROM_NAK : BOOT_ROM_CRC_REQUEST);
  rom->next_request = now + HANDSHAKE_INTERVAL_MS;
}

void cancel(boot_rom *rom, std::vector<uint8_t> *out) {
  out->push_back(BOOT_ROM_CAN);
  out->push_back(BOOT_ROM_CAN);
  restart_waking(rom);
}

// Only a pattern that arrives whole and in order wakes the ROM. On a
// mismatch the byte may itself begin a new pattern (0xBB occurs only first).
void receive_waking(boot_rom *rom, uint8_t byte, boot_rom_ms now, std::vector<uint8_t> *out) {
  if (now < rom->config.boot_delay_ms) {
    rom->pattern_pos = 0;
    return;
  }
  if (byte == BOOT_ROM_WAKEUP[rom->pattern_pos]) {
    rom->pattern_pos++;
  } else {
    rom->pattern_pos = byte == BOOT_ROM_WAKEUP[0] ? 1 : 0;
  }
  if (rom->pattern_pos < BOOT_ROM_WAKEUP_SIZE) return;
  rom->pattern_pos = 0;
  out->push_back(BOOT_ROM_NAK);
  rom->state = boot_rom_state::handshake;
  if (rom->config.no_handshake) return;
  send_request(rom, now, out);
}

bool check_is_good(const boot_rom *rom) {
  const uint8_t *data = rom->block + 3;
  if (rom->config.checksum_mode) {
    uint8_t sum = 0;
    for (size_t i = 0; i < BOOT_ROM_BLOCK_DATA; i++) sum = uint8_t(sum + data[i]);
    return sum == data[BOOT_ROM_BLOCK_DATA];
  }
  uint16_t crc = boot_rom_crc16(data, BOOT_ROM_BLOCK_DATA);
  return data[BOOT_ROM_BLOCK_DATA] == (crc >> 8) && data[BOOT_ROM_BLOCK_DATA + 1] == (crc & 0xFF);
}

void finish_block(boot_rom *rom, std::vector<uint8_t> *out) {
  rom->block_len = 0;
  uint8_t number = rom->block[1];
  if (rom->block[2] != uint8_t(0xFF - number) || !check_is_good(rom)) {
    out->push_back(BOOT_ROM_NAK);
    return;
  }
  // The sender missed our ACK and sent the block again: take it once only.
  if (rom->blocks_taken > 0 && number == uint8_t(rom->blocks_taken)) {
    out->push_back(BOOT_ROM_ACK);
    return;
  }
  if (number != uint8_t(rom->blocks_taken + 1)) {
    out->push_back(BOOT_ROM_NAK);
    return;
  }
  int index = rom->blocks_taken + 1;
  rom->tries_of_next++;
  if (index == rom->config.cancel_block ||
      rom->image.size() + BOOT_ROM_BLOCK_DATA > BOOT_ROM_MAX_IMAGE) {
    cancel(rom, out);
    return;
  }
  if (index == rom->config.nak_block && rom->tries_of_next <= rom->config.nak_count) {
    out->push_back(BOOT_ROM_NAK);
    return;
  }
  rom->image.insert(rom->image.end(), rom->block + 3, rom->block + 3 + BOOT_ROM_BLOCK_DATA);
  rom->blocks_taken++;
  rom->tries_of_next = 0;
  out->push_back(BOOT_ROM_ACK);
}

void receive_transfer(boot_rom *rom, uint8_t byte, boot_rom_ms now, std::vector<uint8_t> *out) {
  if (rom->block_len > 0) {
    rom->block[rom->block_len++] = byte;
    rom->last_byte = now;
    if (rom->block_len == block_size(rom)) finish_block(rom, out);
    return;
  }
  bool second_can = rom->can_seen && byte == BOOT_ROM_CAN;
  rom->can_seen = byte == BOOT_ROM_CAN;
  if (second_can) {
    restart_waking(rom);
  } else if (byte == BOOT_ROM_SOH) {
    rom->state = boot_rom_state::receiving;
    rom->next_request = BOOT_ROM_NEVER;
    rom->block[0] = byte;
    rom->block_len = 1;
    rom->last_byte = now;
  } else if (byte == BOOT_ROM_EOT && rom->state == boot_rom_state::receiving) {
    out->push_back(BOOT_ROM_ACK);
    rom->state = boot_rom_state::done;
  }
  // Anything else between blocks (a late wake-up pattern, line noise) is
  // not the start of a block and is dropped.
}

}  // namespace

uint16_t boot_rom_crc16(const uint8_t *data, size_t size) {
  uint16_t crc = 0;
  for (size_t i = 0; i < size; i++) {
    crc = uint16_t(crc ^ (data[i] << 8));
    for (int bit = 0; bit < 8; bit++) {
      crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
  }
  return crc;
}

void boot_rom_init(boot_rom *rom, const boot_rom_config *config) {
  rom->config = *config;
  restart_waking(rom);
}

void boot_rom_receive(boot_rom *rom, uint8_t byte, boot_rom_ms now, std::vector<uint8_t> *out) {
  boot_rom_tick(rom, now, out);
  switch (rom->state) {
    case boot_rom_state::waking:
      receive_waking(rom, byte, now, out);
      break;
    case boot_rom_state::handshake:
    case boot_rom_state::receiving:
      receive_transfer(rom, byte, now, out);
      break;
    case boot_rom_state::done:
      break;
  }
}

void boot_rom_tick(boot_rom *rom, boot_rom_ms now, std::vector<uint8_t> *out) {
  if (rom->state == boot_rom_state::handshake && now >= rom->next_request) {
    send_request(rom, now, out);
  }
  if (rom->state == boot_rom_state::receiving && rom->block_len > 0 &&
      now - rom->last_byte >= BLOCK_SILENCE_MS) {
    rom->block_len = 0;
    out->push_back(BOOT_ROM_NAK);
  }
}

boot_rom_ms boot_rom_deadline(const boot_rom *rom) {
  if (rom->state == boot_rom_state::handshake) return rom->next_request;
  if (rom->state == boot_rom_state::receiving && rom->block_len > 0) {
    return rom->last_byte + BLOCK_SILENCE_MS;
  }
  return BOOT_ROM_NEVER;
}
