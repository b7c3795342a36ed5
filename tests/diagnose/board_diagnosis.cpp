#include "board_diagnosis.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "e2e_process.h"

namespace {

const double RUN_TIMEOUT_S = 30;

board_diagnosis failed(const std::string &what, const e2e_process &p) {
  board_diagnosis d;
  d.error = what + " (status " + std::to_string(p.status) + "): " + p.err;
  return d;
}

}  // namespace

board_diagnosis diagnose_board(const diagnosis_programs &programs,
                               const std::vector<std::string> &board_options,
                               const std::vector<std::string> &korvane_args) {
  const char *tmp = getenv("TMPDIR");
  std::string log = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-diagnosis-XXXXXX";
  int fd = mkstemp(&log[0]);
  if (fd < 0) return failed("no temporary log file", e2e_process{});
  close(fd);

  std::vector<std::string> board_argv = {programs.boardsim};
  board_argv.insert(board_argv.end(), board_options.begin(), board_options.end());
  e2e_process board;
  auto has_line = [](const e2e_process &p) { return p.out.find('\n') != std::string::npos; };
  if (!e2e_start(&board, board_argv) || !e2e_read_until(&board, has_line, 5)) {
    e2e_stop(&board, SIGTERM, 5);
    unlink(log.c_str());
    return failed("boardsim did not start", board);
  }
  std::string port = board.out.substr(0, board.out.find('\n'));

  std::vector<std::string> args = {programs.korvane, "-p", port, "-v", "-l", log};
  args.insert(args.end(), korvane_args.begin(), korvane_args.end());
  e2e_process k;
  bool ran = e2e_start(&k, args) && e2e_finish(&k, RUN_TIMEOUT_S) && k.status == 0;
  bool stopped = e2e_stop(&board, SIGTERM, 5);
  e2e_process d;
  bool diagnosed = ran && e2e_start(&d, {programs.diagnose, log}) &&
                   e2e_finish(&d, RUN_TIMEOUT_S) && d.status == 0;
  unlink(log.c_str());
  if (!ran) return failed("korvane failed", k);
  if (!stopped) return failed("boardsim did not stop", board);
  if (!diagnosed) return failed("korvane-diagnose failed", d);
  board_diagnosis result;
  result.ok = true;
  result.report = d.out;
  return result;
}
