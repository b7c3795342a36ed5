#include "monitor_protocol.h"

#include "korvane/board_map.h"
#include "log_file.h"
#include "serial_link.h"

static const unsigned NO_TIMEOUT = 0;

void wait_for_byte(unsigned char byte) {
  while (serial_read_byte(NO_TIMEOUT) != byte) {
  }
}

bool run_monitor_command(unsigned char command) {
  wait_for_byte(MONITOR_PROMPT);
  serial_write_byte(command);
  for (;;) {
    int byte = serial_read_byte(NO_TIMEOUT);
    if (byte == MONITOR_RESULT_MARK) break;
    tee_printf("%c", byte);
  }
  // Only the first figure decides; the rest of a longer result is dropped
  // by the next wait for the prompt.
  return serial_read_byte(NO_TIMEOUT) == '0';
}
