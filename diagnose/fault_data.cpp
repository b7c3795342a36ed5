#include "fault_data.h"

#include <algorithm>

#include "fault_words.h"

bool operator==(const fault_object &a, const fault_object &b) {
  return a.kind == b.kind && a.lines == b.lines && a.level == b.level && a.wiring == b.wiring &&
         a.words == b.words;
}

bool operator==(const fault_entry &a, const fault_entry &b) { return a.one_of == b.one_of; }

fault_object sdram_fault_object(const sdram_fault &f) {
  fault_object o;
  o.words = sdram_fault_words(f);
  o.lines = {f.line};
  if (sdram_fault_is_short(f.kind)) {
    o.kind = sdram_fault_on_data(f.kind) ? "data_short" : "address_short";
    o.lines = {std::min(f.line, f.other), std::max(f.line, f.other)};
    o.wiring = sdram_fault_wired_or(f.kind) ? "or" : "and";
    return o;
  }
  switch (f.kind) {
    case sdram_fault_kind::data_stuck:
      o.kind = "data_stuck";
      o.level = f.other;
      break;
    case sdram_fault_kind::addr_stuck:
      o.kind = "address_stuck";
      o.level = f.other;
      break;
    default:
      o.kind = "data_floating";
      break;
  }
  return o;
}

fault_list sdram_diagnosis_faults(const sdram_diagnosis &d) {
  fault_list out;
  if (d.fits.empty()) return out;
  out.emplace_back();
  for (const sdram_fault_config &c : d.fits) {
    fault_hypothesis h;
    for (int i = 0; i < c.count; ++i) h.push_back(sdram_fault_object(c.faults[i]));
    out.back().one_of.push_back(h);
  }
  return out;
}

bool flash_late_ready(const flash_reading &r, bool passed) {
  return !passed && flash_result(r) == 0;
}

fault_list flash_faults(const flash_reading &r, bool passed) {
  fault_list out;
  auto add = [&](const std::string &kind, const std::string &words) {
    fault_object o;
    o.kind = kind;
    o.words = words;
    out.push_back({{{o}}});
  };
  int result = flash_result(r);
  if (flash_late_ready(r, passed)) {
    add("late_ready", flash_words(r, passed));
  } else if (result == NAND_RESULT_NEVER_READY) {
    add("never_ready", flash_words(r, passed));
  } else {
    for (const flash_failure &f : flash_failures(r)) add(f.name, f.words);
  }
  return out;
}
