#include "line/line_ingest.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "korvane/why.h"
#include "station/records/board_uid.h"

using nlohmann::json;

namespace {

// A record's faults are a handful; more is not a record.
const size_t MAX_FAULTS = 1000;

// YYYY-MM-DDTHH:MM:SSZ, as the station writes its times.
bool utc_time(const std::string &t) {
  if (t.size() != 20) return false;
  for (size_t i = 0; i < t.size(); i++) {
    char want = "0000-00-00T00:00:00Z"[i];
    if (want == '0' ? (t[i] < '0' || t[i] > '9') : t[i] != want) return false;
  }
  return true;
}

bool text(const json &j, const char *name, bool nullable, std::string *out, std::string *why) {
  auto it = j.find(name);
  if (it == j.end() || it->is_null()) {
    if (nullable) return true;
    return set_why(why, "\"%s\" is missing", name);
  }
  if (!it->is_string()) return set_why(why, "\"%s\" is not text", name);
  *out = it->get<std::string>();
  if (!nullable && out->empty()) return set_why(why, "\"%s\" is empty", name);
  return true;
}

bool count(const json &j, const char *name, int *out, std::string *why) {
  auto it = j.find(name);
  if (it == j.end()) return true;
  if (!it->is_number_integer() || it->get<long long>() < 0 || it->get<long long>() > 1000000000)
    return set_why(why, "\"%s\" is not a count", name);
  *out = (int)it->get<long long>();
  return true;
}

}  // namespace

std::string line_content_hash(const std::string &canonical) {
  // FNV-1a, twice with different bases, for 128 bits: a retry is told from
  // a clash, nobody is defended against here (the token is).
  unsigned long long a = 1469598103934665603ULL, b = 0x6c62272e07bb0142ULL;
  for (unsigned char c : canonical) {
    a = (a ^ c) * 1099511628211ULL;
    b = (b ^ c) * 0x100000001b3ULL + 0x9e3779b97f4a7c15ULL;
  }
  char out[33];
  std::snprintf(out, sizeof out, "%016llx%016llx", a, b);
  return out;
}

bool line_record_parse(const std::string &body, line_record *out, std::string *why) {
  json j = json::parse(body, nullptr, false);
  if (j.is_discarded()) return set_why(why, "not JSON (or not UTF-8)");
  if (!j.is_object()) return set_why(why, "not a JSON object");
  board_record &b = out->board;
  b = board_record();
  std::string outcome;
  bool ok = text(j, "uid", false, &b.uid, why) && text(j, "station", false, &b.station, why) &&
            text(j, "slot", false, &b.slot, why) && text(j, "port", false, &b.port, why) &&
            text(j, "started", false, &b.started, why) && text(j, "ended", false, &b.ended, why) &&
            text(j, "outcome", false, &outcome, why) && text(j, "serial", true, &b.serial, why) &&
            text(j, "operator", true, &b.operator_name, why) &&
            text(j, "release", true, &b.release, why) &&
            text(j, "attempts_checked", true, &b.attempts_checked, why) &&
            text(j, "diagnosis", true, &b.diagnosis, why) &&
            text(j, "diagnosis_json", true, &b.diagnosis_json, why) &&
            text(j, "message", true, &b.message, why) && text(j, "log", true, &b.log, why) &&
            count(j, "sdram_passes", &b.sdram_passes, why) &&
            count(j, "sdram_failed", &b.sdram_failed, why) &&
            count(j, "flash_passes", &b.flash_passes, why) &&
            count(j, "flash_failed", &b.flash_failed, why);
  if (!ok) return false;
  if (!board_uid_valid(b.uid)) return set_why(why, "\"uid\" is not a UUID");
  if (!utc_time(b.started) || !utc_time(b.ended))
    return set_why(why, "times are YYYY-MM-DDTHH:MM:SSZ");
  bool known = false;
  for (board_outcome o : {board_outcome::passed, board_outcome::failed, board_outcome::error,
                          board_outcome::interrupted}) {
    if (outcome == board_outcome_name(o)) {
      b.outcome = o;
      known = true;
    }
  }
  if (!known) return set_why(why, "\"outcome\" is none of passed, failed, error, interrupted");
  auto seconds = j.find("seconds");
  if (seconds == j.end() || !seconds->is_number() || seconds->get<double>() < 0)
    return set_why(why, "\"seconds\" is not a duration");
  b.seconds = seconds->get<double>();
  auto status = j.find("korvane_status");
  if (status != j.end() && !status->is_null()) {
    if (!status->is_number_integer() || status->get<long long>() < 0 ||
        status->get<long long>() > 255)
      return set_why(why, "\"korvane_status\" is not an exit status");
    b.korvane_status = (int)status->get<long long>();
  }
  auto faults = j.find("faults");
  if (faults != j.end() && !faults->is_null()) {
    if (!faults->is_array() || faults->size() > MAX_FAULTS)
      return set_why(why, "\"faults\" is not a list of faults");
    for (const json &f : *faults) {
      board_fault fault;
      if (!f.is_object() || !text(f, "test", false, &fault.test, why) ||
          !text(f, "kind", false, &fault.kind, why) || !text(f, "words", false, &fault.words, why))
        return set_why(why, "a fault is {\"test\", \"kind\", \"words\"}");
      b.faults.push_back(fault);
    }
  }
  // The station's own row id is its business: the same record sent from a
  // station whose database was rebuilt is still the same record.
  j.erase("id");
  // A column added since is no content while it is null: a record sent by
  // an earlier release and again after the station's upgrade is a retry.
  if (j.contains("attempts_checked") && j["attempts_checked"].is_null())
    j.erase("attempts_checked");
  out->content_hash = line_content_hash(j.dump());
  return true;
}
