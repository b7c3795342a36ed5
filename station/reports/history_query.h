// Every cycle one board went through, oldest first, read from the station's
// database by its serial (the index on serial and start time answers it).
#pragma once

#include <functional>
#include <string>

#include <sqlite3.h>

#include "station/records/board_record.h"

// Hands each cycle of serial, its faults with it, to each as it is read;
// false with the reason on a database error. count says how many there were.
bool history_cycles(sqlite3 *db, const std::string &serial,
                    const std::function<void(const board_record &)> &each, long long *count,
                    std::string *why);
