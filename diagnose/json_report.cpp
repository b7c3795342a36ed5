#include "json_report.h"

#include <nlohmann/json.hpp>

namespace {

typedef nlohmann::ordered_json json;

json faults_json(const fault_list &faults) {
  json out = json::array();
  for (const std::vector<std::string> &f : faults) {
    if (f.size() == 1) {
      out.push_back(f[0]);
    } else {
      out.push_back(f);
    }
  }
  return out;
}

json test_json(const test_summary &t) {
  if (!t.present) return nullptr;
  json out = json::object();
  out["passes"] = t.passes;
  out["failed"] = t.failed;
  out["verdict"] = verdict_name(test_verdict(t));
  out["faults"] = faults_json(test_faults(t));
  json groups = json::array();
  for (const pass_group &g : t.groups) {
    json group = json::object();
    group["words"] = g.words;
    group["result"] = g.passed ? "passed" : "failed";
    group["verdict"] = verdict_name(g.kind);
    group["faults"] = faults_json(g.faults);
    group["passes"] = g.passes;
    group["first_passes"] = g.first_passes;
    groups.push_back(group);
  }
  out["groups"] = groups;
  return out;
}

}  // namespace

std::string json_report(const log_summary &s) {
  json doc = json::object();
  doc["sdram"] = test_json(s.sdram);
  doc["flash"] = test_json(s.flash);
  doc["traced"] = s.sdram.present ? s.sdram.traced : s.flash.traced;
  if (s.ending.cut_short_line) {
    doc["cut_short"] = {{"test", s.ending.cut_short_kind == test_kind::sdram ? "SDRAM" : "FLASH"},
                        {"line", s.ending.cut_short_line}};
  } else {
    doc["cut_short"] = nullptr;
  }
  // The words are the program's own ASCII text; replace guards the dump
  // against anything else without throwing.
  return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
