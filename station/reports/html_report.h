// The station's report and one board's history as self-contained HTML
// pages: no script, no network, no external file; charts and bus drawings
// are inline SVG. Everything an operator typed is escaped.
#pragma once

#include <string>
#include <vector>

#include "net_names.h"
#include "station/reports/history_query.h"
#include "station/reports/report_query.h"

// title says which boards (the range and station asked for); nets names the
// board's lines beside their numbers.
std::string html_report_page(const std::string &title, const station_report &report,
                             const std::vector<board_record> &failed,
                             const net_names &nets = net_names());

std::string html_history_page(const std::string &serial, const std::vector<board_record> &cycles,
                              const net_names &nets = net_names());
