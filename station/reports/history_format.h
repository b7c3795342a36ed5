// One board's cycles as text for a person and as CSV for a spreadsheet, a
// row at a time, so that a board with many cycles is written as it is read.
#pragma once

#include <string>

#include "station/reports/history_query.h"

// "2026-12-09T11:22:12Z  failed  slot A at line-1  41.2 s  SDRAM 1 of 1
// failed, flash 0 of 1 failed: data line 5 stuck at 1  log PATH"
std::string history_text_line(const board_record &cycle);

std::string history_csv_header();
std::string history_csv_line(const board_record &cycle);

// The faults joined by "; ", or korvane's message for an error.
std::string history_fault_words(const board_record &cycle);
