// The station's report as text for a person and as CSV for a spreadsheet:
// the same rows in both. The CSV is long-form, one figure a row:
//   section,name,station,measure,value
// e.g. "fault,data line 5 stuck at 1,,boards,14".
#pragma once

#include <string>

#include "station/reports/report_query.h"

// per_station adds the table of stations (the line's report).
std::string report_text(const station_report &report, bool per_station = false);
std::string report_csv(const station_report &report, bool per_station = false);

// "88.0%" and such, as both forms and the HTML page write figures.
std::string percent_text(double percent);
std::string fixed_text(double value, int decimals);
