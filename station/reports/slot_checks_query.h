// The slots to check, gathered from the station's database over the
// report's range: each slot's tally (from the report's counts per slot), the
// serials that failed on it and passed later on another slot, and the fault
// its failures name most.
#pragma once

#include <string>
#include <vector>

#include <sqlite3.h>

#include "station/reports/report_query.h"
#include "station/reports/slot_checks.h"

bool slot_checks_gather(sqlite3 *db, const report_filter &filter,
                        const std::vector<report_group> &slots, slot_checks *out, std::string *why);
