// The SDRAM diagnosis over the SDRAM fault model, and the log reader and parser,
// on traces generated in-process from the same model the simulated board
// uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fault_words.h"
#include "junit_report.h"
#include "korvane_logs.h"
#include "log_summary.h"
#include "report.h"
#include "sdram_diagnosis.h"
#include "sdram_fault_names.h"
#include "sdram_walk.h"

namespace {

TEST(SdramInference, NamesTheFaultsThatFitAndNoOthers) {
  struct inference_case {
    std::vector<sdram_fault> f;
    const char *words;
  } cases[] = {
      {{}, "sound"},
      {{{DATA, 5, 1}}, "data line 5 stuck at 1"},
      {{{DATA, 15, 0}}, "data line 15 stuck at 0"},
      {{{SHORT, 3, 7}}, "address lines 3 and 7 shorted"},
      {{{SHORT, 24, 25}}, "address lines 24 and 25 shorted"},
      // The walk sees only which offsets share a cell, and a line stuck at
      // either level joins the same offsets.
      {{{STUCK, 25, 0}}, "one of 2 faults: address line 25 stuck at 0; address line 25 stuck at 1"},
      {{{STUCK, 1, 1}}, "one of 2 faults: address line 1 stuck at 0; address line 1 stuck at 1"},
      {{{DATA, 6, 0}, {SHORT, 9, 12}},
       "two faults: data line 6 stuck at 0 and address lines 9 and 12 shorted"},
      {{{SHORT, 3, 7}, {SHORT, 9, 12}},
       "two faults: address lines 3 and 7 shorted and address lines 9 and 12 shorted"},
      // Data line 2 low turns counter 13 into 9: lines 9 and 13 look alike.
      {{{DATA, 2, 0}, {STUCK, 9, 1}},
       "one of 4 pairs of faults: data line 2 stuck at 0 and address line 9 stuck at 0; "
       "data line 2 stuck at 0 and address line 9 stuck at 1; data line 2 stuck at 0 and "
       "address line 13 stuck at 0; data line 2 stuck at 0 and address line 13 stuck at 1"},
  };
  for (const inference_case &c : cases)
    EXPECT_EQ(c.words, sdram_diagnosis_words(sdram_diagnose(reads_of(sdram_fault_set(c.f)))));
}

TEST(SdramInference, NamesEveryShortAndAFloatingLine) {
  struct inference_case {
    std::vector<sdram_fault> f;
    const char *words;
  } cases[] = {
      {{{FLOATING, 0}}, "data line 0 floating"},
      {{{FLOATING, 9}}, "data line 9 floating"},
      {{{DSHORT, 3, 12}}, "data lines 3 and 12 shorted"},
      {{{DSHORT_OR, 0, 1}}, "data lines 0 and 1 shorted (wired OR)"},
      {{{DSHORT_OR, 14, 15}}, "data lines 14 and 15 shorted (wired OR)"},
      {{{SHORT_OR, 3, 7}}, "address lines 3 and 7 shorted (wired OR)"},
      {{{SHORT_OR, 24, 25}}, "address lines 24 and 25 shorted (wired OR)"},
      {{{FLOATING, 4}, {SHORT, 9, 12}},
       "two faults: data line 4 floating and address lines 9 and 12 shorted"},
      // Lines 1 and 8 together turn counter 20 into 22.
      {{{DSHORT, 1, 8}, {SHORT_OR, 2, 20}},
       "one of 2 pairs of faults: data lines 1 and 8 shorted and address lines 2 and 20 shorted "
       "(wired OR); data lines 1 and 8 shorted and address lines 2 and 22 shorted (wired OR)"},
      {{{DSHORT_OR, 5, 6}, {DATA, 10, 0}},
       "two faults: data line 10 stuck at 0 and data lines 5 and 6 shorted (wired OR)"},
      {{{FLOATING, 2}, {DSHORT_OR, 2, 7}},
       "two faults: data line 2 floating and data lines 2 and 7 shorted (wired OR)"},
      // Two shorts of different wiring on one line, in either order: the
      // three lines carry the level most of them are driven to, as any two
      // shorts of different wiring among them would make it.
      {{{SHORT_OR, 9, 15}, {SHORT, 2, 9}},
       "one of 6 pairs of faults: address lines 2 and 9 shorted and address lines 2 and 15 "
       "shorted (wired OR); address lines 2 and 9 shorted and address lines 9 and 15 shorted "
       "(wired OR); address lines 2 and 15 shorted and address lines 2 and 9 shorted (wired OR); "
       "address lines 2 and 15 shorted and address lines 9 and 15 shorted (wired OR); address "
       "lines 9 and 15 shorted and address lines 2 and 9 shorted (wired OR); address lines 9 and "
       "15 shorted and address lines 2 and 15 shorted (wired OR)"},
  };
  for (const inference_case &c : cases)
    EXPECT_EQ(c.words, sdram_diagnosis_words(sdram_diagnose(reads_of(sdram_fault_set(c.f)))));

  sdram_reads odd = reads_of({});
  odd.value[3] = 0x1234;  // no wiring fault turns one read alone into this
  EXPECT_EQ("no single fault or pair fits this trace", sdram_diagnosis_words(sdram_diagnose(odd)));
}

// The pair search rules pairs out before replaying them; a pair it rules
// out for the trace it makes itself would go unnamed. One pair in four with
// a floating or shorted data line is tried, one in sixteen of the rest, in
// a fixed pattern that meets every fault.
TEST(SdramInference, ChecksBeforeTheReplayPassEveryPairOnItsOwnTrace) {
  const std::vector<sdram_fault> &singles = sdram_single_faults();
  int refused = 0;
  for (size_t i = 0; i < singles.size(); ++i)
    for (size_t j = i + 1; j < singles.size(); ++j) {
      bool new_data = singles[i].kind != DATA && sdram_fault_on_data(singles[i].kind);
      if ((i * 31 + j) % (new_data ? 4 : 16) != 0) continue;
      sdram_fault_config c = sdram_fault_set({singles[i], singles[j]});
      if (c.count == 2 && !sdram_pair_may_fit(c, reads_of(c))) {
        ADD_FAILURE() << sdram_config_words(c);
        if (++refused > 5) return;
      }
    }
}

// The pruned search names what trying every pair names, on traces that no
// fault or a pair explains, and on ones that nothing does.
TEST(SdramInference, PrunedSearchAgreesWithTryingEveryPair) {
  const std::vector<sdram_fault> &singles = sdram_single_faults();
  auto every_pair = [&](const sdram_reads &reads) {
    std::vector<std::string> fits;
    for (size_t i = 0; i < singles.size(); ++i)
      for (size_t j = i + 1; j < singles.size(); ++j) {
        sdram_fault_config c = sdram_fault_set({singles[i], singles[j]});
        if (c.count == 2 && sdram_replay_matches(c, reads)) fits.push_back(sdram_config_words(c));
      }
    return fits;
  };
  struct trace_case {
    const char *name;
    std::vector<sdram_fault> f;
    int read;  // a read to change, or -1
    uint16_t value;
  } cases[] = {
      {"a data and an address fault", {{DATA, 6, 0}, {SHORT, 9, 12}}, -1, 0},
      {"two address faults", {{STUCK, 4, 1}, {SHORT, 4, 6}}, -1, 0},
      {"two data faults", {{DATA, 0, 1}, {DATA, 15, 0}}, -1, 0},
      {"a pair and a counter read wrong", {{SHORT, 3, 7}, {STUCK, 20, 0}}, 70, 0x5},
      {"a pair and a data read wrong", {{DATA, 2, 0}, {STUCK, 9, 1}}, 11, 0x0},
      {"a sound board and a read of another word", {}, 100, 0x3},
      {"a floating line in a data short", {{FLOATING, 2}, {DSHORT_OR, 2, 7}}, -1, 0},
      {"shorts on both buses and a read wrong", {{DSHORT, 1, 8}, {SHORT_OR, 2, 20}}, 80, 0x7},
      {"data shorts of both wirings on a line", {{DSHORT_OR, 6, 8}, {DSHORT, 6, 11}}, -1, 0},
  };
  for (const trace_case &c : cases) {
    SCOPED_TRACE(c.name);
    sdram_reads reads = reads_of(sdram_fault_set(c.f));
    if (c.read >= 0) reads.value[c.read] = c.value;
    sdram_diagnosis d = sdram_diagnose(reads);
    std::vector<std::string> named;
    if (d.verdict == sdram_verdict::pair)
      for (const sdram_fault_config &fit : d.fits) named.push_back(sdram_config_words(fit));
    if (d.verdict != sdram_verdict::single) {
      EXPECT_EQ(every_pair(reads), named);
    }
  }
}

std::string sdram_test(const sdram_fault_config &c) { return traced_sdram_test(c); }
// A flash test with its trace as given, for traces no reading prints.
std::string flash_test(const char *trace, bool passed) {
  return std::string("Testing FLASH...\n") + trace + (passed ? "passed\n" : "failed\n");
}
const char GOOD_FLASH[] = "M2c Df1 R80 P95 \r\nSe0\r\n";

struct log_case {
  const char *name;
  std::string text;
  std::string report;  // empty: malformed
  long long error_line;
};

TEST(DiagnoseLog, ReportsOrNamesTheBadLine) {
  sdram_fault_config d5 = sdram_fault_set({{DATA, 5, 1}});
  std::string sound = sdram_test({}), bad = sdram_test(d5);
  std::string flash = flash_test(GOOD_FLASH, true);
  std::string five_passes;
  for (int pass = 1; pass <= 5; ++pass) five_passes += (pass % 2 ? bad : sound) + flash;
  std::string windows = bad;  // text mode: every LF became CR LF
  for (size_t at = 0; (at = windows.find('\n', at)) != std::string::npos; at += 2)
    windows.replace(at, 1, "\r\n");
  // Line 28 is the first read of pattern 8, at offset 0x18.
  // A pass with one byte changed by noise on the line.
  std::string corrupted = sound;
  corrupted.replace(corrupted.find(" 18r8\r\n"), 5, " 18r\xc8");
  const int flash_lines = 4;
  const std::string cut = sound.substr(0, sound.find(" 24wffef"));  // 38 lines
  std::string cr_only, cr_cr_lf;
  for (char c : bad) {
    if (c != '\r') cr_only += c == '\n' ? '\r' : c;
    cr_cr_lf += c == '\n' ? "\r\n" : std::string(1, c);
  }
  std::string wrong_offset = sound;
  wrong_offset.replace(wrong_offset.find(" 18r8\r\n"), 5, " 1ar8");
  const int sound_lines = 1 + 234 + 1;
  const std::string plain = plain_test(true, true) + plain_test(false, true);
  const std::string advice = NO_TRACE_ADVICE;

  const log_case cases[] = {
      {"one pass", bad + flash, "SDRAM: data line 5 stuck at 1\nFLASH: sound\n", 0},
      {"text mode line ends", windows, "SDRAM: data line 5 stuck at 1\n", 0},
      {"no trace", "Testing SDRAM... failed\nTesting FLASH... passed\n",
       std::string("SDRAM: failed\nFLASH: passed\n") + NO_TRACE_ADVICE, 0},
      {"no trace, nothing failed", "Testing SDRAM... passed\nTesting FLASH... passed\n",
       "SDRAM: passed\nFLASH: passed\n", 0},
      {"continuous", five_passes,
       "SDRAM: data line 5 stuck at 1 in 3 of 5 passes (1, 3, 5); the others sound\n"
       "FLASH: sound in all 5 passes\n",
       0},
      {"continuous run stopped in a test", sound + flash + sound.substr(0, 300),
       "SDRAM: sound\nFLASH: sound\n", 0},
      // A failure read before the log ends is no Ctrl-C to leave out.
      {"a failed trace without its result at the end",
       sound + flash + bad.substr(0, bad.size() - 7),
       "SDRAM: sound in 1 of 2 passes, 1 unreadable\nFLASH: sound\nUnreadable: 1 pass, left out "
       "(line 544: the log ends inside the SDRAM test that begins at line 241)\n",
       0},
      {"never ready", flash_test("M2c Df1 R80 P95 \r\nS80\r\n", false),
       "FLASH: never became ready (status 0x80 after the reset)\n", 0},
      {"several checks", flash_test("M0 Df0 R80 P95 \r\nSc0\r\n", false),
       "FLASH: maker 0x00 is neither 0x20 nor 0x2c; device 0xf0 is not 0xf1; "
       "status 0xc0 is not 0xe0\n",
       0},
      {"fourth byte", flash_test("M20 Df1 R0 P95 \r\nSe0\r\n", false),
       "FLASH: fourth ID byte 0x95 is not maker 0x20's 0x1d\n", 0},
      {"fourth byte in every pass",
       flash_test("M2c Df1 R80 P1d \r\nSe0\r\n", false) +
           flash_test("M2c Df1 R80 P1d \r\nSe0\r\n", false),
       "FLASH: fourth ID byte 0x1d is not maker 0x2c's 0x95 in all 2 passes\n", 0},
      {"ready only after the monitor stopped waiting", flash_test(GOOD_FLASH, false),
       "FLASH: not ready within the monitor's wait; ready later (status 0xe0)\n", 0},
      {"status read without its command", flash_test("M2c Df1 R80 P95 \r\nS0\r\n", false),
       "FLASH: status 0x00, read without its Read Status command\n", 0},
      {"a corrupted byte in one pass", sound + flash + corrupted + flash + bad + flash,
       "SDRAM: data line 5 stuck at 1 in 1 of 3 passes (3); 1 unreadable; the others sound\n"
       "FLASH: sound in all 3 passes\n"
       "Unreadable: 1 pass, left out (line " +
           std::to_string(sound_lines + flash_lines + 28) +
           ": expected a read of offset 18 (\" 18r<value>\"), found \" 18r\\xc8\")\n",
       0},
      {"a pass cut short by the next title", cut + sound + flash,
       "SDRAM: sound in 1 of 2 passes, 1 unreadable\nFLASH: sound\n"
       "Unreadable: 1 pass, left out (line 39: expected \" 24wffef\", found \"Testing "
       "SDRAM...\")\n",
       0},
      {"a NUL-padded tail", bad + flash + std::string(5000, '\0'),
       "SDRAM: data line 5 stuck at 1\nFLASH: sound\n", 0},
      {"trailing blank lines", bad + flash + "\n\r\n",
       "SDRAM: data line 5 stuck at 1\nFLASH: sound\n", 0},
      {"a byte-order mark", "\xEF\xBB\xBF" + bad, "SDRAM: data line 5 stuck at 1\n", 0},
      {"CR line ends only", cr_only, "SDRAM: data line 5 stuck at 1\n", 0},
      {"CR CR LF line ends", cr_cr_lf, "SDRAM: data line 5 stuck at 1\n", 0},
      {"empty", "", "", 1},
      {"stray text", sound + "hello\n",
       "SDRAM: sound\nUnreadable: 1 pass, left out (line " + std::to_string(sound_lines + 1) +
           ": expected \"Testing SDRAM...\" or \"Testing FLASH...\", found \"hello\")\n",
       0},
      {"nothing readable", "hello\nworld\n", "", 1},
      {"truncated", sound.substr(0, 200), "", 0},
      {"offset off the walk", wrong_offset, "", 28},
      {"verdict against the trace", sdram_test({}).replace(sound.size() - 7, 6, "failed"), "",
       sound_lines},
      {"missing mismatch line", bad.substr(0, bad.find("*r20")) + bad.substr(bad.find("*r20") + 6),
       "", 0},
      {"leading zero", flash_test("M2c Df1 R080 P95 \r\nSe0\r\n", true), "", 2},
      {"bare status", flash_test("M2c Df1 R80 P95 \r\nS\r\n", true), "", 3},
      {"traced and plain mixed", sound + "Testing FLASH... passed\n", "", sound_lines + 1},
      {"plain run stopped at a title", plain + plain + "Testing SDRAM... ",
       "SDRAM: passed in all 2 passes\nFLASH: passed in all 2 passes\n", 0},
      {"plain verdict without its line end", plain_test(true, false) + "Testing FLASH... failed",
       "SDRAM: failed\nFLASH: failed\n" + advice, 0},
      {"plain run stopped in its first test", "Testing SDRAM... ", "", 1},
      {"stopped in the first flash test", sound + flash.substr(0, 30),
       "SDRAM: sound\nFLASH: no verdict: its only pass is unreadable\nUnreadable: 1 pass, left "
       "out (line 238: the log ends inside the FLASH test that begins at line 237)\n",
       0},
      {"a line longer than any of korvane's", sound + std::string(5000, ' ') + "\n",
       "SDRAM: sound\nUnreadable: 1 pass, left out (line 237: a line longer than 1024 "
       "characters, which no korvane log has)\n",
       0},
      {"a burst of noise in a pass, and a title damaged",
       "Testing SDRAM...\n" + std::string(1100, '~') + "\n" + flash + "Testing S\xc4RAM...\n" +
           sound.substr(17),
       "SDRAM: no verdict: none of its 2 passes can be read\nFLASH: sound\nUnreadable: 2 passes, "
       "left out (line 2: a line longer than 1024 characters, which no korvane log has; line 7: "
       "expected \"Testing SDRAM...\" or \"Testing FLASH...\", found \"Testing S\\xc4RAM...\")\n",
       0},
      {"a line longer than any of korvane's alone", std::string(5000, ' ') + "\n", "", 1},
      {"NUL bytes", std::string(100, '\0'), "", 1},
  };
  for (const log_case &c : cases) {
    SCOPED_TRACE(c.name);
    log_summary log;
    std::string why;
    line_reader in;
    line_reader_open_text(&in, &c.text);
    bool ok = summarize_log(&in, &log, &why);
    if (!c.report.empty()) {
      ASSERT_TRUE(ok) << why;
      EXPECT_EQ(c.report, diagnosis_report(log));
    } else {
      EXPECT_FALSE(ok);
      if (c.error_line) {
        EXPECT_EQ(0u, why.rfind("line " + std::to_string(c.error_line) + ": ", 0)) << why;
      }
      EXPECT_EQ(0u, why.rfind("line ", 0)) << why;
    }
  }
}

// A record of passes past its bound is written as runs, never refused, and
// the verdict stands.
TEST(DiagnoseLog, CollapsesARecordTooLongToKeep) {
  log_summary log;
  log.keep_passes = true;
  log.max_runs = 4;
  std::string why;
  for (int pass = 1; pass <= 10; ++pass) {
    test_record t;
    t.passed = pass != 3 && pass != 6 && pass != 7 && pass != 9;
    ASSERT_TRUE(summary_add(&log, t, &why)) << why;
  }
  EXPECT_EQ(8, summary_status(log));
  EXPECT_FALSE(log.sdram.runs_complete);
  FILE *out = tmpfile();
  ASSERT_NE(nullptr, out);
  ASSERT_TRUE(write_junit_report(out, log));
  std::string xml(4096, '\0');
  rewind(out);
  xml.resize(fread(&xml[0], 1, xml.size(), out));
  fclose(out);
  const char *names[] = {"name=\"passes 1 to 2 (2 passes)\"", "name=\"pass 3\"",
                         "name=\"passes 4 to 5 (2 passes)\"", "name=\"passes 6 to 7 (2 passes)\"",
                         "name=\"2 passes after pass 7\"",    "name=\"1 pass after pass 7\""};
  for (const char *name : names) EXPECT_NE(std::string::npos, xml.find(name)) << name << xml;
}

// A run with more distinct verdicts than are kept lists 20 in its line and
// counts the rest; the group that holds them names their faults.
TEST(DiagnoseLog, BoundsTheVerdictsItLists) {
  log_summary log;
  std::string why;
  for (int maker = 0; maker < 256; ++maker)
    for (int device = 0; device < 20; ++device) {
      test_record t;
      t.kind = test_kind::flash;
      t.traced = true;
      t.flash = good_flash();
      t.flash.id[0] = static_cast<uint8_t>(maker);
      t.flash.id[1] = static_cast<uint8_t>(device);
      ASSERT_TRUE(summary_add(&log, t, &why));
    }
  std::string report = diagnosis_report(log);
  EXPECT_EQ(20, std::count(report.begin(), report.end(), '('));
  EXPECT_NE(std::string::npos,
            report.find("; other verdicts, not listed, in 5100 of 5120 passes\n"))
      << report.substr(report.size() - 200);
  const pass_group &other = log.flash.groups.back();
  EXPECT_EQ(OTHER_VERDICTS, other.words);
  EXPECT_EQ(verdict::faulty, other.kind);
  EXPECT_EQ(MAX_OTHER_FAULTS, other.faults.size());
}

}  // namespace
