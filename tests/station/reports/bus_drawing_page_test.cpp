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

}  // namespace
