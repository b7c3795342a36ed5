// The run's reports as a CI server reads them: the JUnit report parsed back
// with an XML parser, the JSON with a JSON parser, both written whole or
// not at all.
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sys/stat.h>
#include <tinyxml2.h>

#include "station/records/board_json.h"
#include "station/records/board_row.h"
#include "station/records/run_files.h"
#include "test_files.h"

namespace {

board_record board(const std::string &serial, board_outcome outcome) {
  board_record b;
  b.id = 7;
  b.serial = serial;
  b.slot = "left";
  b.port = "/dev/ttyUSB0";
  b.station = "bench-3";
  b.operator_name = "kim";
  b.started = "2026-12-09T11:22:12Z";
  b.ended = "2026-12-09T11:23:02Z";
  b.seconds = 50.25;
  b.outcome = outcome;
  b.korvane_status = 0;
  b.log = "korvane-logs/" + serial + ".log";
  return b;
}

// A diagnosis's JSON with one SDRAM group per entry.
struct group {
  const char *words;
  bool passed;
  const char *verdict;
  int passes;
  std::vector<int> first_passes;
};
std::string sdram_json(const std::vector<group> &groups) {
  nlohmann::json list = nlohmann::json::array();
  for (const group &g : groups)
    list.push_back({{"words", g.words},
                    {"result", g.passed ? "passed" : "failed"},
                    {"verdict", g.verdict},
                    {"faults", nlohmann::json::array()},
                    {"passes", g.passes},
                    {"first_passes", g.first_passes}});
  return nlohmann::json{{"sdram", {{"groups", list}}}, {"flash", nullptr}}.dump();
}

struct suite_seen {
  std::string name, hostname, timestamp, time;
  int tests = -1, failures = -1, errors = -1, skipped = -1;
  std::map<std::string, std::string> properties;
  // "SDRAM pass 2: data line 5 stuck at 1 (faulty)" for every testcase
  // that did not pass; "SDRAM pass 1" for one that did.
  std::vector<std::string> cases;
};

int int_attribute(const tinyxml2::XMLElement *e, const char *name) {
  return e->IntAttribute(name, -1);
}

std::string text_attribute(const tinyxml2::XMLElement *e, const char *name) {
  const char *value = e->Attribute(name);
  return value ? value : "(none)";
}

std::vector<suite_seen> read_junit(const std::string &path) {
  tinyxml2::XMLDocument doc;
  EXPECT_EQ(tinyxml2::XML_SUCCESS, doc.LoadFile(path.c_str())) << read_file(path);
  std::vector<suite_seen> out;
  const tinyxml2::XMLElement *root = doc.FirstChildElement("testsuites");
  if (!root) return out;
  for (const tinyxml2::XMLElement *s = root->FirstChildElement("testsuite"); s;
       s = s->NextSiblingElement("testsuite")) {
    suite_seen seen;
    seen.name = text_attribute(s, "name");
    seen.hostname = text_attribute(s, "hostname");
    seen.timestamp = text_attribute(s, "timestamp");
    seen.time = text_attribute(s, "time");
    seen.tests = int_attribute(s, "tests");
    seen.failures = int_attribute(s, "failures");
    seen.errors = int_attribute(s, "errors");
    seen.skipped = int_attribute(s, "skipped");
    if (const tinyxml2::XMLElement *p = s->FirstChildElement("properties"))
      for (const tinyxml2::XMLElement *e = p->FirstChildElement("property"); e;
           e = e->NextSiblingElement("property"))
        seen.properties[text_attribute(e, "name")] = text_attribute(e, "value");
    for (const tinyxml2::XMLElement *c = s->FirstChildElement("testcase"); c;
         c = c->NextSiblingElement("testcase")) {
      std::string line = text_attribute(c, "name");
      for (const char *kind : {"failure", "error", "skipped"}) {
        const tinyxml2::XMLElement *e = c->FirstChildElement(kind);
        if (!e) continue;
        std::string type = std::string(kind) == "skipped" ? "skipped" : text_attribute(e, "type");
        line += ": " + text_attribute(e, "message") + " (" + type + ")";
      }
      seen.cases.push_back(line);
    }
    out.push_back(seen);
  }
  return out;
}

class RunReport : public ::testing::Test {
 protected:
  void SetUp() override { dir = temp_dir("run_report"); }
  void TearDown() override { remove_tree(dir); }
  std::string dir;
};

TEST_F(RunReport, JunitHoldsASuitePerBoardAndACasePerPass) {
  struct junit_case {
    const char *what;
    board_record b;
    std::string name;
    int tests, failures, errors, skipped;
    std::vector<std::string> cases;
  };
  board_record sound = board("KV-0001", board_outcome::passed);
  sound.sdram_passes = 2;
  sound.flash_passes = 1;

  board_record stuck = board("KV-0002", board_outcome::failed);
  stuck.sdram_passes = 3;
  stuck.sdram_failed = 2;
  stuck.korvane_status = 8;
  stuck.diagnosis_json = sdram_json(
      {{"passed", true, "sound", 1, {1}}, {"data line 5 stuck at 1", false, "faulty", 2, {2, 3}}});

  // Beyond the passes the diagnosis lists by number, the counts still hold.
  board_record soak = board("KV-0003", board_outcome::failed);
  soak.sdram_passes = 5;
  soak.sdram_failed = 3;
  soak.diagnosis_json = sdram_json({{"passed", true, "sound", 2, {1, 3}},
                                    {"address lines 3 and 4 shorted", false, "faulty", 3, {2}}});

  // The slot saw which passes failed: the later failures keep their numbers.
  board_record seen = soak;
  seen.diagnosis_json = sdram_json({{"passed", true, "sound", 2, {1}},
                                    {"address lines 3 and 4 shorted", false, "faulty", 3, {2}}});
  seen.sdram_pass_failed = {false, true, false, true, true};

  board_record flash = board("KV-0004", board_outcome::failed);
  flash.flash_passes = 1;
  flash.flash_failed = 1;
  flash.faults = {{"flash", "ecc", "the NAND chip's ID reads 0xFF"}};

  board_record no_serial = board("", board_outcome::passed);
  no_serial.sdram_passes = 1;

  board_record lost = board("KV-0005", board_outcome::error);
  lost.korvane_status = 1;
  lost.message = "korvane: the port /dev/ttyUSB0 was lost";

  board_record silent = board("KV-0006", board_outcome::error);
  silent.korvane_status = 1;

  board_record stopped = board("KV-0007", board_outcome::interrupted);
  stopped.sdram_passes = 1;

  board_record markup = board("'; DROP TABLE boards; -- <&\">", board_outcome::passed);
  markup.flash_passes = 1;

  const junit_case cases[] = {
      {"sound", sound, "KV-0001", 3, 0, 0, 0, {"SDRAM pass 1", "SDRAM pass 2", "FLASH pass 1"}},
      {"stuck data line",
       stuck,
       "KV-0002",
       3,
       2,
       0,
       0,
       {"SDRAM pass 1", "SDRAM pass 2: data line 5 stuck at 1 (faulty)",
        "SDRAM pass 3: data line 5 stuck at 1 (faulty)"}},
      {"soak",
       soak,
       "KV-0003",
       5,
       3,
       0,
       0,
       {"SDRAM pass 1", "SDRAM pass 2: address lines 3 and 4 shorted (faulty)", "SDRAM pass 3",
        "SDRAM pass 4: address lines 3 and 4 shorted (faulty)",
        "SDRAM pass 5: address lines 3 and 4 shorted (faulty)"}},
      {"soak seen pass by pass",
       seen,
       "KV-0003",
       5,
       3,
       0,
       0,
       {"SDRAM pass 1", "SDRAM pass 2: address lines 3 and 4 shorted (faulty)", "SDRAM pass 3",
        "SDRAM pass 4: address lines 3 and 4 shorted (faulty)",
        "SDRAM pass 5: address lines 3 and 4 shorted (faulty)"}},
      {"flash without a diagnosis",
       flash,
       "KV-0004",
       1,
       1,
       0,
       0,
       {"FLASH pass 1: the NAND chip's ID reads 0xFF (failed)"}},
      {"no serial", no_serial, "left 2026-12-09T11:22:12Z", 1, 0, 0, 0, {"SDRAM pass 1"}},
      {"port lost",
       lost,
       "KV-0005",
       1,
       0,
       1,
       0,
       {"korvane: korvane: the port /dev/ttyUSB0 was lost (error)"}},
      {"error without a message",
       silent,
       "KV-0006",
       1,
       0,
       1,
       0,
       {"korvane: korvane ended with status 1 (error)"}},
      {"interrupted",
       stopped,
       "KV-0007",
       2,
       0,
       0,
       1,
       {"SDRAM pass 1", "board: interrupted before the board's tests ended (skipped)"}},
      {"markup in the serial", markup, markup.serial, 1, 0, 0, 0, {"FLASH pass 1"}},
  };
  for (const junit_case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = dir + "/run.xml";
    std::string why;
    ASSERT_TRUE(write_run_junit(path, {c.b}, &why)) << why;
    std::vector<suite_seen> suites = read_junit(path);
    ASSERT_EQ(1u, suites.size());
    suite_seen &s = suites[0];
    EXPECT_EQ(c.name, s.name);
    EXPECT_EQ("bench-3", s.hostname);
    EXPECT_EQ("2026-12-09T11:22:12", s.timestamp);
    EXPECT_EQ("50.250", s.time);
    EXPECT_EQ(c.tests, s.tests);
    EXPECT_EQ(c.failures, s.failures);
    EXPECT_EQ(c.errors, s.errors);
    EXPECT_EQ(c.skipped, s.skipped);
    EXPECT_EQ(c.cases, s.cases);
    EXPECT_EQ(c.b.serial, s.properties["serial"]);
    EXPECT_EQ("left", s.properties["slot"]);
    EXPECT_EQ("/dev/ttyUSB0", s.properties["port"]);
    EXPECT_EQ("kim", s.properties["operator"]);
    EXPECT_EQ(board_outcome_name(c.b.outcome), s.properties["outcome"]);
  }
}

TEST_F(RunReport, JunitSumsEveryBoardOfTheRun) {
  board_record a = board("A", board_outcome::failed);
  a.sdram_passes = 2;
  a.sdram_failed = 1;
  board_record b = board("B", board_outcome::error);
  std::string path = dir + "/run.xml";
  ASSERT_TRUE(write_run_junit(path, {a, b}, nullptr));
  tinyxml2::XMLDocument doc;
  ASSERT_EQ(tinyxml2::XML_SUCCESS, doc.LoadFile(path.c_str()));
  const tinyxml2::XMLElement *root = doc.FirstChildElement("testsuites");
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(3, root->IntAttribute("tests"));
  EXPECT_EQ(1, root->IntAttribute("failures"));
  EXPECT_EQ(1, root->IntAttribute("errors"));
  EXPECT_EQ(2u, read_junit(path).size());
}

// The table's columns, as the station creates them.
std::set<std::string> board_columns() {
  std::string schema = board_tables_sql(board_tables());
  size_t start = schema.find("CREATE TABLE IF NOT EXISTS boards (");
  size_t end = schema.find(");", start);
  std::set<std::string> out;
  if (start == std::string::npos || end == std::string::npos) return out;
  size_t line = schema.find('\n', start) + 1;
  while (line < end) {
    size_t next = schema.find('\n', line);
    size_t first = schema.find_first_not_of(' ', line);
    size_t space = schema.find(' ', first);
    if (first < next && space < next) out.insert(schema.substr(first, space - first));
    line = next + 1;
  }
  return out;
}

TEST_F(RunReport, JsonHoldsEveryColumnAndTheFaults) {
  std::set<std::string> columns = board_columns();
  ASSERT_GE(columns.size(), 19u);
  board_record faulty = board("'; DROP TABLE boards; --", board_outcome::failed);
  faulty.sdram_passes = 1;
  faulty.sdram_failed = 1;
  faulty.faults = {{"sdram", "data_stuck", "data line 5 stuck at 1"}};
  faulty.diagnosis = "SDRAM: 1 pass, 1 failed\n";
  board_record bare = board("", board_outcome::error);
  bare.operator_name.clear();
  bare.korvane_status = -1;
  bare.log.clear();

  std::string path = dir + "/run.json";
  std::string why;
  ASSERT_TRUE(write_run_json(path, {faulty, bare}, &why)) << why;
  nlohmann::json doc = nlohmann::json::parse(read_file(path), nullptr, false);
  ASSERT_TRUE(doc.is_object());
  ASSERT_EQ(2u, doc["boards"].size());
  for (const nlohmann::json &record : doc["boards"]) {
    std::set<std::string> keys;
    for (auto it = record.begin(); it != record.end(); ++it) keys.insert(it.key());
    keys.erase("faults");
    EXPECT_EQ(columns, keys);
  }
  const nlohmann::json &f = doc["boards"][0];
  EXPECT_EQ("'; DROP TABLE boards; --", f["serial"]);
  EXPECT_EQ("failed", f["outcome"]);
  EXPECT_EQ(50.25, f["seconds"]);
  EXPECT_EQ(1, f["sdram_failed"]);
  EXPECT_EQ(0, f["korvane_status"]);
  EXPECT_EQ((nlohmann::json{
                {{"test", "sdram"}, {"kind", "data_stuck"}, {"words", "data line 5 stuck at 1"}}}),
            f["faults"]);
  // What the table holds as NULL is null, not an empty string.
  const nlohmann::json &b = doc["boards"][1];
  for (const char *null_column :
       {"serial", "operator", "korvane_status", "message", "log", "diagnosis", "diagnosis_json"})
    EXPECT_TRUE(b[null_column].is_null()) << null_column;
}

TEST_F(RunReport, AReportIsReplacedWholeOrLeftAsItWas) {
  std::string path = dir + "/run.json";
  ASSERT_TRUE(write_run_json(path, {board("A", board_outcome::passed)}, nullptr));
  std::string before = read_file(path);
  ASSERT_TRUE(write_run_json(
      path, {board("A", board_outcome::passed), board("B", board_outcome::passed)}, nullptr));
  EXPECT_NE(before, read_file(path));
  EXPECT_EQ(2u, nlohmann::json::parse(read_file(path))["boards"].size());
  struct stat st;
  EXPECT_NE(0, stat((path + ".tmp").c_str(), &st)) << "the temporary file stayed";

  struct failing_case {
    const char *what;
    std::string path;
  };
  ASSERT_EQ(0, mkdir((dir + "/taken").c_str(), 0755));
  const failing_case failing[] = {
      {"missing folder", dir + "/missing/run.xml"},
      {"a folder in the way", dir + "/taken"},
  };
  for (const failing_case &c : failing) {
    SCOPED_TRACE(c.what);
    std::string why;
    EXPECT_FALSE(write_run_junit(c.path, {board("A", board_outcome::passed)}, &why));
    EXPECT_EQ(0u, why.find("cannot write " + c.path + ": ")) << why;
    EXPECT_NE(0, stat((c.path + ".tmp").c_str(), &st)) << "the temporary file stayed";
  }
  struct stat folder;
  ASSERT_EQ(0, stat((dir + "/taken").c_str(), &folder));
  EXPECT_TRUE(S_ISDIR(folder.st_mode));
}

}  // namespace

