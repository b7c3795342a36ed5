#include "inference.h"

namespace {

std::vector<sdram_fault> build_singles() {
  std::vector<sdram_fault> all;
  for (int line = 0; line < SDRAM_DATA_LINES; ++line)
    for (int level = 0; level < 2; ++level)
      all.push_back({sdram_fault_kind::data_stuck, line, level});
  for (int line = SDRAM_FIRST_ADDR_LINE; line <= SDRAM_LAST_ADDR_LINE; ++line)
    for (int level = 0; level < 2; ++level)
      all.push_back({sdram_fault_kind::addr_stuck, line, level});
  for (int a = SDRAM_FIRST_ADDR_LINE; a <= SDRAM_LAST_ADDR_LINE; ++a)
    for (int b = a + 1; b <= SDRAM_LAST_ADDR_LINE; ++b)
      all.push_back({sdram_fault_kind::addr_short, a, b});
  return all;
}

}  // namespace

const std::vector<sdram_fault> &sdram_single_faults() {
  static const std::vector<sdram_fault> all = build_singles();
  return all;
}

sdram_diagnosis sdram_diagnose(const sdram_reads &reads, bool try_pairs) {
  sdram_diagnosis d;
  if (sdram_replay_matches(sdram_fault_config{}, reads)) return d;
  const std::vector<sdram_fault> &singles = sdram_single_faults();
  for (const sdram_fault &f : singles) {
    sdram_fault_config c = sdram_fault_set({f});
    if (sdram_replay_matches(c, reads)) d.fits.push_back(c);
  }
  if (!d.fits.empty() || !try_pairs) {
    d.verdict = d.fits.empty() ? sdram_verdict::unexplained : sdram_verdict::single;
    return d;
  }
  for (size_t i = 0; i < singles.size(); ++i) {
    for (size_t j = i + 1; j < singles.size(); ++j) {
      sdram_fault_config c = sdram_fault_set({singles[i]});
      // A line stuck at both levels is no board at all.
      if (sdram_fault_add(&c, singles[j]) && sdram_replay_matches(c, reads)) d.fits.push_back(c);
    }
  }
  d.verdict = d.fits.empty() ? sdram_verdict::unexplained : sdram_verdict::pair;
  return d;
}
