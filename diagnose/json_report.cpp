#include "json_report.h"

#include <nlohmann/json.hpp>

namespace {

typedef nlohmann::ordered_json json;

json fault_json(const fault_object &f) {
  json out = json::object();
  out["kind"] = f.kind;
  out["lines"] = f.lines;
  out["level"] = f.level < 0 ? json(nullptr) : json(f.level);
  out["wiring"] = f.wiring.empty() ? json(nullptr) : json(f.wiring);
  out["words"] = f.words;
  return out;
}

json hypothesis_json(const fault_hypothesis &h) {
  if (h.size() == 1) return fault_json(h[0]);
  json pair = json::array();
  for (const fault_object &f : h) pair.push_back(fault_json(f));
  return pair;
}

json faults_json(const fault_list &faults) {
  json out = json::array();
  for (const fault_entry &e : faults) {
    if (e.one_of.size() == 1) {
      out.push_back(hypothesis_json(e.one_of[0]));
      continue;
    }
    json set = json::array();
    for (const fault_hypothesis &h : e.one_of) set.push_back(hypothesis_json(h));
    out.push_back({{"one_of", set}});
  }
  return out;
}

json test_json(const test_summary &t) {
  if (!t.present) return nullptr;
  json out = json::object();
  out["passes"] = t.passes;
  out["failed"] = t.failed;
  out["unreadable"] = t.unreadable;
  out["unreadable_passes"] = t.unreadable_passes;
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
  doc["schema"] = JSON_SCHEMA;
  doc["verdict"] = verdict_name(summary_verdict(s));
  doc[board_test_of(board_test::sdram).name] = test_json(s.sdram);
  doc[board_test_of(board_test::flash).name] = test_json(s.flash);
  doc["traced"] = summary_traced(s);
  if (s.ending.cut_short_line) {
    doc["cut_short"] = {{"test", board_test_of(s.ending.cut_short_kind).title},
                        {"line", s.ending.cut_short_line}};
  } else {
    doc["cut_short"] = nullptr;
  }
  json unreadable = json::array();
  for (const unreadable_pass &u : s.unreadable)
    unreadable.push_back(
        {{"line", u.line},
         {"reason", u.reason},
         {"test", u.kind_known ? json(board_test_of(u.kind).title) : json(nullptr)},
         {"pass", u.kind_known ? json(u.pass) : json(nullptr)}});
  doc["unreadable"] = unreadable;
  doc["unreadable_count"] = s.unreadable_count;
  // The words are the program's own ASCII text; replace guards the dump
  // against anything else without throwing.
  return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
