// korvane-diagnose over the logs of real korvane runs against boardsim with
// faults injected, two of them at once included.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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
      {{"--data-floating", "3", "--addr-short-or", "4:10"},
       "SDRAM: two faults: data line 3 floating and address lines 4 and 10 shorted (wired OR)\n"
       "FLASH: sound\n"},
      {{"--data-short", "2:11"}, "SDRAM: data lines 2 and 11 shorted\nFLASH: sound\n"},
      // Shorts of both wirings on a shared line, the wired OR given first,
      // and a busy chip whose status reads 0x00.
      {{"--addr-short-or", "17:22", "--addr-short", "18:22", "--nand-never-ready", "--nand-status",
        "0"},
       "SDRAM: one of 6 pairs of faults: address lines 17 and 18 shorted and address lines 17 "
       "and 22 shorted (wired OR); address lines 17 and 18 shorted and address lines 18 and 22 "
       "shorted (wired OR); address lines 17 and 22 shorted and address lines 17 and 18 shorted "
       "(wired OR); address lines 17 and 22 shorted and address lines 18 and 22 shorted (wired "
       "OR); address lines 18 and 22 shorted and address lines 17 and 18 shorted (wired OR); "
       "address lines 18 and 22 shorted and address lines 17 and 22 shorted (wired OR)\n"
       "FLASH: never became ready (status 0x00 after the reset)\n"},
  };
  for (const e2e_case &c : cases) {
    board_diagnosis d = diagnose_board(programs, c.board);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(c.report, d.report);
  }
}

// The station's way: the verdict from the exit status, the faults from the
// JSON document.
TEST(DiagnoseE2e, GivesTheStationItsVerdictWithoutText) {
  const diagnosis_programs programs = {KORVANE_PATH, BOARDSIM_PATH, DIAGNOSE_PATH};
  board_diagnosis d = diagnose_board(programs, {"--addr-short", "3:7", "--nand-id", "20,f1,0,95"},
                                     {}, {"--exit-status", "--json"});
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(24, d.status);
  nlohmann::json doc = nlohmann::json::parse(d.report, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << d.report;
  EXPECT_EQ(
      "[{\"kind\":\"address_short\",\"level\":null,\"lines\":[3,7],\"wiring\":\"and\","
      "\"words\":\"address lines 3 and 7 shorted\"}]",
      doc["sdram"]["faults"].dump());
  EXPECT_EQ("fourth_id_byte", doc["flash"]["faults"][0]["kind"]);
  EXPECT_EQ("faulty", doc["verdict"]);
  EXPECT_EQ("faulty", doc["flash"]["verdict"]);
}

}  // namespace
