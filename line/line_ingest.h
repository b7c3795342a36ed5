// A record as a station sends it (its JSON, board_json.h, with "uid",
// "station", "release" and "faults"), checked member by member before it
// goes near the database: what is not a record is refused with the reason,
// what is one is stored exactly as typed.
#pragma once

#include <string>

#include "station/records/board_record.h"

// The largest body the server reads; a record is a few kilobytes.
constexpr size_t LINE_BODY_LIMIT = 1024 * 1024;

struct line_record {
  board_record board;
  std::string content_hash;  // of the record as sent, its station's row id aside
};

// False with the reason when body is not a record.
bool line_record_parse(const std::string &body, line_record *out, std::string *why);

// The hash by which a retry (the same content) is told from a clash (another
// content under the same uid).
std::string line_content_hash(const std::string &canonical);
