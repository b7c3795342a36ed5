#include "station/records/board_diagnosis.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "korvane/board_check_words.h"
#include "fault_data.h"
#include "fault_words.h"
#include "korvane/why.h"
#include "json_report.h"
#include "line_reader.h"
#include "log_summary.h"
#include "report.h"

namespace {

std::string hypothesis_words(const fault_hypothesis &h) {
  std::string out;
  for (size_t i = 0; i < h.size(); i++) out += (i ? " and " : "") + h[i].words;
  return out;
}

// One row per fault the diagnosis is sure of (both faults of a pair are on
// the board); a set the trace cannot tell apart is one row, "one_of", whose
// words list the choices as the text report does; a test with unreadable
// passes and no failure read is one row, "no_verdict".
void add_faults(const std::string &test, const test_summary &t, board_record *board) {
  for (const fault_entry &entry : test_faults(t)) {
    if (entry.one_of.size() == 1) {
      for (const fault_object &fault : entry.one_of[0])
        board->faults.push_back({test, fault.kind, fault.words});
      continue;
    }
    board_fault f;
    f.test = test;
    f.kind = "one_of";
    bool pairs = true;
    for (const fault_hypothesis &h : entry.one_of) pairs = pairs && h.size() == 2;
    f.words = one_of_words(entry.one_of.size(), pairs) + ":";
    for (size_t i = 0; i < entry.one_of.size(); i++)
      f.words += (i ? "; " : " ") + hypothesis_words(entry.one_of[i]);
    board->faults.push_back(f);
  }
  // Passes the log does not let the diagnosis read may hide a failure: the
  // record says so rather than let the test look sound.
  if (test_verdict(t) == verdict::no_verdict)
    board->faults.push_back({test, "no_verdict", test_words(t)});
}

}  // namespace

bool diagnose_board_log(const std::string &path, board_record *board, std::string *why) {
  board->diagnosis.clear();
  board->diagnosis_json.clear();
  board->faults.clear();
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) {
    std::string reason = "cannot read " + path + ": " + std::strerror(errno);
    board->diagnosis = reason + "\n";
    return set_why(why, reason);
  }
  // The reader holds a 64 KiB block: not for the stack.
  std::unique_ptr<line_reader> in(new line_reader);
  line_reader_open_file(in.get(), f);
  log_summary summary;
  std::string reason;
  bool parsed = summarize_log(in.get(), &summary, &reason);
  std::fclose(f);
  if (!parsed) {
    board->diagnosis = "the log could not be diagnosed: " + reason + "\n";
    return set_why(why, reason);
  }
  board->diagnosis = diagnosis_report(summary);
  board->diagnosis_json = json_report(summary);
  if (summary.sdram.present)
    add_faults(board_test_of(board_test::sdram).name, summary.sdram, board);
  if (summary.flash.present)
    add_faults(board_test_of(board_test::flash).name, summary.flash, board);
  return true;
}

std::string first_fault_words(const board_record &board, const std::string &test) {
  for (const board_fault &f : board.faults) {
    if (f.test == test) return f.words;
  }
  return "";
}

void name_board_lines(board_record *board, const net_names &nets) {
  board->diagnosis = nets_in_text(board->diagnosis, nets);
  board->diagnosis_json = nets_in_json(board->diagnosis_json, nets);
}
