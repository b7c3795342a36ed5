// How korvane-diagnose reads damaged logs of faulty boards, in-process:
// random boards from the shared fault models (SDRAM singles and pairs of
// every kind, flash checks, a chip never ready), each logged as korvane -v
// writes it, one pass or a few sound passes before the failed one, and the
// failed pass damaged as noise or a cut leaves it: a byte flipped or made
// NUL, its result line lost, a line of noise longer than any of korvane's,
// the log cut inside the FLASH test. Counted: logs whose status would be 0
// (a faulty board passed), failed tests called sound, logs refused whole.
// Beside it, shorts of both wirings on a shared line, given in either order:
// whether the board is the same and the diagnosis names the pair.
// Prints counts; nothing here passes or fails.
//
// Usage: damage_bench [BOARDS]
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "korvane_logs.h"
#include "line_reader.h"
#include "log_summary.h"
#include "sdram_diagnosis.h"

namespace {

const unsigned SEED = 42;

enum damage { flipped, nul, no_result, noise, cut_in_flash, DAMAGES };
const char *const DAMAGE_NAMES[] = {"a byte flipped", "a NUL byte", "the result line lost",
                                    "1.1 KB of noise", "cut in the FLASH test"};

sdram_fault_config random_sdram(std::mt19937 &rng) {
  const std::vector<sdram_fault> &singles = sdram_single_faults();
  std::uniform_int_distribution<size_t> any(0, singles.size() - 1);
  for (;;) {
    std::vector<sdram_fault> faults = {singles[any(rng)]};
    if (rng() % 2) faults.push_back(singles[any(rng)]);
    sdram_fault_config c = sdram_fault_set(faults);
    if (c.count == static_cast<int>(faults.size())) return c;
  }
}

flash_reading random_flash(std::mt19937 &rng) {
  flash_reading r = good_flash();
  switch (rng() % 5) {
    case 0:
      return r;
    case 1:
      r.id[rng() % 4] = static_cast<uint8_t>(rng());
      return r;
    case 2:
      r.status = static_cast<uint8_t>(rng());
      return r;
    case 3:
      return flash_reading{};  // never ready, status 0x00 in every load
  }
  for (uint8_t &b : r.id) b = 0x80;
  r.status = 0x80;  // never ready
  return r;
}

// The pass's text damaged as d does it; the offset of its first trace line
// is after its title.
std::string damaged(std::string pass, damage d, std::mt19937 &rng) {
  const size_t title = pass.find('\n') + 1;
  const size_t at = title + rng() % (pass.size() - title - 1);
  switch (d) {
    case flipped:
      pass[at] = static_cast<char>(pass[at] ^ (1 + rng() % 255));
      break;
    case nul:
      pass[at] = pass[at] ? '\0' : 'x';
      break;
    case no_result:
      pass.erase(pass.rfind('\n', pass.size() - 2) + 1);
      break;
    default: {
      size_t line = pass.find('\n', at) + 1;
      pass.insert(line < pass.size() ? line : title, std::string(1100, '~') + "\r\n");
      break;
    }
  }
  return pass;
}

}  // namespace

