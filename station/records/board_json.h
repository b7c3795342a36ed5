// A board's record as JSON: the members are the `boards` table's columns
// (NULL where the table holds NULL), plus "faults", the board's
// `board_faults` rows as objects {"test", "kind", "words"}. The run's JSON
// report and the web page's slots are made of these.
#pragma once

#include <nlohmann/json.hpp>

#include "station/records/board_record.h"

nlohmann::json board_record_json(const board_record &b);

// The record back from board_record_json's document. False when doc is not
// such a document (a member missing or of another type).
bool board_record_from_json(const nlohmann::json &doc, board_record *b);
