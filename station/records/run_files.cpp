#include "station/records/run_files.h"

#include <nlohmann/json.hpp>

#include "station/records/board_json.h"
#include "korvane/whole_file.h"
#include "korvane/why.h"
#include "junit_report.h"

namespace {

// What one pass of a test showed, for its testcase.
struct pass_result {
  bool failed = false;
  bool known = false;
  std::string words;  // the fault named, for a failed pass
  std::string type;   // the diagnosis's verdict, for a failed pass
};

// A failed group whose later passes the diagnosis does not list by number.
struct unlisted_failures {
  std::string words, type;
  long long count = 0;
};

std::string test_title(const std::string &test) { return test == "sdram" ? "SDRAM" : "FLASH"; }

// The words for a failed pass when the diagnosis's JSON says nothing
// better: the faults recorded for the test, else that it failed.
std::string recorded_faults(const board_record &b, const std::string &test) {
  std::string words;
  for (const board_fault &f : b.faults) {
    if (f.test != test || f.words.empty()) continue;
    if (!words.empty()) words += "; ";
    words += f.words;
  }
  return words.empty() ? test_title(test) + " test failed" : words;
}

// Which passes failed, and with what: the diagnosis's JSON lists each
// group's first passes by number. The passes beyond those lists are given
// the remaining failures in order, so that the counts are always the
// record's, though a long soak's later failures may sit on other pass
// numbers than they did on the board.
std::vector<pass_result> pass_results(const board_record &b, const std::string &test, int passes,
                                      int failed) {
  std::vector<pass_result> out(passes > 0 ? passes : 0);
  std::vector<unlisted_failures> unlisted;
  nlohmann::json doc = nlohmann::json::parse(b.diagnosis_json, nullptr, false);
  int listed_failures = 0;
  if (doc.is_object() && doc.contains(test) && doc[test].is_object() &&
      doc[test].contains("groups") && doc[test]["groups"].is_array()) {
    for (const nlohmann::json &g : doc[test]["groups"]) {
      if (!g.is_object()) continue;
      bool group_failed = g.value("result", "") == "failed";
      std::string words = g.value("words", "");
      std::string type = g.value("verdict", "");
      long long listed = 0;
      if (g.contains("first_passes") && g["first_passes"].is_array()) {
        for (const nlohmann::json &n : g["first_passes"]) {
          if (!n.is_number_integer()) continue;
          long long p = n.get<long long>();
          if (p < 1 || p > passes || out[p - 1].known) continue;
          out[p - 1] = {group_failed, true, words, type};
          ++listed;
          if (group_failed) ++listed_failures;
        }
      }
      long long in_group = g.value("passes", 0LL);
      if (group_failed && in_group > listed) unlisted.push_back({words, type, in_group - listed});
    }
  }
  int remaining = failed - listed_failures;
  size_t u = 0;
  for (pass_result &r : out) {
    if (r.known || remaining <= 0) continue;
    while (u < unlisted.size() && unlisted[u].count == 0) ++u;
    if (u < unlisted.size()) {
      r = {true, true, unlisted[u].words, unlisted[u].type};
      --unlisted[u].count;
    } else {
      r = {true, true, recorded_faults(b, test), "failed"};
    }
    --remaining;
  }
  for (pass_result &r : out) {
    if (!r.failed) continue;
    if (r.words.empty()) r.words = recorded_faults(b, test);
    if (r.type.empty()) r.type = "failed";
  }
  return out;
}

std::string attribute(const std::string &text) { return xml_escaped(text); }

std::string suite_name(const board_record &b) {
  if (!b.serial.empty()) return b.serial;
  return b.slot + " " + b.started;
}

// JUnit's timestamp carries no zone; the report's times are UTC.
std::string junit_timestamp(const std::string &iso) {
  if (!iso.empty() && iso.back() == 'Z') return iso.substr(0, iso.size() - 1);
  return iso;
}

std::string number(double seconds) {
  char text[32];
  snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

struct suite_text {
  std::string cases;
  int tests = 0, failures = 0, errors = 0, skipped = 0;
};

void add_test(suite_text *s, const board_record &b, const std::string &test, int passes,
              int failed) {
  std::string title = test_title(test);
  std::string classname = attribute("korvane-station." + b.slot + "." + title);
  std::vector<pass_result> results = pass_results(b, test, passes, failed);
  for (size_t i = 0; i < results.size(); ++i) {
    ++s->tests;
    s->cases += "    <testcase classname=\"" + classname + "\" name=\"" + title + " pass " +
                std::to_string(i + 1) + "\"";
    if (!results[i].failed) {
      s->cases += "/>\n";
      continue;
    }
    ++s->failures;
    std::string words = attribute(results[i].words);
    s->cases += ">\n      <failure message=\"" + words + "\" type=\"" + attribute(results[i].type) +
                "\">" + words + "</failure>\n    </testcase>\n";
  }
}

// A board's testcases: one per test and pass, then what ended it when it
// was not its tests.
suite_text board_cases(const board_record &b) {
  suite_text s;
  add_test(&s, b, "sdram", b.sdram_passes, b.sdram_failed);
  add_test(&s, b, "flash", b.flash_passes, b.flash_failed);
  std::string classname = attribute("korvane-station." + b.slot);
  if (b.outcome == board_outcome::error) {
    std::string message = b.message;
    if (message.empty())
      message = b.korvane_status >= 0
                    ? "korvane ended with status " + std::to_string(b.korvane_status)
                    : "korvane did not run";
    ++s.tests;
    ++s.errors;
    message = attribute(message);
    s.cases += "    <testcase classname=\"" + classname + "\" name=\"korvane\">\n" +
               "      <error message=\"" + message + "\" type=\"error\">" + message +
               "</error>\n    </testcase>\n";
  } else if (b.outcome == board_outcome::interrupted) {
    ++s.tests;
    ++s.skipped;
    s.cases += "    <testcase classname=\"" + classname + "\" name=\"board\">\n" +
               "      <skipped message=\"interrupted before the board's tests ended\"/>\n" +
               "    </testcase>\n";
  } else if (b.outcome == board_outcome::failed && s.failures == 0) {
    // A failure the pass counts do not show still fails the board's suite.
    std::string words = attribute(b.faults.empty() ? "the board failed" : b.faults[0].words);
    ++s.tests;
    ++s.failures;
    s.cases += "    <testcase classname=\"" + classname + "\" name=\"board\">\n" +
               "      <failure message=\"" + words + "\" type=\"failed\">" + words +
               "</failure>\n    </testcase>\n";
  }
  return s;
}

std::string property(const char *name, const std::string &value) {
  return std::string("      <property name=\"") + name + "\" value=\"" + attribute(value) +
         "\"/>\n";
}

// A reader sees the old report or the new one, whole.
bool replace_file(const std::string &path, const std::string &contents, std::string *why) {
  std::string reason;
  if (write_whole_file(path, contents, &reason)) return true;
  return set_why(why, "cannot write %s: %s", path.c_str(), reason.c_str());
}

}  // namespace

std::string run_json_text(const std::vector<board_record> &boards) {
  nlohmann::json doc = nlohmann::json::object();
  nlohmann::json list = nlohmann::json::array();
  for (const board_record &b : boards) list.push_back(board_record_json(b));
  doc["boards"] = list;
  // A serial or a message may hold bytes that are not UTF-8; replace keeps
  // the document valid without throwing.
  return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string run_junit_text(const std::vector<board_record> &boards) {
  std::string suites;
  int tests = 0, failures = 0, errors = 0, skipped = 0;
  double seconds = 0;
  for (size_t i = 0; i < boards.size(); ++i) {
    const board_record &b = boards[i];
    suite_text s = board_cases(b);
    tests += s.tests;
    failures += s.failures;
    errors += s.errors;
    skipped += s.skipped;
    seconds += b.seconds;
    suites += "  <testsuite name=\"" + attribute(suite_name(b)) + "\" id=\"" + std::to_string(i) +
              "\" tests=\"" + std::to_string(s.tests) + "\" failures=\"" +
              std::to_string(s.failures) + "\" errors=\"" + std::to_string(s.errors) +
              "\" skipped=\"" + std::to_string(s.skipped) + "\" timestamp=\"" +
              attribute(junit_timestamp(b.started)) + "\" time=\"" + number(b.seconds) +
              "\" hostname=\"" + attribute(b.station) + "\">\n";
    suites += "    <properties>\n";
    suites += property("serial", b.serial);
    suites += property("slot", b.slot);
    suites += property("port", b.port);
    suites += property("operator", b.operator_name);
    suites += property("outcome", board_outcome_name(b.outcome));
    suites += property("log", b.log);
    suites += "    </properties>\n";
    suites += s.cases;
    suites += "  </testsuite>\n";
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<testsuites name=\"korvane-station\" tests=\"" +
         std::to_string(tests) + "\" failures=\"" + std::to_string(failures) + "\" errors=\"" +
         std::to_string(errors) + "\" skipped=\"" + std::to_string(skipped) + "\" time=\"" +
         number(seconds) + "\">\n" + suites + "</testsuites>\n";
}

bool write_run_json(const std::string &path, const std::vector<board_record> &boards,
                    std::string *why) {
  return replace_file(path, run_json_text(boards), why);
}

bool write_run_junit(const std::string &path, const std::vector<board_record> &boards,
                     std::string *why) {
  return replace_file(path, run_junit_text(boards), why);
}
