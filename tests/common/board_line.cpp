#include "board_line.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>

line open_line(void) {
  line l;
  char path[128];
  EXPECT_EQ(0, openpty(&l.master, &l.slave, path, nullptr, nullptr));
  l.path = path;
  // Only the test holds the line's ends: a child that inherited the
  // master would keep the line up after the board hung up.
  fcntl(l.master, F_SETFD, FD_CLOEXEC);
  fcntl(l.slave, F_SETFD, FD_CLOEXEC);
  return l;
}

static child_result run_command(const std::vector<std::string> &argv, board_script *board,
                                const std::string &tag, line l) {
  pid_t pid = start_child(argv, tag);
  EXPECT_GT(pid, 0) << "cannot start " << argv[0];
  play_board(l.master, l.slave, board);
  return finish_child(pid, tag, 5.0);
}

const char LINE_PORT[] = "<line port>";

child_result run_on_board(std::vector<std::string> args, board_script *board,
                          const std::string &tag, line l) {
  const std::string port = korvane_port_for(l.path).arg;
  bool placed = false;
  for (std::string &a : args) {
    if (a == LINE_PORT) {
      a = port;
      placed = true;
    }
  }
  if (!placed) args.insert(args.begin(), {"-p", port});
  return run_command(korvane_command(args), board, tag, l);
}

child_result run_on_board(const char *korvane, std::vector<std::string> args, board_script *board,
                          const std::string &tag, line l) {
  args.insert(args.begin(), {korvane, "-p", l.path});
  return run_command(args, board, tag, l);
}
