#include "station/records/run_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>

#include "station/records/board_json.h"
#include "korvane/whole_file.h"
#include "korvane/why.h"
#include "junit_report.h"
#include "station/records/durable_file.h"

namespace {

// A copy of a report made empty, and one opened to be written in place; not
// inherited by the korvane children: "e" (O_CLOEXEC), or the Windows
// run-time's "N".
#ifdef _WIN32
const char MAKE_PRIVATE[] = "wb+N";
const char UPDATE_PRIVATE[] = "rb+N";
#define fseeko _fseeki64
#else
const char MAKE_PRIVATE[] = "wb+e";
const char UPDATE_PRIVATE[] = "rb+e";
#endif

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

// Which passes failed, and with what. The slot saw each pass end: which
// failed is its word (a record without it, from elsewhere, is given its
// failures from the diagnosis, below). The words come from the diagnosis's
// JSON, which lists each group's first passes by number; the failed passes
// beyond those lists are given the failed groups' words in order. Without
// the slot's word the passes beyond the lists are given the remaining
// failures in order, so that the counts are always the record's, though a
// long soak's later failures may then sit on other pass numbers than they
// did on the board.
std::vector<pass_result> pass_results(const board_record &b, const std::string &test, int passes,
                                      int failed) {
  std::vector<pass_result> out(passes > 0 ? passes : 0);
  const std::vector<bool> &seen = test == "sdram" ? b.sdram_pass_failed : b.flash_pass_failed;
  bool marked = passes > 0 && seen.size() == (size_t)passes;
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
          if (marked && seen[p - 1] != group_failed) continue;
          out[p - 1] = {group_failed, true, words, type};
          ++listed;
          if (group_failed) ++listed_failures;
        }
      }
      long long in_group = g.value("passes", 0LL);
      if (group_failed && in_group > listed) unlisted.push_back({words, type, in_group - listed});
    }
  }
  int remaining = marked ? passes : failed - listed_failures;
  size_t u = 0;
  for (size_t p = 0; p < out.size(); ++p) {
    pass_result &r = out[p];
    if (r.known || remaining <= 0) continue;
    if (marked && !seen[p]) {
      r.known = true;
      continue;
    }
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

// The report as head, one part per board, and tail: the head holds the
// run's sums, at one length whatever they are, so that a board's part is
// added by rewriting the head and the tail alone.
struct report_sums {
  size_t boards = 0;
  int tests = 0, failures = 0, errors = 0, skipped = 0;
  double seconds = 0;
  board_counts counts;  // the run's, as the station gives them
};

// The JUnit root's sums are padded to this many characters.
const size_t JUNIT_HEAD_WIDTH = 160;

std::string report_head(report_kind kind, const report_sums &sums) {
  if (kind == report_kind::json) return "{\n  \"boards\": [";
  std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<testsuites name=\"korvane-station\" tests=\"" +
      std::to_string(sums.tests) + "\" failures=\"" + std::to_string(sums.failures) +
      "\" errors=\"" + std::to_string(sums.errors) + "\" skipped=\"" +
      std::to_string(sums.skipped) + "\" time=\"" + number(sums.seconds) + "\"";
  if (head.size() < JUNIT_HEAD_WIDTH) head += std::string(JUNIT_HEAD_WIDTH - head.size(), ' ');
  return head + ">\n";
}

// The counts under the names /api/slots gives them, the yields as
// fractions (null with no unit).
nlohmann::json counts_json(const board_counts &c) {
  auto fraction = [](double percent) {
    return percent < 0 ? nlohmann::json(nullptr) : nlohmann::json(percent / 100);
  };
  return {{"tested", c.tested},
          {"passed", c.passed},
          {"failed", c.failed},
          {"errors", c.errors},
          {"interrupted", c.interrupted},
          {"not_recorded", c.not_recorded},
          {"slot_errors", c.slot_errors},
          {"first_pass_yield", fraction(first_pass_yield(c))},
          {"final_yield", fraction(final_yield(c))}};
}

// The counts as the root's properties, the yields in words ("6.3%", "-").
std::string counts_properties(const board_counts &c) {
  const std::pair<const char *, long long> figures[] = {
      {"tested", c.tested},           {"passed", c.passed},
      {"failed", c.failed},           {"errors", c.errors},
      {"interrupted", c.interrupted}, {"not_recorded", c.not_recorded},
      {"slot_errors", c.slot_errors}};
  std::string out = "  <properties>\n";
  for (const auto &f : figures) {
    out += "    <property name=\"" + std::string(f.first) + "\" value=\"" +
           std::to_string(f.second) + "\"/>\n";
  }
  out += "    <property name=\"first_pass_yield\" value=\"" + yield_text(first_pass_yield(c)) +
         "\"/>\n";
  out += "    <property name=\"final_yield\" value=\"" + yield_text(final_yield(c)) + "\"/>\n";
  return out + "  </properties>\n";
}

// The tail ends with the run's counts, which change with every board: it
// is rewritten with the parts added, and padded to the end of the one it
// replaces (see publish).
std::string report_tail(report_kind kind, const report_sums &sums) {
  if (kind == report_kind::junit) return counts_properties(sums.counts) + "</testsuites>\n";
  return std::string(sums.boards ? "\n  ]" : "]") +
         ",\n  \"counts\": " + counts_json(sums.counts).dump() + "\n}\n";
}

// The board's part of the report, and its sums added to *sums.
std::string report_part(report_kind kind, const board_record &b, report_sums *sums) {
  size_t index = sums->boards++;
  if (kind == report_kind::json) {
    // A serial or a message may hold bytes that are not UTF-8; replace
    // keeps the document valid without throwing.
    std::string text =
        board_record_json(b).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string part = index ? ",\n    " : "\n    ";
    for (char c : text) part += c == '\n' ? std::string("\n    ") : std::string(1, c);
    return part;
  }
  suite_text s = board_cases(b);
  sums->tests += s.tests;
  sums->failures += s.failures;
  sums->errors += s.errors;
  sums->skipped += s.skipped;
  sums->seconds += b.seconds;
  std::string suite = "  <testsuite name=\"" + attribute(suite_name(b)) + "\" id=\"" +
                      std::to_string(index) + "\" tests=\"" + std::to_string(s.tests) +
                      "\" failures=\"" + std::to_string(s.failures) + "\" errors=\"" +
                      std::to_string(s.errors) + "\" skipped=\"" + std::to_string(s.skipped) +
                      "\" timestamp=\"" + attribute(junit_timestamp(b.started)) + "\" time=\"" +
                      number(b.seconds) + "\" hostname=\"" + attribute(b.station) + "\">\n";
  suite += "    <properties>\n";
  suite += property("serial", b.serial);
  suite += property("slot", b.slot);
  suite += property("port", b.port);
  suite += property("operator", b.operator_name);
  suite += property("outcome", board_outcome_name(b.outcome));
  suite += property("log", b.log);
  suite += "    </properties>\n";
  suite += s.cases;
  suite += "  </testsuite>\n";
  return suite;
}

std::string report_text(report_kind kind, const std::vector<board_record> &boards) {
  report_sums sums;
  unit_tally units;
  std::string parts;
  for (const board_record &b : boards) {
    parts += report_part(kind, b, &sums);
    board_counts_add(&sums.counts, &units, b.serial, b.outcome, true);
  }
  return report_head(kind, sums) + parts + report_tail(kind, sums);
}

}  // namespace

