// The station's Win32 child back-end under Wine, through child_probe.exe,
// which drives it as the station does: arguments reach the child as they
// were given, both streams and the exit status come back, Ctrl-Break ends
// a korvane waiting for its board, and killing the station kills its
// children (the job object) and frees their ports.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <dirent.h>
#include <cstdlib>
#include <string>
#include <vector>

#include "board_line.h"
#include "child_process.h"
#include "korvane_program.h"
#include "test_files.h"

namespace {

// korvane_command's Wine command line, with the probe in korvane.exe's place.
std::vector<std::string> probe_command(const std::vector<std::string> &args) {
  std::vector<std::string> argv = korvane_command({});
  argv.back() = PROBE_EXE;
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::string windows_path(const std::string &path) { return "Z:" + path; }

// The process of a korvane.exe with these arguments, or 0: a process
// that Wine started from korvane.exe holds its Windows path as argv[0] (the
// probe's own arguments hold the same words further on).
pid_t korvane_running(const std::string &port_arg) {
  std::string wanted = windows_path(KORVANE_EXE) + '\0' + "-p" + '\0' + port_arg + '\0';
  DIR *proc = opendir("/proc");
  pid_t found = 0;
  while (dirent *e = proc ? readdir(proc) : nullptr) {
    std::string cmdline = read_file(std::string("/proc/") + e->d_name + "/cmdline");
    if (cmdline.compare(0, wanted.size(), wanted) == 0) found = atoi(e->d_name);
  }
  if (proc) closedir(proc);
  return found;
}

TEST(ChildWin32, RunsReadsAndEndsItsChildren) {
  ASSERT_TRUE(korvane_under_wine());
  struct probe_case {
    const char *what;
    std::vector<std::string> args;
    int status;       // the probe's
    std::string out;  // what its standard output begins with
    std::string err;  // what its standard error holds
  };
  const std::string korvane = windows_path(KORVANE_EXE);
  const probe_case cases[] = {
      {"arguments as given",
       {windows_path(PROBE_EXE), "--echo", "a b", "q\"uote", "back\\", "", "two\\\\\"x"},
       0,
       "status 0\nout:[a b]\n[q\"uote]\n[back\\]\n[]\n[two\\\\\"x]\n",
       ""},
      {"standard error and status", {korvane, "-h"}, 0, "status 1\nout:\nerr:Usage: korvane ", ""},
      {"a program that is not there", {"Z:/nonexistent/korvane.exe"}, 3, "", "cannot start "},
  };
  for (const probe_case &c : cases) {
    SCOPED_TRACE(c.what);
    child_result r =
        finish_child(start_child(probe_command(c.args), "child_probe"), "child_probe", 60);
    EXPECT_EQ(c.status, r.status) << r.out << r.err;
    EXPECT_EQ(0u, r.out.find(c.out)) << r.out;
    EXPECT_NE(std::string::npos, r.err.find(c.err)) << r.err;
  }
}

TEST(ChildWin32, CtrlBreakEndsAKorvaneWaitingForItsBoard) {
  line l = open_line();
  korvane_port port = korvane_port_for(l.path);
  child_result r = finish_child(
      start_child(
          probe_command({"--interrupt-at", "Waiting", windows_path(KORVANE_EXE), "-p", port.arg}),
          "child_probe"),
      "child_probe", 60);
  // 128 + SIGINT, as a korvane stopped by Ctrl-C ends on Linux.
  EXPECT_EQ(0u, r.out.find("status 130\nout:Waiting")) << r.out << r.err;
  close(l.master);
  close(l.slave);
}

TEST(ChildWin32, ChildrenDieWithTheStation) {
  line l = open_line();
  korvane_port port = korvane_port_for(l.path);
  pid_t probe =
      start_child(probe_command({windows_path(KORVANE_EXE), "-p", port.arg}), "child_probe");
  ASSERT_GT(probe, 0);
  double until = steady_seconds() + 30;
  while (!korvane_running(port.arg) && steady_seconds() < until) usleep(50000);
  ASSERT_TRUE(korvane_running(port.arg)) << "korvane.exe did not start";
  stop_child(probe, SIGKILL, 10);
  // Wine's server closes the job object only when it notices the probe gone,
  // which on a loaded machine takes seconds: the wait ends at the event.
  until = steady_seconds() + 60;
  while (korvane_running(port.arg) && steady_seconds() < until) usleep(50000);
  pid_t orphan = korvane_running(port.arg);
  EXPECT_EQ(0, orphan) << "korvane.exe outlived the station";
  if (orphan) kill(orphan, SIGKILL);
  close(l.master);
  close(l.slave);
}

}  // namespace
