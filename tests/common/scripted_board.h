// A small board played by a test on the master side of a pseudo-terminal:
// the simulated boot ROM takes the wake-up and an image in CRC mode, then
// the board plays a monitor_script. It can hang up in any phase, as a board
// that is unplugged or switched off would (in the test phase when the
// monitor's limit is reached), and calls a hook once korvane is on the line.
#pragma once

#include "child_process.h"
#include "monitor_script.h"

#include <functional>
#include <string>
#include <vector>

enum board_phase {
  HANG_UP_IN_TESTS,     // once the monitor reaches its limit; never without one
  HANG_UP_IN_WAKEUP,    // inside the first wake-up pattern
  HANG_UP_IN_DOWNLOAD,  // in the middle of the third block
};

struct board_script {
  board_phase hang_up = HANG_UP_IN_TESTS;
  bool cancel_download = false;  // answer the first block with CAN CAN
  monitor_script monitor;
  // Called once, at the first byte from korvane.
  std::function<void()> on_first_byte;
  // Filled by the board.
  bool image_matches = false;
  double hung_up_at = 0;  // steady-clock seconds, 0 while on the line
};

// Plays the board on master until korvane stops talking or the script hangs
// up; then closes master. held_slave, closed at the first byte, keeps the
// line open until korvane has opened it.
void play_board(int master, int held_slave, board_script *script);
