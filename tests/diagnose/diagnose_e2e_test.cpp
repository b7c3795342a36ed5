// korvane-diagnose over the logs of real korvane runs against boardsim with
// faults injected, two of them at once included.
#include <gtest/gtest.h>

#include "board_diagnosis.h"

namespace {

TEST(DiagnoseE2e, NamesTheInjectedFaults) {
  const diagnosis_programs programs = {KORVANE_PATH, BOARDSIM_PATH, DIAGNOSE_PATH};
  struct e2e_case {
    std::vector<std::string> board;
    const char *report;
  } cases[] = {
      {{}, "SDRAM: sound\nFLASH: sound\n"},
      {{"--data-stuck", "5:1", "--nand-never-ready"},
       "SDRAM: data line 5 stuck at 1\nFLASH: never became ready (status 0x80 after the reset)\n"},
      {{"--addr-short", "3:7", "--addr-short", "9:12", "--nand-id", "0,f1,80,95"},
       "SDRAM: two faults: address lines 3 and 7 shorted and address lines 9 and 12 shorted\n"
       "FLASH: maker 0x00 is neither 0x20 nor 0x2c\n"},
  };
  for (const e2e_case &c : cases) {
    board_diagnosis d = diagnose_board(programs, c.board);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(c.report, d.report);
  }
}

}  // namespace
