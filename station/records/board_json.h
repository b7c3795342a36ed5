// A board's record as JSON: the members are the `boards` table's columns
// (NULL where the table holds NULL), plus "faults", the board's
// `board_faults` rows as objects {"test", "kind", "words"}. The run's JSON
// report and the web page's slots are made of these.
#pragma once

#include <nlohmann/json.hpp>

#include "station/records/board_record.h"

nlohmann::json board_record_json(const board_record &b);