std::string run_json_text(const std::vector<board_record> &boards) {
  return report_text(report_kind::json, boards);
}

std::string run_junit_text(const std::vector<board_record> &boards) {
  return report_text(report_kind::junit, boards);
}

bool write_run_json(const std::string &path, const std::vector<board_record> &boards,
                    std::string *why) {
  return replace_file(path, run_json_text(boards), why);
}

bool write_run_junit(const std::string &path, const std::vector<board_record> &boards,
                     std::string *why) {
  return replace_file(path, run_junit_text(boards), why);
}

// Two copies of the report, each a name of its own beside it: the report's
// name is a link to the copy that is whole and current. A board is added to
// the other copy (the parts it lacks, the head, the tail), which is made
// durable and then linked and renamed over the report's name, so that a
// reader who opens the report sees a whole one, and a board costs the same
// however many came before it.
struct run_report {
  report_kind kind = report_kind::json;
  std::string path;
  std::string copies[2];
  bool made[2] = {false, false};   // each copy made empty at the start
  long long body_end[2] = {0, 0};  // where each copy's tail starts
  long long end[2] = {0, 0};       // where each copy ends
  std::string lacking[2];          // the parts each copy lacks
  std::string tail;                // the tail the report has now
  int current = 0;                 // the copy the report's name links to
  report_sums sums;
};

