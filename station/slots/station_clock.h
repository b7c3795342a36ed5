// The station's two clocks: a steady one for durations and waits, and UTC
// for the records (ISO 8601 with a Z) and the logs' names.
#pragma once

#include <ctime>
#include <string>

// Seconds on a steady clock, for durations.
double steady_now(void);

// "2026-12-09T11:22:12Z"
std::string utc_text(std::time_t t);
// "20261209T112212Z", for file names.
std::string utc_compact(std::time_t t);
