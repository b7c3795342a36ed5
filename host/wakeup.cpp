#include "wakeup.h"

#include "serial_link.h"

static const unsigned char WAKEUP_PATTERN[8] = {0xBB, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};

static const int NAK = 0x15;
static const unsigned WAKEUP_ANSWER_MS = 50;

void send_wakeup_pattern(void) {
  for (unsigned char byte : WAKEUP_PATTERN) serial_write_byte(byte);
}

void wait_for_wakeup(void) {
  do send_wakeup_pattern();
  while (serial_read_byte(WAKEUP_ANSWER_MS) != NAK);
}
