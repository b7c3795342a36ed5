#include "board_diagnosis.h"

#include <signal.h>
#include <unistd.h>

#include "child_process.h"
#include "test_files.h"

namespace {

const double RUN_TIMEOUT_S = 30;

board_diagnosis failed(const std::string &what, const child_result &p) {
  board_diagnosis d;
  d.error = what + " (status " + std::to_string(p.status) + "): " + p.err;
  return d;
}

}  // namespace

board_diagnosis diagnose_board(const diagnosis_programs &programs,
                               const std::vector<std::string> &board_options,
                               const std::vector<std::string> &korvane_args,
                               const std::vector<std::string> &diagnose_args) {
  const std::string log = temp_file("korvane-diagnosis");
  if (log.empty()) return failed("no temporary log file", child_result{});

  std::vector<std::string> board_argv = {programs.boardsim};
  board_argv.insert(board_argv.end(), board_options.begin(), board_options.end());
  pid_t board = start_child(board_argv, "boardsim");
  std::string port;
  if (board < 0 || !read_child_line(board, &port, 5)) {
    child_result b = board < 0 ? child_result{} : stop_child(board, SIGTERM, 5);
    unlink(log.c_str());
    return failed("boardsim did not start", b);
  }

  std::vector<std::string> args = {programs.korvane, "-p", port, "-v", "-l", log};
  args.insert(args.end(), korvane_args.begin(), korvane_args.end());
  pid_t korvane = start_child(args, "korvane");
  child_result k = korvane < 0 ? child_result{} : finish_child(korvane, "korvane", RUN_TIMEOUT_S);
  bool ran = korvane >= 0 && !k.timed_out && k.status == 0;
  child_result b = stop_child(board, SIGTERM, 5);
  child_result d;
  bool diagnosed = false;
  if (ran) {
    std::vector<std::string> diagnose_argv = {programs.diagnose};
    diagnose_argv.insert(diagnose_argv.end(), diagnose_args.begin(), diagnose_args.end());
    diagnose_argv.push_back(log);
    pid_t diagnose = start_child(diagnose_argv, "korvane-diagnose");
    if (diagnose >= 0) d = finish_child(diagnose, "korvane-diagnose", RUN_TIMEOUT_S);
    diagnosed = diagnose >= 0 && !d.timed_out &&
                (d.status == 0 || d.status == 8 || d.status == 16 || d.status == 24);
  }
  unlink(log.c_str());
  if (!ran) return failed("korvane failed", k);
  if (b.timed_out) return failed("boardsim did not stop", b);
  if (!diagnosed) return failed("korvane-diagnose failed", d);
  board_diagnosis result;
  result.ok = true;
  result.report = d.out;
  result.status = d.status;
  return result;
}
