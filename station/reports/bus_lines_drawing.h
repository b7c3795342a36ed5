// The SDRAM bus across boards drawn for the report's page: the 16 data and
// 25 address lines, each with a bar as long as the boards that had it named
// and what they had (stuck, shorted, floating), the board's names for its
// lines beside their numbers when a nets file gives them.
#pragma once

#include <string>

#include "net_names.h"
#include "station/reports/bus_lines.h"

// Each line's <g> carries data-line="D5" or "A7" and data-boards.
std::string bus_lines_svg(const bus_line_counts &counts, const net_names &nets);
