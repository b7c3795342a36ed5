#include "wakeup.h"

#include "korvane/board_map.h"
#include "serial_link.h"

static const unsigned WAKEUP_ANSWER_MS = 50;

void send_wakeup_pattern(void) {
  for (unsigned char byte : WAKEUP_PATTERN) serial_write_byte(byte);
}

void wait_for_wakeup(void) {
  do send_wakeup_pattern();
  while (serial_read_byte(WAKEUP_ANSWER_MS) != XMODEM_NAK);
}
