#include "report.h"

#include <cstdio>
#include <map>

const char NO_TRACE_ADVICE[] =
    "No trace lines in this log: run korvane with -v (and -l LOGFILE) to record them.\n";

namespace {

const char SOUND[] = "sound";
constexpr size_t MAX_PASSES_SHOWN = 10;

std::string hex_byte(unsigned v) {
  char text[8];
  snprintf(text, sizeof text, "0x%02x", v);
  return text;
}

std::string config_words(const sdram_fault_config &c) {
  std::string out;
  for (int i = 0; i < c.count; ++i) out += (i ? " and " : "") + sdram_fault_words(c.faults[i]);
  return out;
}

std::string list_words(const std::vector<sdram_fault_config> &fits) {
  std::string out;
  for (size_t i = 0; i < fits.size(); ++i) out += (i ? "; " : "") + config_words(fits[i]);
  return out;
}

// A continuous run: the passes grouped by their words, in order of first
// appearance; the sound ones summed up last.
std::string grouped(const std::vector<std::string> &words) {
  size_t n = words.size();
  if (n == 1) return words[0];
  std::vector<std::string> order;
  std::map<std::string, std::vector<size_t>> passes;
  for (size_t i = 0; i < n; ++i) {
    if (passes[words[i]].empty()) order.push_back(words[i]);
    passes[words[i]].push_back(i + 1);
  }
  if (order.size() == 1) return words[0] + " in all " + std::to_string(n) + " passes";
  std::string out;
  for (const std::string &w : order) {
    if (w == SOUND) continue;
    const std::vector<size_t> &p = passes[w];
    if (!out.empty()) out += "; ";
    out += w + " in " + std::to_string(p.size()) + " of " + std::to_string(n) + " passes (";
    for (size_t i = 0; i < p.size() && i < MAX_PASSES_SHOWN; ++i)
      out += (i ? ", " : "") + std::to_string(p[i]);
    out += p.size() > MAX_PASSES_SHOWN ? ", ...)" : ")";
  }
  if (passes.count(SOUND)) out += "; the others sound";
  return out;
}

}  // namespace

std::string sdram_fault_words(const sdram_fault &f) {
  std::string line = std::to_string(f.line), other = std::to_string(f.other);
  switch (f.kind) {
    case sdram_fault_kind::data_stuck:
      return "data line " + line + " stuck at " + other;
    case sdram_fault_kind::addr_stuck:
      return "address line " + line + " stuck at " + other;
    case sdram_fault_kind::addr_short:
      return "address lines " + line + " and " + other + " shorted";
  }
  return "";
}

std::string sdram_diagnosis_words(const sdram_diagnosis &d) {
  size_t n = d.fits.size();
  switch (d.verdict) {
    case sdram_verdict::sound:
      return SOUND;
    case sdram_verdict::unexplained:
      return "no single fault or pair fits this trace";
    case sdram_verdict::single:
      if (n == 1) return config_words(d.fits[0]);
      return "one of " + std::to_string(n) + " faults: " + list_words(d.fits);
    case sdram_verdict::pair:
      if (n == 1) return "two faults: " + config_words(d.fits[0]);
      return "one of " + std::to_string(n) + " pairs of faults: " + list_words(d.fits);
  }
  return "";
}

std::string flash_words(const flash_reading &r) {
  int result = flash_result(r);
  if (result == 0) return SOUND;
  if (result == FLASH_NEVER_READY)
    return "never became ready (status " + hex_byte(r.status) + " after the reset)";
  std::string out;
  for (const flash_failure &f : flash_failures(r)) out += (out.empty() ? "" : "; ") + f.words;
  return out;
}

std::string diagnosis_report(const log_contents &log, bool try_pairs) {
  if (log.tests.empty() || !log.tests.front().traced) return NO_TRACE_ADVICE;
  // A continuous run repeats the same few traces: each is diagnosed once.
  std::map<std::string, std::string> seen;
  std::vector<std::string> sdram, flash;
  for (const test_record &t : log.tests) {
    if (t.kind == test_kind::flash) {
      flash.push_back(flash_words(t.flash));
      continue;
    }
    std::string key(reinterpret_cast<const char *>(t.sdram.value), sizeof t.sdram.value);
    auto it = seen.find(key);
    if (it == seen.end())
      it = seen.emplace(key, sdram_diagnosis_words(sdram_diagnose(t.sdram, try_pairs))).first;
    sdram.push_back(it->second);
  }
  std::string out;
  if (!sdram.empty()) out += "SDRAM: " + grouped(sdram) + "\n";
  if (!flash.empty()) out += "FLASH: " + grouped(flash) + "\n";
  return out;
}
