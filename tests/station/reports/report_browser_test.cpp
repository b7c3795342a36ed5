// The HTML report and history rendered in a headless browser: the counts,
// the charts' bars and the marked bus lines read back from the rendered
// page, no script run from what an operator typed, and a screenshot of each
// page kept in the test's build folder.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "report_boards.h"
#include "test_files.h"

namespace {

const char SCRIPT_SERIAL[] = "<script>document.body.setAttribute('data-ran','yes')</script>";

std::string fault_json(const char *kind, const char *lines, const char *level, const char *wiring,
                       const char *words) {
  return std::string("{\"kind\": \"") + kind + "\", \"lines\": [" + lines +
         "], \"level\": " + level + ", \"wiring\": " + wiring + ", \"words\": \"" + words + "\"}";
}

// A diagnosis document with these SDRAM and flash fault lists.
std::string diagnosis(const std::string &sdram, const std::string &flash) {
  auto test = [](const std::string &faults) {
    return faults.empty() ? std::string("{\"verdict\": \"sound\", \"faults\": []}")
                          : "{\"verdict\": \"faulty\", \"faults\": [" + faults + "]}";
  };
  return "{\"schema\": 2, \"verdict\": \"faulty\", \"sdram\": " + test(sdram) +
         ", \"flash\": " + test(flash) + "}";
}

const std::string DATA5 = fault_json("data_stuck", "5", "1", "null", "data line 5 stuck at 1");
const std::string SHORT3_7 =
    fault_json("address_short", "3, 7", "null", "\"and\"", "address lines 3 and 7 shorted");
const std::string A2 = fault_json("address_stuck", "2", "0", "null", "address line 2 stuck at 0");
const std::string D1 = fault_json("data_stuck", "1", "0", "null", "data line 1 stuck at 0");
const std::string DEVICE = fault_json("device", "", "null", "null", "device 0x00 is not 0xf1");

const std::vector<report_board> BOARDS = {
    // A day with no failure.
    {"P1", "line-1", "1", "2026-12-07T09:00:00Z", 40, "passed", {}, "", ""},
    {"P2", "line-1", "2", "2026-12-07T09:01:00Z", 41, "passed", {}, "", ""},
    {"P3", "line-1", "1", "2026-12-07T09:02:00Z", 42, "passed", {}, "", ""},
    // A day with one board of each fault.
    {"DATA1",
     "line-1",
     "1",
     "2026-12-08T09:00:00Z",
     40,
     "failed",
     {{"sdram", "data_stuck", "data line 5 stuck at 1"}},
     diagnosis(DATA5, ""),
     "logs/DATA1.log"},
    {"SHORT1",
     "line-1",
     "2",
     "2026-12-08T09:01:00Z",
     40,
     "failed",
     {{"sdram", "address_short", "address lines 3 and 7 shorted"}},
     diagnosis(SHORT3_7, ""),
     ""},
    {"AMBIG1",
     "line-1",
     "1",
     "2026-12-08T09:02:00Z",
     40,
     "failed",
     {{"sdram", "one_of", "one of 2 faults: address line 2 stuck at 0; data line 1 stuck at 0"}},
     diagnosis("{\"one_of\": [" + A2 + ", " + D1 + "]}", ""),
     ""},
    {"FLASH1",
     "line-1",
     "2",
     "2026-12-08T09:03:00Z",
     40,
     "failed",
     {{"flash", "device", "device 0x00 is not 0xf1"}},
     diagnosis("", DEVICE),
     ""},
    {SCRIPT_SERIAL,
     "<b>line-2</b>",
     "1",
     "2026-12-08T09:04:00Z",
     40,
     "failed",
     {{"sdram", "data_stuck", "data line 5 stuck at 1"}},
     diagnosis(DATA5, ""),
     ""},
    {"P4", "line-1", "1", "2026-12-08T09:05:00Z", 40, "passed", {}, "", ""},
    {SCRIPT_SERIAL, "<b>line-2</b>", "1", "2026-12-08T10:00:00Z", 40, "passed", {}, "", ""},
};

// The rendered DOM of page, and a screenshot of it kept as shot: one run of
// the browser, with its own empty profile, nothing fetched or synced.
std::string render(const std::string &page, const std::string &shot) {
  std::string profile = temp_dir("report_browser_profile");
  std::vector<std::string> argv = {"/usr/bin/chromium"};
  std::istringstream flags(read_file(CHROMIUM_FLAGS));
  for (std::string flag; flags >> flag;) argv.push_back(flag);
  argv.insert(argv.end(), {"--user-data-dir=" + profile, "--window-size=1000,2600", "--dump-dom",
                           "--screenshot=" + shot, "file://" + page});
  remove(shot.c_str());
  child_result r = finish_child(start_child(argv, "chromium"), "chromium", 90);
  remove_tree(profile);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0u, read_file(shot).find("\x89PNG")) << shot;
  return r.out;
}

