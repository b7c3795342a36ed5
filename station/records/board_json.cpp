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
  out["attempts_checked"] = text_or_null(b.attempts_checked);
  nlohmann::json faults = nlohmann::json::array();
  for (const board_fault &f : b.faults)
    faults.push_back({{"test", f.test}, {"kind", f.kind}, {"words", f.words}});
  out["faults"] = faults;
  return out;
}

namespace {

bool text_of(const nlohmann::json &doc, const char *name, std::string *out) {
  auto it = doc.find(name);
  if (it == doc.end()) return false;
  if (it->is_null()) {
    out->clear();
    return true;
  }
  if (!it->is_string()) return false;
  *out = it->get<std::string>();
  return true;
}

bool int_of(const nlohmann::json &doc, const char *name, int *out) {
  auto it = doc.find(name);
  if (it == doc.end() || !it->is_number_integer()) return false;
  *out = it->get<int>();
  return true;
}

}  // namespace

bool board_record_from_json(const nlohmann::json &doc, board_record *b) {
  if (!doc.is_object()) return false;
  *b = board_record();
  std::string outcome;
  bool ok = text_of(doc, "serial", &b->serial) && text_of(doc, "slot", &b->slot) &&
            text_of(doc, "port", &b->port) && text_of(doc, "station", &b->station) &&
            text_of(doc, "operator", &b->operator_name) && text_of(doc, "started", &b->started) &&
            text_of(doc, "ended", &b->ended) && text_of(doc, "outcome", &outcome) &&
            int_of(doc, "sdram_passes", &b->sdram_passes) &&
            int_of(doc, "sdram_failed", &b->sdram_failed) &&
            int_of(doc, "flash_passes", &b->flash_passes) &&
            int_of(doc, "flash_failed", &b->flash_failed) &&
            text_of(doc, "diagnosis", &b->diagnosis) &&
            text_of(doc, "diagnosis_json", &b->diagnosis_json) &&
            text_of(doc, "message", &b->message) && text_of(doc, "log", &b->log);
  if (doc.contains("attempts_checked") && !text_of(doc, "attempts_checked", &b->attempts_checked))
    return false;
  if (!ok || !doc.contains("seconds") || !doc["seconds"].is_number()) return false;
  b->seconds = doc["seconds"].get<double>();
  const nlohmann::json &status = doc.value("korvane_status", nlohmann::json());
  if (status.is_number_integer()) b->korvane_status = status.get<int>();
  bool known = false;
  for (board_outcome o : {board_outcome::passed, board_outcome::failed, board_outcome::error,
                          board_outcome::interrupted}) {
    if (outcome == board_outcome_name(o)) {
      b->outcome = o;
      known = true;
    }
  }
  if (!known || !doc.contains("faults") || !doc["faults"].is_array()) return false;
  for (const nlohmann::json &f : doc["faults"]) {
    board_fault fault;
    if (!f.is_object() || !text_of(f, "test", &fault.test) || !text_of(f, "kind", &fault.kind) ||
        !text_of(f, "words", &fault.words))
      return false;
    b->faults.push_back(fault);
  }
  return true;
}
