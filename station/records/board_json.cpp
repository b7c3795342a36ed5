#include "station/records/board_json.h"

namespace {

// The table keeps NULL, not an empty string, for what a board lacks.
nlohmann::json text_or_null(const std::string &text) {
  if (text.empty()) return nullptr;
  return text;
}

}  // namespace

nlohmann::json board_record_json(const board_record &b) {
  nlohmann::json out = nlohmann::json::object();
  out["id"] = b.id;
  out["serial"] = text_or_null(b.serial);
  out["slot"] = b.slot;
  out["port"] = b.port;
  out["station"] = b.station;
  out["operator"] = text_or_null(b.operator_name);
  out["started"] = b.started;
  out["ended"] = b.ended;
  out["seconds"] = b.seconds;
  out["outcome"] = board_outcome_name(b.outcome);
  out["sdram_passes"] = b.sdram_passes;
  out["sdram_failed"] = b.sdram_failed;
  out["flash_passes"] = b.flash_passes;
  out["flash_failed"] = b.flash_failed;
  out["diagnosis"] = text_or_null(b.diagnosis);
  out["diagnosis_json"] = text_or_null(b.diagnosis_json);
  if (b.korvane_status < 0) {
    out["korvane_status"] = nullptr;
  } else {
    out["korvane_status"] = b.korvane_status;
  }
  out["message"] = text_or_null(b.message);
  out["log"] = text_or_null(b.log);
  out["uid"] = text_or_null(b.uid);
  out["release"] = text_or_null(b.release);
  nlohmann::json faults = nlohmann::json::array();
  for (const board_fault &f : b.faults)
    faults.push_back({{"test", f.test}, {"kind", f.kind}, {"words", f.words}});
  out["faults"] = faults;
  return out;
}