// The part of the DOM from the failed board headed by title to the end of
// its section.
std::string board_section(const std::string &dom, const std::string &title) {
  size_t at = dom.find("<h3>" + title + "</h3>");
  if (at == std::string::npos) return "";
  return dom.substr(at, dom.find("</section>", at) - at);
}

bool holds(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

TEST(ReportBrowser, RenderedPagesShowTheFaultsAndRunNoScript) {
  std::string dir = temp_dir("report_browser");
  std::string db = dir + "/station.db", why;
  ASSERT_TRUE(write_board_database(db, BOARDS, &why)) << why;
  std::string report = dir + "/report.html", history = dir + "/history.html";
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"report", "--db", db, "--html", report},
        std::vector<std::string>{"history", SCRIPT_SERIAL, "--db", db, "--html", history}}) {
    std::vector<std::string> argv = {REPORT_DRIVER};
    argv.insert(argv.end(), args.begin(), args.end());
    child_result r = finish_child(start_child(argv, "korvane-station"), "korvane-station", 30);
    ASSERT_EQ(0, r.status) << r.err;
  }

  std::string dom = render(report, SHOT_FOLDER "/report_page.png");
  struct shown_case {
    const char *name;
    std::string part;  // what the rendered page holds
  } shown[] = {
      {"boards tested", "id=\"boards-tested\">10<"},
      {"failed boards", "id=\"boards-failed\">5<"},
      {"first-pass yield", "id=\"first-pass-yield\">44.4%<"},
      {"final yield", "id=\"final-yield\">55.6%<"},
      {"a day with no failure",
       "data-day=\"2026-12-07\" data-boards=\"3\" data-failed=\"0\" "
       "data-yield=\"100.0\""},
      {"the day of the faults", "data-day=\"2026-12-08\" data-boards=\"7\" data-failed=\"5\""},
      {"the commonest fault first",
       "<g class=\"pareto-bar\" data-fault=\"data line 5 stuck at 1\" data-boards=\"2\">"},
      {"a flash fault in the Pareto",
       "data-fault=\"flash: device 0x00 is not 0xf1\" data-boards=\"1\""},
      {"the serial as text",
       "<h3>&lt;script&gt;document.body.setAttribute('data-ran','yes')"
       "&lt;/script&gt;</h3>"},
      {"the station as text", "&lt;b&gt;line-2&lt;/b&gt;"},
  };
  for (const shown_case &c : shown) EXPECT_TRUE(holds(dom, c.part)) << c.name << ": " << c.part;
  EXPECT_FALSE(holds(dom, "<script")) << "a script element came from the data";
  EXPECT_FALSE(holds(dom, "<b>")) << "markup came from the data";
  EXPECT_FALSE(holds(dom, "data-ran=\"yes\"")) << "a script ran";

  struct board_case {
    const char *title;
    std::vector<std::string> marks;
  } boards[] = {
      {"DATA1", {"data-line=\"D5\" data-mark=\"stuck-1\"", "stuck at 1"}},
      {"SHORT1",
       {"data-line=\"A3\" data-mark=\"short\"", "data-line=\"A7\" data-mark=\"short\"",
        "class=\"bridge\"", "shorted A3+A7 (wired AND)"}},
      {"AMBIG1",
       {"data-line=\"D1\" data-mark=\"one-of\"", "data-line=\"A2\" data-mark=\"one-of\"",
        "one of 2:"}},
      {"FLASH1", {"data-check=\"device\"", "<td>device 0x00 is not 0xf1</td>"}},
  };
  for (const board_case &b : boards) {
    std::string section = board_section(dom, b.title);
    ASSERT_FALSE(section.empty()) << b.title;
    for (const std::string &m : b.marks) EXPECT_TRUE(holds(section, m)) << b.title << ": " << m;
    // Exactly the lines its fault names are marked.
    size_t marked = 0;
    for (size_t at = section.find("data-mark="); at != std::string::npos;
         at = section.find("data-mark=", at + 1))
      ++marked;
    size_t named = 0;
    for (const std::string &m : b.marks) named += holds(m, "data-mark=") ? 1 : 0;
    EXPECT_EQ(named, marked) << b.title;
  }
  EXPECT_TRUE(board_section(dom, "P1").empty()) << "a passed board among the failed";

  std::string page = render(history, SHOT_FOLDER "/history_page.png");
  EXPECT_TRUE(holds(page, "<p id=\"cycles\">2 cycles, oldest first</p>"));
  EXPECT_TRUE(holds(page, "data-line=\"D5\" data-mark=\"stuck-1\""));
  EXPECT_TRUE(holds(page, "data-outcome=\"failed\""));
  EXPECT_TRUE(holds(page, "data-outcome=\"passed\""));
  EXPECT_FALSE(holds(page, "<script"));
  EXPECT_FALSE(holds(page, "data-ran=\"yes\""));
  remove_tree(dir);
}

}  // namespace
