// Every cycle one board went through, oldest first, read by its serial (the
// index on serial and start time answers it) from a station's database or
// the line's, on either engine.
#pragma once

#include <functional>
#include <string>

#include "station/records/board_record.h"
#include "station/reports/report_db.h"

// Hands each cycle of serial, its faults with it, to each as it is read;
// false with the reason on a database error. count says how many there were.
bool history_cycles(const report_db &db, const std::string &serial,
                    const std::function<void(const board_record &)> &each, long long *count,
                    std::string *why);
