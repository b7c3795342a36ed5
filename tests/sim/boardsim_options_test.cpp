#include "boardsim_options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "board_list.h"
#include "test_files.h"

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
      {{"--boards", "list", "--baud", "9600"}, true},
      {{"--seed", "4294967295", "--show-seed"}, true},
      {{"--seed", "4294967296"}, false},
      {{"--seed", "-1"}, false},
      {{"--seed", "0x10"}, false},
      {{"--boards", ""}, false},
      {{"--boards", "list", "--data-stuck", "2:0"}, false},
      {{"--nand-never-ready", "--boards", "list"}, false},
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

struct board_line_case {
  const char *line;
  bool ok;
  int sdram_faults;
  uint8_t maker;
};

TEST(BoardsimOptions, BoardLineHoldsOnlyOneBoardsOptions) {
  const board_line_case cases[] = {
      {"", true, 0, 0x2C},
      {"   \t ", true, 0, 0x2C},
      {"--data-stuck 3:1 --addr-short 2:9", true, 2, 0x2C},
      {" --nand-id 00,f1,80,95 --nand-never-ready ", true, 0, 0x00},
      {"--data-stuck 3:1 --data-stuck 3:0", false, 0, 0},
      {"--baud 9600", false, 0, 0},
      {"--checksum", false, 0, 0},
      {"--link /tmp/x", false, 0, 0},
      {"--boards other", false, 0, 0},
      {"--seed 5", false, 0, 0},
      {"--help", false, 0, 0},
      {"--data-stuck", false, 0, 0},
      {"data-stuck 3:1", false, 0, 0},
  };
  for (const board_line_case &c : cases) {
    board_config board;
    std::string why;
    EXPECT_EQ(c.ok, boardsim_parse_board_line(c.line, &board, &why)) << c.line;
    EXPECT_EQ(c.ok, why.empty()) << c.line << ": " << why;
    if (!c.ok) continue;
    EXPECT_EQ(c.sdram_faults, board.sdram.count) << c.line;
    EXPECT_EQ(c.maker, board.nand.id[0]) << c.line;
  }
}

struct board_file_case {
  const char *text;
  size_t boards;        // 0: refused
  const char *message;  // part of the reason when refused
};

TEST(BoardsimOptions, BoardsFileIsOneBoardALine) {
  const board_file_case cases[] = {
      {"\n", 1, ""},
      {"\n--data-stuck 1:1\n\n", 3, ""},
      {"--addr-stuck 4:0", 1, ""},
      {"", 0, "holds no board"},
      {"\n\n--data-stuck 16:0\n", 0, "line 3: bad value '16:0'"},
      {"--nand-status e1\n--timestamps\n", 0, "line 2: only a board's own options"},
  };
  const std::string path = temp_file("boardsim-list");
  ASSERT_NE("", path);
  for (const board_file_case &c : cases) {
    std::ofstream(path) << c.text;
    std::vector<board_config> boards;
    std::string why;
    EXPECT_EQ(c.boards > 0, board_list_read(path, &boards, &why)) << c.text;
    EXPECT_EQ(c.boards, boards.size()) << c.text;
    EXPECT_NE(std::string::npos, why.find(c.message)) << why;
  }
  unlink(path.c_str());
  std::vector<board_config> boards;
  std::string why;
  EXPECT_FALSE(board_list_read(path, &boards, &why));
  EXPECT_NE(std::string::npos, why.find("cannot read the boards file " + path)) << why;
}

}  // namespace
