// The built korvane-diagnose, native or korvane-diagnose.exe under Wine, as
// a test station runs it: a table of logs made from the shared fault model,
// each read as text, as JSON, as JUnit XML (read back with an XML parser) and
// for its exit status; and a table of logs as korvane wrote them, with every
// line end, whose output must be the same byte for byte on both builds.
#include <gtest/gtest.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <algorithm>
#include <string>
#include <vector>

#include "child_process.h"
#include "korvane_logs.h"
#include "korvane_program.h"
#include "report.h"
#include "sdram_fault_names.h"
#include "test_files.h"

namespace {

struct run_result {
  int status = -1;
  std::string out, err;
};

run_result diagnose(const std::string &log, std::vector<std::string> args) {
  run_result r;
  std::string path = temp_file("diagnose-log");
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return r;
  fwrite(log.data(), 1, log.size(), f);
  fclose(f);
  args.push_back(path);
  pid_t pid = start_child(program_command(tested_program::diagnose, args), "korvane-diagnose");
  child_result c = finish_child(pid, "korvane-diagnose", 30);
  unlink(path.c_str());
  r.status = c.status;
  r.out = c.out;
  r.err = c.err;
  return r;
}

// A fault object read back by its fields: "kind lines [at level] [wiring]",
// e.g. "address_short 3,7 and"; its words must be the text report's.
std::string fault_json(const nlohmann::json &f) {
  std::string out = f.at("kind").get<std::string>();
  std::string lines;
  for (const nlohmann::json &l : f.at("lines")) lines += (lines.empty() ? "" : ",") + l.dump();
  if (!lines.empty()) out += " " + lines;
  if (!f.at("level").is_null()) out += " at " + f.at("level").dump();
  if (!f.at("wiring").is_null()) out += " " + f.at("wiring").get<std::string>();
  if (!f.at("words").is_string()) out += " (no words)";
  return out;
}

// An entry: a fault, a pair "(a + b)", or "one of (x | y)".
std::string entry_json(const nlohmann::json &e) {
  if (e.is_object() && e.contains("one_of")) {
    std::string out;
    for (const nlohmann::json &h : e.at("one_of"))
      out += (out.empty() ? "" : " | ") + entry_json(h);
    return "one of (" + out + ")";
  }
  if (e.is_array()) return "(" + fault_json(e.at(0)) + " + " + fault_json(e.at(1)) + ")";
  return fault_json(e);
}

// What the JSON says of one test, in a short form to compare:
// "passes failed verdict [entry; entry]", then "unreadable N" when any
// pass of it could not be read; or "null".
std::string test_json(const nlohmann::json &t) {
  if (t.is_null()) return "null";
  std::string faults;
  for (const nlohmann::json &e : t.at("faults"))
    faults += (faults.empty() ? "" : "; ") + entry_json(e);
  const long unreadable = t.at("unreadable").get<long>();
  return std::to_string(t.at("passes").get<long>()) + " " +
         std::to_string(t.at("failed").get<long>()) + " " + t.at("verdict").get<std::string>() +
         " [" + faults + "]" + (unreadable ? " unreadable " + std::to_string(unreadable) : "");
}

struct log_row {
  const char *name;
  std::string log;
  std::string text;   // the text report; empty for a refused log
  const char *sdram;  // test_json of "sdram"
  const char *flash;
  int testcases;              // <testcase> elements of the JUnit report
  int failures;               // <failure> elements
  const char *first_failure;  // the first <failure>'s message
  int status;                 // with --exit-status
};

TEST(DiagnoseProgram, ReportsEachLogAsTextJsonJunitAndStatus) {
  const std::string sound = traced_sdram_test(sdram_fault_config{});
  const std::string flash = traced_flash_test(good_flash());
  flash_reading never_ready = good_flash(), no_maker = good_flash(), misread = good_flash();
  misread.status = 0x00;
  never_ready.status = 0x80;
  no_maker.id[0] = 0x00;
  // Three faults on one board: a pair, and a third line stuck on top.
  sdram_reads three = reads_of(sdram_fault_set({{SHORT, 3, 7}, {STUCK, 20, 0}}));
  sdram_fault_config d9 = sdram_fault_set({{DATA, 9, 1}});
  for (uint16_t &v : three.value) v = sdram_fault_word(d9, v);
  std::string plain_continuous;
  for (int pass = 1; pass <= 5; ++pass)
    plain_continuous += plain_test(true, pass % 2) + plain_test(false, true);
  const std::string d5 = traced_sdram_test(sdram_fault_set({{DATA, 5, 1}}));
  const std::string advice = NO_TRACE_ADVICE;
  // The only failed pass damaged, in each way that noise or a cut leaves:
  // a byte of its data start line ("D0", bytes 17 and 18) flipped or NUL, a
  // byte of its title flipped, its result line missing, a burst of noise
  // longer than any line, the log cut in the next test.
  std::string flipped = d5, nul = d5, title = d5;
  flipped[18] = '\xb0';
  nul[18] = '\0';
  title[9] = 'd';
  const std::string no_result = d5.substr(0, d5.size() - 7);
  const std::string noise = d5.substr(0, 21) + std::string(1100, '~') + "\r\n" + d5.substr(21);
  flash_reading busy{};  // a chip never ready, its status 0x00 in every load
  const std::string unread =
      "SDRAM: no verdict: its only pass is unreadable\nFLASH: sound\nUnreadable: 1 pass, left "
      "out (";

  const log_row rows[] = {
      {"sound", sound + flash, "SDRAM: sound\nFLASH: sound\n", "1 0 sound []", "1 0 sound []", 2, 0,
       "", 0},
      {"data line stuck", d5 + flash, "SDRAM: data line 5 stuck at 1\nFLASH: sound\n",
       "1 1 faulty [data_stuck 5 at 1]", "1 0 sound []", 2, 1, "data line 5 stuck at 1", 8},
      {"address line stuck, either level", traced_sdram_test(sdram_fault_set({{STUCK, 25, 0}})),
       "SDRAM: one of 2 faults: address line 25 stuck at 0; address line 25 stuck at 1\n",
       "1 1 faulty [one of (address_stuck 25 at 0 | address_stuck 25 at 1)]", "null", 1, 1,
       "one of 2 faults: address line 25 stuck at 0; address line 25 stuck at 1", 8},
      {"address lines shorted", traced_sdram_test(sdram_fault_set({{SHORT, 3, 7}})),
       "SDRAM: address lines 3 and 7 shorted\n", "1 1 faulty [address_short 3,7 and]", "null", 1, 1,
       "address lines 3 and 7 shorted", 8},
      {"flash never ready", traced_flash_test(never_ready),
       "FLASH: never became ready (status 0x80 after the reset)\n", "null",
       "1 1 faulty [never_ready]", 1, 1, "never became ready (status 0x80 after the reset)", 16},
      {"a pair", traced_sdram_test(sdram_fault_set({{DATA, 6, 0}, {SHORT, 9, 12}})) + flash,
       "SDRAM: two faults: data line 6 stuck at 0 and address lines 9 and 12 shorted\n"
       "FLASH: sound\n",
       "1 1 faulty [(data_stuck 6 at 0 + address_short 9,12 and)]", "1 0 sound []", 2, 1,
       "two faults: data line 6 stuck at 0 and address lines 9 and 12 shorted", 8},
      {"three faults", traced_sdram_test(three) + traced_flash_test(no_maker),
       "SDRAM: no single fault or pair fits this trace\n"
       "FLASH: maker 0x00 is neither 0x20 nor 0x2c\n",
       "1 1 unexplained []", "1 1 faulty [maker]", 2, 2, "no single fault or pair fits this trace",
       24},
      {"plain, one pass", plain_test(true, false) + plain_test(false, true),
       "SDRAM: failed\nFLASH: passed\n" + advice, "1 1 not diagnosed []", "1 0 not diagnosed []", 2,
       1, "failed", 8},
      {"plain, continuous", plain_continuous,
       "SDRAM: failed in 2 of 5 passes (2, 4); the others passed\n"
       "FLASH: passed in all 5 passes\n" +
           advice,
       "5 2 not diagnosed []", "5 0 not diagnosed []", 10, 2, "failed", 8},
      {"cut short", d5 + flash + sound + flash + sound.substr(0, 300),
       "SDRAM: data line 5 stuck at 1 in 1 of 2 passes (1); the others sound\n"
       "FLASH: sound in all 2 passes\n",
       "2 1 faulty [data_stuck 5 at 1]", "2 0 sound []", 4, 1, "data line 5 stuck at 1", 8},
      {"flash ready late",
       traced_flash_test(good_flash())
           .replace(traced_flash_test(good_flash()).find("passed"), 6, "failed"),
       "FLASH: not ready within the monitor's wait; ready later (status 0xe0)\n", "null",
       "1 1 faulty [late_ready]", 1, 1,
       "not ready within the monitor's wait; ready later (status 0xe0)", 16},
      {"status misread", traced_flash_test(misread),
       "FLASH: status 0x00, read without its Read Status command\n", "null",
       "1 1 faulty [status_misread]", 1, 1, "status 0x00, read without its Read Status command",
       16},
      {"data lines shorted, wired OR", traced_sdram_test(sdram_fault_set({{DSHORT_OR, 0, 1}})),
       "SDRAM: data lines 0 and 1 shorted (wired OR)\n", "1 1 faulty [data_short 0,1 or]", "null",
       1, 1, "data lines 0 and 1 shorted (wired OR)", 8},
      {"a floating line and an OR short",
       traced_sdram_test(sdram_fault_set({{FLOATING, 4}, {SHORT_OR, 9, 12}})),
       "SDRAM: two faults: data line 4 floating and address lines 9 and 12 shorted (wired OR)\n",
       "1 1 faulty [(data_floating 4 + address_short 9,12 or)]", "null", 1, 1,
       "two faults: data line 4 floating and address lines 9 and 12 shorted (wired OR)", 8},
      {"shorts on both buses, ambiguous",
       traced_sdram_test(sdram_fault_set({{DSHORT, 1, 8}, {SHORT_OR, 2, 20}})),
       "SDRAM: one of 2 pairs of faults: data lines 1 and 8 shorted and address lines 2 and 20 "
       "shorted (wired OR); data lines 1 and 8 shorted and address lines 2 and 22 shorted (wired "
       "OR)\n",
       "1 1 faulty [one of ((data_short 1,8 and + address_short 2,20 or) | (data_short 1,8 and + "
       "address_short 2,22 or))]",
       "null", 1, 1,
       "one of 2 pairs of faults: data lines 1 and 8 shorted and address lines 2 and 20 shorted "
       "(wired OR); data lines 1 and 8 shorted and address lines 2 and 22 shorted (wired OR)",
       8},
      {"the only failed pass with a flipped byte", flipped + flash,
       unread + "line 2: expected \"D0\", found \"D\\xb0\")\n", "0 0 no verdict [] unreadable 1",
       "1 0 sound []", 2, 0, "", 4},
      {"the only failed pass with a NUL byte", nul + flash,
       unread + "line 2: expected \"D0\", found \"D\\x00\")\n", "0 0 no verdict [] unreadable 1",
       "1 0 sound []", 2, 0, "", 4},
      {"the only failed pass with a damaged title", title + flash,
       unread + "line 1: expected \"Testing SDRAM...\" or \"Testing FLASH...\", found \"Testing "
                "SdRAM...\")\n",
       "0 0 no verdict [] unreadable 1", "1 0 sound []", 2, 0, "", 4},
      {"the only failed pass without its result", no_result + flash,
       unread + "line 304: expected \"passed\" or \"failed\", found \"Testing FLASH...\")\n",
       "0 0 no verdict [] unreadable 1", "1 0 sound []", 2, 0, "", 4},
      {"the only failed pass with 1.1 KB of noise", noise + flash,
       unread + "line 3: a line longer than 1024 characters, which no korvane log has)\n",
       "0 0 no verdict [] unreadable 1", "1 0 sound []", 2, 0, "", 4},
      {"a damaged failed pass among sound ones", sound + flash + flipped + flash,
       "SDRAM: sound in 1 of 2 passes, 1 unreadable\nFLASH: sound in all 2 passes\n"
       "Unreadable: 1 pass, left out (line 242: expected \"D0\", found \"D\\xb0\")\n",
       "1 0 no verdict [] unreadable 1", "2 0 sound []", 4, 0, "", 4},
      {"cut in the first flash test", d5 + flash.substr(0, 30),
       "SDRAM: data line 5 stuck at 1\nFLASH: no verdict: its only pass is unreadable\n"
       "Unreadable: 1 pass, left out (line 306: the log ends inside the FLASH test that begins "
       "at line 305)\n",
       "1 1 faulty [data_stuck 5 at 1]", "0 0 no verdict [] unreadable 1", 2, 1,
       "data line 5 stuck at 1", 8},
      {"flash never ready, status 0x00", traced_flash_test(busy),
       "FLASH: never became ready (status 0x00 after the reset)\n", "null",
       "1 1 faulty [never_ready]", 1, 1, "never became ready (status 0x00 after the reset)", 16},
      {"foreign", "hello\n", "", "", "", 0, 0, "", 1},
  };
  for (const log_row &row : rows) {
    SCOPED_TRACE(row.name);
    run_result text = diagnose(row.log, {});
    if (row.text.empty()) {
      EXPECT_EQ(1, text.status);
      EXPECT_EQ("", text.out);
      EXPECT_NE(std::string::npos, text.err.find(": line 1: ")) << text.err;
      EXPECT_EQ(1, diagnose(row.log, {"--json", "--exit-status"}).status);
      continue;
    }
    EXPECT_EQ(0, text.status) << text.err;
    EXPECT_EQ(row.text, text.out);

    run_result json = diagnose(row.log, {"--json"});
    EXPECT_EQ(0, json.status) << json.err;
    nlohmann::json doc = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << json.out;
    EXPECT_EQ(2, doc.at("schema").get<int>());
    EXPECT_EQ(row.sdram, test_json(doc.at("sdram")));
    EXPECT_EQ(row.flash, test_json(doc.at("flash")));

    run_result junit = diagnose(row.log, {"--junit"});
    EXPECT_EQ(0, junit.status) << junit.err;
    tinyxml2::XMLDocument xml;
    ASSERT_EQ(tinyxml2::XML_SUCCESS, xml.Parse(junit.out.c_str())) << junit.out;
    const tinyxml2::XMLElement *suites = xml.FirstChildElement("testsuites");
    ASSERT_NE(nullptr, suites);
    int testcases = 0, failures = 0;
    std::string first;
    for (const tinyxml2::XMLElement *suite = suites->FirstChildElement("testsuite"); suite;
         suite = suite->NextSiblingElement("testsuite")) {
      EXPECT_TRUE(suite->Attribute("name", "SDRAM") || suite->Attribute("name", "FLASH"))
          << suite->Attribute("name");
      for (const tinyxml2::XMLElement *c = suite->FirstChildElement("testcase"); c;
           c = c->NextSiblingElement("testcase")) {
        ++testcases;
        const tinyxml2::XMLElement *failure = c->FirstChildElement("failure");
        if (!failure) continue;
        if (failures++ == 0) first = failure->Attribute("message");
      }
    }
    EXPECT_EQ(row.testcases, testcases);
    EXPECT_EQ(row.failures, failures);
    EXPECT_EQ(row.first_failure, first);

    run_result status = diagnose(row.log, {"--exit-status"});
    EXPECT_EQ(row.status, status.status);
    EXPECT_EQ(text.out, status.out);
  }
}

// A continuous run stopped with Ctrl-C says so on standard error and in the
// JSON; the JUnit report notes the pass it left out.
TEST(DiagnoseProgram, SaysWhichPassWasCutShort) {
  // The title is flushed before the monitor answers; Ctrl-C came between.
  std::string log = plain_test(true, true) + plain_test(false, true) + "Testing SDRAM... ";
  run_result text = diagnose(log, {});
  EXPECT_EQ(0, text.status);
  EXPECT_EQ("SDRAM: passed\nFLASH: passed\n", text.out);
  EXPECT_NE(
      std::string::npos,
      text.err.find(": the last pass was cut short: its SDRAM test, from line 3, is left out\n"))
      << text.err;
  nlohmann::json doc = nlohmann::json::parse(diagnose(log, {"--json"}).out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded());
  EXPECT_EQ("{\"line\":3,\"test\":\"SDRAM\"}", doc.at("cut_short").dump());
  EXPECT_NE(std::string::npos, diagnose(log, {"--junit"}).out.find("pass 2 was cut short"));
}

// A pass noise damaged is left out and said so in every form, counted with
// its test; the others are diagnosed, and a failure among them is the
// status.
TEST(DiagnoseProgram, ReadsPastADamagedPass) {
  const std::string d5 = traced_sdram_test(sdram_fault_set({{DATA, 5, 1}}));
  const std::string flash = traced_flash_test(good_flash());
  std::string damaged = traced_sdram_test(sdram_fault_config{});
  damaged.replace(damaged.find(" 18r8\r\n"), 5, " 1\x9fr8");
  const std::string log = d5 + flash + damaged + flash;
  // The damaged read is line 28 of the second pass.
  const int line =
      static_cast<int>(std::count(log.begin(), log.begin() + (d5 + flash).size(), '\n')) + 28;
  const std::string reason = "expected a read of offset 18 (\" 18r<value>\"), found \" 1\\x9fr8\"";

  run_result text = diagnose(log, {"--exit-status"});
  EXPECT_EQ(8, text.status) << text.err;
  EXPECT_EQ(
      "SDRAM: data line 5 stuck at 1 in 1 of 2 passes, 1 unreadable\nFLASH: sound in all 2 "
      "passes\nUnreadable: 1 pass, left out (line " +
          std::to_string(line) + ": " + reason + ")\n",
      text.out);

  nlohmann::json doc = nlohmann::json::parse(diagnose(log, {"--json"}).out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded());
  EXPECT_EQ("faulty", doc.at("verdict"));
  EXPECT_EQ(1, doc.at("unreadable_count").get<int>());
  EXPECT_EQ(line, doc.at("unreadable").at(0).at("line").get<int>());
  EXPECT_EQ(reason, doc.at("unreadable").at(0).at("reason").get<std::string>());
  EXPECT_EQ("SDRAM", doc.at("unreadable").at(0).at("test"));
  EXPECT_EQ(2, doc.at("unreadable").at(0).at("pass").get<int>());
  EXPECT_EQ("[2]", doc.at("sdram").at("unreadable_passes").dump());

  // The damaged pass is an error among its test's passes, in its place.
  tinyxml2::XMLDocument xml;
  ASSERT_EQ(tinyxml2::XML_SUCCESS, xml.Parse(diagnose(log, {"--junit"}).out.c_str()));
  const tinyxml2::XMLElement *suite = xml.FirstChildElement("testsuites")->FirstChildElement();
  ASSERT_NE(nullptr, suite);
  EXPECT_STREQ("SDRAM", suite->Attribute("name"));
  EXPECT_STREQ("1", suite->Attribute("errors"));
  EXPECT_EQ(nullptr, suite->NextSiblingElement()->NextSiblingElement());
  const tinyxml2::XMLElement *pass = suite->FirstChildElement("testcase")->NextSiblingElement();
  ASSERT_NE(nullptr, pass);
  EXPECT_STREQ("pass 2", pass->Attribute("name"));
  const tinyxml2::XMLElement *error = pass->FirstChildElement();
  ASSERT_NE(nullptr, error);
  EXPECT_STREQ("error", error->Name());
  EXPECT_EQ("line " + std::to_string(line) + ": " + reason, error->Attribute("message"));
}

TEST(DiagnoseProgram, RefusesBadOptions) {
  const char *bad[][2] = {{"--json", "--junit"}, {"--jsn", ""}, {"a.log", "b.log"}};
  for (const auto &args : bad) {
    std::vector<std::string> argv = {args[0]};
    if (*args[1]) argv.push_back(args[1]);
    child_result c = finish_child(
        start_child(program_command(tested_program::diagnose, argv), "korvane-diagnose"),
        "korvane-diagnose", 30);
    EXPECT_EQ(2, c.status) << args[0];
    EXPECT_EQ("", c.out);
  }
}

// A report that cannot be written is an error, not a verdict.
TEST(DiagnoseProgram, SaysWhenTheReportCannotBeWritten) {
  std::string log = temp_file("diagnose-log");
  FILE *f = fopen(log.c_str(), "wb");
  ASSERT_NE(nullptr, f);
  fputs(plain_test(true, true).c_str(), f);
  fclose(f);
  for (const char *form : {"", "--json", "--junit"}) {
    std::vector<std::string> argv = {"sh", "-c", "exec \"$@\" >/dev/full", "sh"};
    for (const std::string &a : program_command(tested_program::diagnose, {form, log}))
      if (!a.empty()) argv.push_back(a);
    child_result c = finish_child(start_child(argv, "sh"), "sh", 30);
    EXPECT_EQ(1, c.status) << form;
    EXPECT_NE(std::string::npos, c.err.find("korvane-diagnose: cannot write the report: "))
        << c.err;
  }
  unlink(log.c_str());
}

std::string corpus_log(const std::string &name) {
  return read_file(std::string(DIAGNOSE_CORPUS) + "/" + name);
}

// Every line end made CR LF, as a Windows editor saves the log.
std::string crlf_only(const std::string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

// Every line end made LF, as a Unix tool rewrites the log.
std::string lf_only(const std::string &text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

const std::string USAGE_LINE =
    "Usage: korvane-diagnose [--json | --junit] [--exit-status] [--html FILE] [--nets FILE]\n"
    "                        [LOGFILE]\n";

TEST(DiagnoseProgram, PrintsTheSameOnEveryBuild) {
  const std::string sound = corpus_log("sound");
  ASSERT_FALSE(sound.empty()) << "no seed logs in " << DIAGNOSE_CORPUS;
  const std::string sound_report = "SDRAM: sound\nFLASH: sound\n";
  struct diagnose_case {
    const char *name;
    std::string log;                // written to a file that @LOG@ names
    std::vector<std::string> args;  // @LOG@ is the log's path
    std::string out, err;           // @LOG@ is the log's path here too
    int status;
  } cases[] = {
      {"sound", sound, {"@LOG@"}, sound_report, "", 0},
      {"data line stuck",
       corpus_log("data_stuck"),
       {"@LOG@"},
       "SDRAM: data line 12 stuck at 1\nFLASH: fourth ID byte 0x95 is not maker 0x20's 0x1d\n",
       "",
       0},
      {"verdict as the status",
       corpus_log("data_stuck"),
       {"--exit-status", "@LOG@"},
       "SDRAM: data line 12 stuck at 1\nFLASH: fourth ID byte 0x95 is not maker 0x20's 0x1d\n",
       "",
       24},
      {"flash never ready",
       corpus_log("never_ready"),
       {"@LOG@"},
       "FLASH: never became ready (status 0x80 after the reset)\n",
       "",
       0},
      {"CR LF line ends", crlf_only(sound), {"@LOG@"}, sound_report, "", 0},
      {"options ended", sound, {"--exit-status", "--", "@LOG@"}, sound_report, "", 0},
      {"a damaged pass and a NUL-padded tail",
       corpus_log("damaged"),
       {"--exit-status", "@LOG@"},
       "SDRAM: sound in 2 of 3 passes, 1 unreadable\nFLASH: sound in all 3 passes\nUnreadable: 1 "
       "pass, left out (line 268: expected a read of offset 18 (\" 18r<value>\"), found "
       "\" 18r\\xc8\")\n",
       "",
       4},
      {"ready late",
       corpus_log("late_ready"),
       {"--exit-status", "@LOG@"},
       "FLASH: not ready within the monitor's wait; ready later (status 0xe0)\n",
       "",
       16},
      {"CR line ends after a byte-order mark",
       corpus_log("cr_only"),
       {"@LOG@"},
       sound_report,
       "",
       0},
      {"LF line ends", lf_only(sound), {"@LOG@"}, sound_report, "", 0},
      {"continuous run cut short",
       corpus_log("continuous_cut"),
       {"@LOG@"},
       "SDRAM: sound in all 2 passes\nFLASH: sound in all 2 passes\n",
       "korvane-diagnose: @LOG@: the last pass was cut short: its SDRAM test, from line 481, is "
       "left "
       "out\n",
       0},
      {"foreign log",
       "# shopping\r\nmilk\r\n",
       {"@LOG@"},
       "",
       "korvane-diagnose: @LOG@: line 1: expected \"Testing SDRAM...\" or \"Testing FLASH...\", "
       "found \"# shopping\"\n",
       1},
      {"bad option", "", {"-x"}, "", "korvane-diagnose: unknown option -x\n" + USAGE_LINE, 2},
      {"two logs",
       sound,
       {"@LOG@", "@LOG@"},
       "",
       "korvane-diagnose: more than one log file: @LOG@\n" + USAGE_LINE,
       2},
  };

  const std::string dir = temp_dir("diagnose_binary");
  ASSERT_NE("", dir);
  int index = 0;
  for (const diagnose_case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string log_path = dir + "/log" + std::to_string(index++) + ".txt";
    std::ofstream(log_path, std::ios::binary) << c.log;
    auto with_path = [&](std::string s) {
      for (std::size_t at; (at = s.find("@LOG@")) != std::string::npos;) s.replace(at, 5, log_path);
      return s;
    };
    std::vector<std::string> args;
    for (const std::string &a : c.args) args.push_back(with_path(a));
    child_result r = finish_child(
        start_child(program_command(tested_program::diagnose, args), "diagnose"), "diagnose", 20.0);
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ(with_path(c.err), r.err);
  }
  remove_tree(dir);
}

// The help text is several lines on standard output: no CR may creep in.
TEST(DiagnoseProgram, HelpIsPlainLinesOnStandardOutput) {
  child_result r = finish_child(
      start_child(program_command(tested_program::diagnose, {"--help"}), "help"), "help", 20.0);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(0u, r.out.rfind(USAGE_LINE, 0));
  EXPECT_EQ(std::string::npos, r.out.find('\r'));
}

}  // namespace
