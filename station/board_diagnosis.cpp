#include "board_diagnosis.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "json_report.h"
#include "line_reader.h"
#include "log_summary.h"
#include "report.h"

namespace {

// The kind of a fault from its words: "data line 5 stuck at 1" is
// data_stuck, "address lines 3 and 7 shorted" address_short; a flash check
// is named by the part it found wrong ("flash_maker", "flash_device", ...).
std::string fault_kind(const std::string &test, const std::string &words) {
  if (test == "flash") return "flash_" + words.substr(0, words.find(' '));
  if (words.compare(0, 10, "data line ") == 0) return "data_stuck";
  if (words.compare(0, 13, "address line ") == 0) return "address_stuck";
  if (words.compare(0, 14, "address lines ") == 0) return "address_short";
  return "unexplained";
}

void add_faults(const std::string &test, const test_summary &t, board_record *board) {
  for (const std::vector<std::string> &fault : test_faults(t)) {
    board_fault f;
    f.test = test;
    if (fault.size() == 1) {
      f.kind = fault_kind(test, fault[0]);
      f.words = fault[0];
    } else {
      // The trace cannot tell these apart; one of them is the fault.
      f.kind = "one_of";
      f.words = "one of " + std::to_string(fault.size()) + " faults:";
      for (size_t i = 0; i < fault.size(); i++) f.words += (i ? "; " : " ") + fault[i];
    }
    board->faults.push_back(f);
  }
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
    if (why) *why = reason;
    return false;
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
    if (why) *why = reason;
    return false;
  }
  board->diagnosis = diagnosis_report(summary);
  board->diagnosis_json = json_report(summary);
  if (summary.sdram.present) add_faults("sdram", summary.sdram, board);
  if (summary.flash.present) add_faults("flash", summary.flash, board);
  return true;
}

std::string first_fault_words(const board_record &board, const std::string &test) {
  for (const board_fault &f : board.faults) {
    if (f.test == test) return f.words;
  }
  return "";
}