namespace {

bool write_at(FILE *f, long long offset, const std::string &text) {
  return fseeko(f, offset, SEEK_SET) == 0 && fwrite(text.data(), 1, text.size(), f) == text.size();
}

// Brings copy i up to date and makes it the report. The copy is open only
// meanwhile: on Windows a file held open cannot be renamed over.
bool publish(run_report *r, int i, std::string *why) {
  FILE *f = fopen(r->copies[i].c_str(), r->made[i] ? UPDATE_PRIVATE : MAKE_PRIVATE);
  if (!f) return set_why(why, "cannot write %s: %s", r->path.c_str(), strerror(errno));
  r->made[i] = true;
  std::string parts = r->lacking[i];
  std::string tail = report_tail(r->kind, r->sums);
  // A tail shorter than the copy's last (counts that lost a digit) is
  // padded with spaces before its line end, which JSON and XML both allow
  // after the document, so that nothing of the old tail is left past it.
  long long end = r->body_end[i] + (long long)(parts.size() + tail.size());
  if (end < r->end[i]) tail.insert(tail.size() - 1, (size_t)(r->end[i] - end), ' ');
  bool written = write_at(f, 0, report_head(r->kind, r->sums)) &&
                 write_at(f, r->body_end[i], parts + tail) && fflush(f) == 0 &&
                 sync_file(fileno(f));
  // Written or not, the copy may now reach this far; the parts it lacks
  // stay lacking until it is written whole.
  if (end > r->end[i]) r->end[i] = end;
  int error = errno;
  if (fclose(f) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) return set_why(why, "cannot write %s: %s", r->path.c_str(), strerror(error));
  r->body_end[i] += (long long)parts.size();
  r->lacking[i].clear();
  std::error_code ec;
  std::string link = r->path + ".tmp";
  std::filesystem::remove(link, ec);
  std::filesystem::create_hard_link(r->copies[i], link, ec);
  if (!ec) std::filesystem::rename(link, r->path, ec);
  if (ec) {
    std::filesystem::remove(link, ec);
    return set_why(why, "cannot write " + r->path + ": " + ec.message());
  }
  r->current = i;
  r->tail = report_tail(r->kind, r->sums);
  return true;
}

}  // namespace

run_report *run_report_start(const std::string &path, report_kind kind, std::string *why) {
  run_report *r = new run_report;
  r->kind = kind;
  r->path = path;
  std::filesystem::path p(path);
  for (int i = 0; i < 2; i++) {
    r->copies[i] = (p.parent_path() /
                    ("." + p.filename().string() + ".copy-" + std::string(1, (char)('a' + i))))
                       .string();
    r->body_end[i] = (long long)report_head(kind, r->sums).size();
  }
  if (!publish(r, 1, why) || !publish(r, 0, why)) {
    run_report_end(r);
    return nullptr;
  }
  return r;
}

bool run_report_add(run_report *r, const board_record &board, const board_counts &counts,
                    std::string *why) {
  std::string part = report_part(r->kind, board, &r->sums);
  r->sums.counts = counts;
  r->lacking[0] += part;
  r->lacking[1] += part;
  return publish(r, 1 - r->current, why);
}

bool run_report_count(run_report *r, const board_counts &counts, std::string *why) {
  r->sums.counts = counts;
  if (report_tail(r->kind, r->sums) == r->tail) return true;
  return publish(r, 1 - r->current, why);
}

void run_report_end(run_report *r) {
  if (!r) return;
  for (int i = 0; i < 2; i++) {
    if (r->made[i]) remove(r->copies[i].c_str());
  }
  delete r;
}
