// Every cycle one board went through, oldest first, read from the station's
// database by its serial (the index on serial and start time answers it).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <sqlite3.h>

struct history_cycle {
  long long id = 0;
  std::string serial, slot, port, station, operator_name, started, ended, outcome;
  double seconds = 0;
  long long sdram_passes = 0, sdram_failed = 0, flash_passes = 0, flash_failed = 0;
  std::string message, log, diagnosis_json;
  std::vector<std::string> faults;  // words, as the diagnosis gave them
};

// Hands each cycle of serial to each as it is read; false with the reason
// on a database error. count says how many there were.
bool history_cycles(sqlite3 *db, const std::string &serial,
                    const std::function<void(const history_cycle &)> &each, long long *count,
                    std::string *why);