int main(int argc, char **argv) {
  const long boards = argc > 1 ? std::atol(argv[1]) : 2000;
  std::mt19937 rng(SEED);
  const std::string sound_sdram = traced_sdram_test(sdram_fault_config{});
  const std::string sound_flash = traced_flash_test(good_flash());
  long logs[DAMAGES] = {}, passed[DAMAGES] = {}, called_sound[DAMAGES] = {}, refused[DAMAGES] = {};
  for (long b = 0; b < boards; ++b) {
    const bool sdram_bad = rng() % 3 != 0;
    const sdram_fault_config sdram = sdram_bad ? random_sdram(rng) : sdram_fault_config{};
    flash_reading flash = random_flash(rng);
    if (!sdram_bad && flash_result(flash) == 0) flash.status = 0xc0;
    const std::string sdram_pass = traced_sdram_test(sdram), flash_pass = traced_flash_test(flash);
    const bool sdram_failed = !(reads_of(sdram) == reads_of(sdram_fault_config{}));
    const bool flash_failed = flash_result(flash) != 0;
    // Some boards fail only in the last of a few passes.
    std::string before;
    for (unsigned p = rng() % 3; p > 0; --p) before += sound_sdram + sound_flash;
    for (int d = 0; d < DAMAGES; ++d) {
      // A cut in a test that ran before and shows no failure yet is how a
      // continuous run ends: the cut is put in the first run.
      std::string log = d == cut_in_flash ? "" : before;
      if (d == cut_in_flash) {
        log += sdram_pass + flash_pass.substr(0, 17 + rng() % (flash_pass.size() - 18));
      } else if (sdram_failed && (!flash_failed || rng() % 2)) {
        log += damaged(sdram_pass, static_cast<damage>(d), rng) + flash_pass;
        if (flash_failed) continue;  // a failure still readable
      } else {
        log += sdram_pass + damaged(flash_pass, static_cast<damage>(d), rng);
        if (sdram_failed) continue;
      }
      ++logs[d];
      line_reader *in = new line_reader;
      line_reader_open_text(in, &log);
      log_summary summary;
      std::string why;
      bool ok = summarize_log(in, &summary, &why);
      delete in;
      if (!ok) {
        ++refused[d];
        continue;
      }
      passed[d] += summary_status(summary) == 0;
      const bool truth[2] = {sdram_failed, flash_failed};
      const test_summary *tests[2] = {&summary.sdram, &summary.flash};
      for (int t = 0; t < 2; ++t)
        called_sound[d] +=
            truth[t] && tests[t]->present && test_verdict(*tests[t]) == verdict::sound;
    }
  }
  printf("Damaged logs of faulty boards (%ld boards, seed %u):\n", boards, SEED);
  printf("  %-24s %6s %8s %12s %8s\n", "damage", "logs", "status 0", "called sound", "refused");
  for (int d = 0; d < DAMAGES; ++d)
    printf("  %-24s %6ld %8ld %12ld %8ld\n", DAMAGE_NAMES[d], logs[d], passed[d], called_sound[d],
           refused[d]);

  // Every pair of shorts of both wirings on a shared line, on either bus,
  // in both orders.
  long pairs = 0, same_board = 0, named = 0;
  for (bool data : {true, false}) {
    const int first = data ? 0 : SDRAM_FIRST_ADDR_LINE;
    const int last = data ? SDRAM_DATA_LINES - 1 : SDRAM_LAST_ADDR_LINE;
    const sdram_fault_kind wired_and =
        data ? sdram_fault_kind::data_short : sdram_fault_kind::addr_short;
    const sdram_fault_kind wired_or =
        data ? sdram_fault_kind::data_short_or : sdram_fault_kind::addr_short_or;
    for (int shared = first; shared <= last; ++shared)
      for (int a = first; a <= last; ++a)
        for (int o = first; o <= last; ++o) {
          if (a == shared || o == shared || a == o || (a * 7 + o * 3 + shared) % 5) continue;
          const sdram_fault x = {wired_and, shared, a}, y = {wired_or, shared, o};
          const sdram_reads reads = reads_of(sdram_fault_set({y, x}));
          ++pairs;
          same_board += reads == reads_of(sdram_fault_set({x, y}));
          for (const sdram_fault_config &fit : sdram_diagnose(reads).fits) {
            bool has_x = false, has_y = false;
            for (int i = 0; i < fit.count; ++i) {
              has_x = has_x || fit.faults[i] == x;
              has_y = has_y || fit.faults[i] == y;
            }
            if (has_x && has_y) {
              ++named;
              break;
            }
          }
        }
  }
  printf("Shorts of both wirings on a shared line, the wired OR given first (one in five):\n");
  printf("  %ld pairs, %ld the same board in either order, %ld named by the diagnosis\n", pairs,
         same_board, named);
  return 0;
}
