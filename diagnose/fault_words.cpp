#include "fault_words.h"

#include <cstdio>

namespace {

std::string hex_byte(unsigned v) {
  char text[8];
  snprintf(text, sizeof text, "0x%02x", v);
  return text;
}

std::string list_words(const std::vector<sdram_fault_config> &fits) {
  std::string out;
  for (size_t i = 0; i < fits.size(); ++i) out += (i ? "; " : "") + sdram_config_words(fits[i]);
  return out;
}

}  // namespace

std::string sdram_fault_words(const sdram_fault &f) {
  std::string line = std::to_string(f.line), other = std::to_string(f.other);
  const char *wiring = sdram_fault_wired_or(f.kind) ? " shorted (wired OR)" : " shorted";
  switch (f.kind) {
    case sdram_fault_kind::data_stuck:
      return "data line " + line + " stuck at " + other;
    case sdram_fault_kind::data_floating:
      return "data line " + line + " floating";
    case sdram_fault_kind::addr_stuck:
      return "address line " + line + " stuck at " + other;
    case sdram_fault_kind::addr_short:
    case sdram_fault_kind::addr_short_or:
      return "address lines " + line + " and " + other + wiring;
    case sdram_fault_kind::data_short:
    case sdram_fault_kind::data_short_or:
      return "data lines " + line + " and " + other + wiring;
  }
  return "";
}

std::string sdram_config_words(const sdram_fault_config &c) {
  std::string out;
  for (int i = 0; i < c.count; ++i) out += (i ? " and " : "") + sdram_fault_words(c.faults[i]);
  return out;
}

std::string one_of_words(size_t choices, bool pairs) {
  return "one of " + std::to_string(choices) + (pairs ? " pairs of faults" : " faults");
}

std::string sdram_diagnosis_words(const sdram_diagnosis &d) {
  size_t n = d.fits.size();
  if (d.verdict == sdram_verdict::sound) return "sound";
  if (d.verdict == sdram_verdict::unexplained) return "no single fault or pair fits this trace";
  bool pair = d.verdict == sdram_verdict::pair;
  if (n == 1) return (pair ? "two faults: " : "") + sdram_config_words(d.fits[0]);
  return one_of_words(n, pair) + ": " + list_words(d.fits);
}

std::string flash_words(const flash_reading &r, bool passed) {
  int result = flash_result(r);
  if (result == 0 && !passed)
    return "not ready within the monitor's wait; ready later (status " + hex_byte(r.status) + ")";
  if (result == 0) return "sound";
  if (result == NAND_RESULT_NEVER_READY)
    return "never became ready (status " + hex_byte(r.status) + " after the reset)";
  std::string out;
  for (const flash_failure &f : flash_failures(r)) out += (out.empty() ? "" : "; ") + f.words;
  return out;
}
