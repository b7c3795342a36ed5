// The slots to check as the report shows them: a section of the text, rows
// of the CSV (section "slot_check", and "slot_check_left_out" for the slots
// with too few boards) and, on the HTML page, the slots' failure rates as a
// small chart with the flagged slots marked, and the same lines as the text.
#pragma once

#include <string>
#include <vector>

#include "station/reports/report_query.h"
#include "station/reports/slot_checks.h"

std::string slot_checks_text(const slot_checks &checks);
std::string slot_checks_csv(const slot_checks &checks);
// slots are the report's slots, each drawn whether flagged or not.
std::string slot_checks_html(const slot_checks &checks, const std::vector<report_group> &slots);

// "0.00035", "3.5e-10": p to two significant figures.
std::string p_text(double p);
