// The checks the monitor makes on a NAND chip after its reset: the four ID
// bytes and the final status, as one table, so that the result the monitor
// gives and the words that explain it come from the same rules. The monitor
// keeps its own copy of these values on purpose (monitor/nand_id.cpp): it is
// built apart, for the board, and this copy checks it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "korvane/board_map.h"

struct flash_reading {
  uint8_t id[4] = {0, 0, 0, 0};  // maker, device, third and fourth ID bytes
  uint8_t status = 0;            // the final status
};

// The final status of a chip whose status was loaded without its Read
// Status command before it: the data port then gives no status at all, and
// the reading says nothing of whether the chip was ready. A chip that never
// became ready ignores Read ID, so each of the five loads gives its status:
// a status of 0x00 with four ID bytes of 0x00 is that chip, busy.
constexpr uint8_t FLASH_STATUS_MISREAD = 0x00;

struct flash_failure {
  int result;         // the monitor's result when this is the last check failed
  const char *name;   // the check's name: "maker", "device", "third_id_byte",
                      // "fourth_id_byte", "status" or "status_misread"
  std::string words;  // what is wrong, e.g. "device 0x00 is not 0xf1"
};

// Every check the reading fails, in the monitor's order. A chip that never
// became ready is not checked further: the list is empty.
std::vector<flash_failure> flash_failures(const flash_reading &r);

// The verdict the monitor gives for a reading: 0 passed, 1 to 5 the last
// check that failed, NAND_RESULT_NEVER_READY.
int flash_result(const flash_reading &r);

// True when the status shows the chip ready, or was misread and so shows
// nothing of it (not when the ID bytes repeat a status of 0x00).
bool flash_ready(const flash_reading &r);
