// korvane-diagnose --html: the page of one log, its bus drawn with the
// fault the log shows, written whole or not at all.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "test_files.h"

namespace {

TEST(BusDrawingPage, KorvaneDiagnoseDrawsTheLog) {
  std::string dir = temp_dir("bus_drawing_page");
  struct page_case {
    const char *name;
    std::string log, page;
    int status;
    std::vector<std::string> holds;  // what the page holds
    std::string err;
  } cases[] = {
      {"a stuck data line and a flash fault",
       DIAGNOSE_CORPUS "/data_stuck",
       dir + "/stuck.html",
       0,
       {"data-line=\"D12\" data-mark=\"stuck-1\"",
        "<td>fourth ID byte 0x95 is not maker 0x20&#39;s 0x1d</td>",
        "<pre class=\"diagnosis\">SDRAM: data line 12 stuck at 1\n"},
       ""},
      {"one of two pairs sharing a short",
       DIAGNOSE_CORPUS "/pair",
       dir + "/pair.html",
       0,
       {"data-line=\"A3\" data-mark=\"short\"", "data-line=\"A7\" data-mark=\"short\"",
        "data-line=\"A9\" data-mark=\"one-of\""},
       ""},
      {"a sound board",
       DIAGNOSE_CORPUS "/sound",
       dir + "/sound.html",
       0,
       {"SDRAM: sound\nFLASH: sound\n"},
       ""},
      {"a folder that is not there",
       DIAGNOSE_CORPUS "/sound",
       dir + "/none/sound.html",
       1,
       {},
       "korvane-diagnose: cannot write " + dir + "/none/sound.html: No such file or directory\n"},
  };
  for (const page_case &c : cases) {
    SCOPED_TRACE(c.name);
    pid_t pid = start_child({DIAGNOSE_PATH, "--html", c.page, c.log}, "korvane-diagnose");
    child_result r = finish_child(pid, "korvane-diagnose", 30);
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.err, r.err);
    std::string page = read_file(c.page);
    EXPECT_EQ(c.status == 0, page.find("<!DOCTYPE html>") == 0);
    EXPECT_FALSE(page.find("<script") != std::string::npos);
    for (const std::string &h : c.holds) EXPECT_NE(std::string::npos, page.find(h)) << h;
    EXPECT_TRUE(read_file(c.page + ".part").empty());
  }
  remove_tree(dir);
}

// --nets: the board's names beside the line numbers in every form, and a
// file refused before anything is written.
TEST(BusDrawingPage, NetsNameTheLines) {
  std::string dir = temp_dir("bus_drawing_nets"), nets = dir + "/nets.csv", bad = dir + "/bad.csv",
              page = dir + "/page.html";
  for (const auto &file : {std::make_pair(nets, "D12,SD_D12 U4 pin 7\nA3,MA2\n"),
                           std::make_pair(bad, "D12,a\nD40,b\n")}) {
    FILE *f = fopen(file.first.c_str(), "wb");
    ASSERT_TRUE(f);
    fputs(file.second, f);
    fclose(f);
  }
  struct nets_case {
    const char *name;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> out;  // what standard output holds
    std::string err;
  } cases[] = {
      {"text",
       {"--nets", nets, DIAGNOSE_CORPUS "/data_stuck"},
       0,
       {"SDRAM: data line 12 (SD_D12 U4 pin 7) stuck at 1\n"},
       ""},
      {"JSON",
       {"--json", "--nets=" + nets, DIAGNOSE_CORPUS "/pair"},
       0,
       {"\"line\": 3,\n", "\"net\": \"MA2\"", "\"net\": null",
        "\"words\": \"address lines 3 and 7 shorted\""},
       ""},
      {"the page", {"--nets", nets, "--html", page, DIAGNOSE_CORPUS "/data_stuck"}, 0, {}, ""},
      {"a line the board lacks",
       {"--nets", bad, "--html", dir + "/none.html", DIAGNOSE_CORPUS "/data_stuck"},
       1,
       {},
       "korvane-diagnose: " + bad +
           ": line 2: the board has no line D40 (data lines are D0 to "
           "D15, address lines A1 to A25)\n"},
      {"no file",
       {"--nets", dir + "/absent", DIAGNOSE_CORPUS "/sound"},
       1,
       {},
       "korvane-diagnose: " + dir + "/absent: No such file or directory\n"},
  };
  for (const nets_case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> argv = {DIAGNOSE_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    child_result r = finish_child(start_child(argv, "korvane-diagnose"), "korvane-diagnose", 30);
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.err, r.err);
    if (c.status) {
      EXPECT_EQ("", r.out);
    }
    for (const std::string &o : c.out) EXPECT_NE(std::string::npos, r.out.find(o)) << r.out;
  }
  std::string drawn = read_file(page);
  for (const char *h : {"data-line=\"D12\" data-mark=\"stuck-1\" data-net=\"SD_D12 U4 pin 7\"",
                        "SDRAM: data line 12 (SD_D12 U4 pin 7) stuck at 1"})
    EXPECT_NE(std::string::npos, drawn.find(h)) << h;
  EXPECT_TRUE(read_file(dir + "/none.html").empty());
  remove_tree(dir);
}

}  // namespace
