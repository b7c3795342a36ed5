// The station's report and one board's history as self-contained HTML
// pages: no script, no network, no external file; charts and bus drawings
// are inline SVG. Everything an operator typed is escaped.
#pragma once

#include <string>
#include <vector>

#include "station/reports/history_query.h"
#include "station/reports/report_query.h"

// title says which boards (the range and station asked for).
std::string html_report_page(const std::string &title, const station_report &report,
                             const std::vector<board_record> &failed);

std::string html_history_page(const std::string &serial, const std::vector<board_record> &cycles);