namespace {

// Board by board, each report is what the whole run's text would be, and
// a reader who opened it before a board sees the report as it was then.
TEST_F(RunReport, BoardsAddedOneByOneMakeTheWholeReport) {
  board_record failed = board("B", board_outcome::failed);
  failed.sdram_passes = 2;
  failed.sdram_failed = 1;
  const std::vector<board_record> run = {board("A", board_outcome::passed), failed,
                                         board("C", board_outcome::error),
                                         board("D", board_outcome::interrupted)};
  for (report_kind kind : {report_kind::json, report_kind::junit}) {
    std::string path = dir + (kind == report_kind::json ? "/run.json" : "/run.xml");
    auto whole = kind == report_kind::json ? run_json_text : run_junit_text;
    std::string why;
    run_report *r = run_report_start(path, kind, &why);
    ASSERT_TRUE(r) << why;
    std::vector<board_record> so_far;
    board_counts counts;
    unit_tally units;
    EXPECT_EQ(whole(so_far), read_file(path));
    for (const board_record &b : run) {
      FILE *reader = fopen(path.c_str(), "rb");
      std::string before = read_file(path);
      board_counts_add(&counts, &units, b.serial, b.outcome, true);
      ASSERT_TRUE(run_report_add(r, b, counts, &why)) << why;
      so_far.push_back(b);
      EXPECT_EQ(whole(so_far), read_file(path));
      std::string seen(before.size() + 100, '\0');
      seen.resize(fread(&seen[0], 1, seen.size(), reader));
      fclose(reader);
      EXPECT_EQ(before, seen);
    }
    run_report_end(r);
    EXPECT_EQ(whole(run), read_file(path));
  }
  EXPECT_EQ(4u, nlohmann::json::parse(read_file(dir + "/run.json"))["boards"].size());
  EXPECT_EQ(4u, read_junit(dir + "/run.xml").size());
  // Nothing left beside them but the reports.
  struct stat st;
  for (const char *copy : {"/.run.json.copy-a", "/.run.json.copy-b", "/.run.xml.copy-a"})
    EXPECT_NE(0, stat((dir + copy).c_str(), &st)) << copy;
  EXPECT_FALSE(run_report_start(dir + "/missing/run.json", report_kind::json, nullptr));
}

// Both reports end with the counts the station gives, after a board or
// with none (boards left not recorded, a slot error); counts that shrink
// ("100.0%" to "-") leave nothing of the longer text behind. Each row: the
// board added ("" for none), then tested, passed, failed, errors,
// interrupted, not recorded, slot errors and the two yields.
TEST_F(RunReport, EndsWithTheCountsTheStationGives) {
  const std::pair<const char *, const char *> steps[] = {
      {"A passed", "1 1 0 0 0 0 0 100.0% 100.0%"},
      {"B failed", "2 1 1 0 0 0 0 50.0% 50.0%"},
      {"B passed", "3 2 1 0 0 0 0 50.0% 100.0%"},
      {"C error", "4 2 1 1 0 0 0 33.3% 66.7%"},
      {"D interrupted", "5 2 1 1 1 0 0 33.3% 66.7%"},
      {"", "6 2 1 1 1 1 1 33.3% 66.7%"},
      {"", "0 0 0 0 0 0 0 - -"}};
  std::string why;
  run_report *json = run_report_start(dir + "/run.json", report_kind::json, &why);
  run_report *junit = run_report_start(dir + "/run.xml", report_kind::junit, &why);
  ASSERT_TRUE(json && junit) << why;
  board_counts counts;
  unit_tally units;
  for (const auto &step : steps) {
    std::string added = step.first;
    if (!added.empty()) {
      board_outcome outcome = board_outcome::passed;
      ASSERT_TRUE(board_outcome_from_name(added.substr(2), &outcome));
      board_record b = board(added.substr(0, 1), outcome);
      board_counts_add(&counts, &units, b.serial, outcome, true);
      ASSERT_TRUE(run_report_add(json, b, counts, &why) && run_report_add(junit, b, counts, &why));
    } else {
      if (step.second[0] == '0') {
        counts = board_counts();
      } else {
        board_counts_add(&counts, &units, "E", board_outcome::passed, false);
        counts.slot_errors = 1;
      }
      ASSERT_TRUE(run_report_count(json, counts, &why) && run_report_count(junit, counts, &why));
    }
    nlohmann::json doc = nlohmann::json::parse(read_file(dir + "/run.json"), nullptr, false);
    ASSERT_TRUE(doc.is_object()) << read_file(dir + "/run.json");
    std::string from_json;
    for (const char *n :
         {"tested", "passed", "failed", "errors", "interrupted", "not_recorded", "slot_errors"})
      from_json += std::to_string(doc["counts"].value(n, -1)) + " ";
    for (const char *n : {"first_pass_yield", "final_yield"}) {
      const nlohmann::json &y = doc["counts"][n];
      from_json += yield_text(y.is_number() ? y.get<double>() * 100 : -1) + " ";
    }
    from_json.pop_back();
    tinyxml2::XMLDocument xml;
    ASSERT_EQ(tinyxml2::XML_SUCCESS, xml.LoadFile((dir + "/run.xml").c_str()));
    std::string from_junit;
    const tinyxml2::XMLElement *p = xml.RootElement()->LastChildElement("properties");
    for (const tinyxml2::XMLElement *e = p ? p->FirstChildElement("property") : nullptr; e;
         e = e->NextSiblingElement("property"))
      from_junit += (from_junit.empty() ? "" : " ") + text_attribute(e, "value");
    EXPECT_EQ(step.second, from_json) << step.first;
    EXPECT_EQ(step.second, from_junit) << step.first;
  }
  run_report_end(json);
  run_report_end(junit);
}

}  // namespace
