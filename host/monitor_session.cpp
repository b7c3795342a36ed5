#include "monitor_session.h"

#include "korvane/board_map.h"
#include "korvane/console_texts.h"
#include "log_file.h"
#include "serial_link.h"

#include <cstdio>

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
  return serial_read_byte(NO_TIMEOUT) == MONITOR_PASSED_FIGURE;
}

// A continuous run never reaches its end, where a failed write to the log
// or to standard output is otherwise reported; it stops at the first one
// instead of running on for ever with its results reaching nobody.
static bool output_lost(const run_options *opts) {
  return opts->continuous && (log_file_failed() || std::ferror(stdout));
}

// False when the run must stop.
static bool run_test(const char *title, unsigned char command, const run_options *opts) {
  tee_printf("%s%c", title, opts->verbose ? '\n' : ' ');
  if (output_lost(opts)) return false;
  tee_printf("%s\n", run_monitor_command(command) ? VERDICT_PASSED : VERDICT_FAILED);
  return !output_lost(opts);
}

void run_test_phase(const run_options *opts) {
  if (opts->verbose) run_monitor_command(COMMAND_VERBOSE);
  if (opts->continuous) run_monitor_command(COMMAND_SLOW_OUTPUT);
  do {
    if (opts->run_sdram_test && !run_test(SDRAM_TEST_TITLE, COMMAND_SDRAM_TEST, opts)) return;
    if (opts->run_flash_test && !run_test(FLASH_TEST_TITLE, COMMAND_NAND_TEST, opts)) return;
  } while (opts->continuous);
}
