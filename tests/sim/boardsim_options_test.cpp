#include "boardsim_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct options_case {
  std::vector<std::string> args;
  bool ok;
};

bool parse(std::vector<std::string> args, boardsim_options *opts) {
  args.insert(args.begin(), "boardsim");
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  std::string why;
  return boardsim_parse_options(int(args.size()), argv.data(), opts, &why);
}

TEST(BoardsimOptions, RejectsWhatCannotBeMeant) {
  const options_case cases[] = {
      {{}, true},
      {{"--data-stuck", "15:1"}, true},
      {{"--data-stuck", "16:0"}, false},
      {{"--data-stuck", "3:2"}, false},
      {{"--data-stuck", "3"}, false},
      {{"--addr-stuck", "0:1"}, false},
      {{"--addr-stuck", "25:0"}, true},
      {{"--addr-short", "3:3"}, false},
      {{"--addr-short", "3:4:5"}, false},
      {{"--data-stuck", "2:0", "--data-stuck", "9:1"}, true},
      {{"--addr-short", "3:7", "--addr-short", "7:3"}, false},
      {{"--addr-stuck", "4:0", "--addr-stuck", "4:1"}, false},
      {{"--addr-stuck", "4:0", "--data-stuck", "1:1", "--addr-short", "2:9"}, false},
      {{"--nand-id", "20,f1,00,1d"}, true},
      {{"--nand-id", "20,f1,00"}, false},
      {{"--nand-id", "20,f1,00,1d,5"}, false},
      {{"--nand-id", "20,f1,100,1d"}, false},
      {{"--nand-status", "e1"}, true},
      {{"--nand-status", "-1"}, false},
      {{"--baud", "fast"}, false},
      {{"--baud", "115200x"}, false},
      {{"--boot-delay", "-5"}, false},
      {{"--nak-block", "3:2"}, true},
      {{"--nak-block", "0:2"}, false},
      {{"--cancel-block", ""}, false},
      {{"--link"}, false},
      {{"--bogus"}, false},
      {{"-x"}, false},
      {{"stray"}, false},
  };
  for (const options_case &c : cases) {
    boardsim_options opts;
    std::string shown;
    for (const std::string &a : c.args) shown += a + " ";
    EXPECT_EQ(c.ok, parse(c.args, &opts)) << shown;
  }
}

TEST(BoardsimOptions, FillsTheBoardAndRomSettings) {
  boardsim_options o;
  ASSERT_TRUE(parse({"--checksum", "--baud=115200", "--link", "/tmp/x", "--boot-delay", "300",
                     "--data-stuck", "5:1", "--addr-short", "2:9", "--nand-id", "20,f1,0,1d",
                     "--nand-status", "c0", "--nak-block", "4:2", "--cancel-block", "7"},
                    &o));
  EXPECT_TRUE(o.rom.checksum_mode);
  EXPECT_EQ(115200, o.baud);
  EXPECT_EQ("/tmp/x", o.link_path);
  EXPECT_EQ(300, o.rom.boot_delay_ms);
  ASSERT_EQ(2, o.board.sdram.count);
  EXPECT_TRUE((o.board.sdram.faults[0] == sdram_fault{sdram_fault_kind::data_stuck, 5, 1}));
  EXPECT_TRUE((o.board.sdram.faults[1] == sdram_fault{sdram_fault_kind::addr_short, 2, 9}));
  EXPECT_EQ(0x20, o.board.nand.id[0]);
  EXPECT_EQ(0x1D, o.board.nand.id[3]);
  EXPECT_EQ(0xC0, o.board.nand.final_status);
  EXPECT_EQ(4, o.rom.nak_block);
  EXPECT_EQ(2, o.rom.nak_count);
  EXPECT_EQ(7, o.rom.cancel_block);
}

}  // namespace
