// A Windows program through which the tests drive korvane-station's Win32
// child back-end under Wine, as the station does:
//
//   child_probe.exe --echo ARG...          prints each argument on a line of
//                                          its own, between [ and ]
//   child_probe.exe [--interrupt-at TEXT] PROGRAM ARG...
//                                          runs PROGRAM as a station child,
//                                          with Ctrl-Break once its output
//                                          holds TEXT; prints "status N",
//                                          then "out:" and "err:" with what
//                                          it wrote
//
// Ends with 0 when the child ran and ended, 3 when it could not start (the
// reason on standard error), 4 when it did not end within 60 seconds.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "station/slots/station_child.h"

int main(int argc, char **argv) {
  // The bytes as the children wrote them, without a CR added before each LF.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc > 1 && std::strcmp(argv[1], "--echo") == 0) {
    for (int i = 2; i < argc; ++i) std::printf("[%s]\n", argv[i]);
    return 0;
  }
  int first = 1;
  std::string interrupt_at;
  if (argc > 3 && std::strcmp(argv[1], "--interrupt-at") == 0) {
    interrupt_at = argv[2];
    first = 3;
  }
  if (argc <= first) return 2;
  std::vector<std::string> args(argv + first + 1, argv + argc);
  std::string why;
  station_child *c = child_start(argv[first], args, &why);
  if (!c) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 3;
  }
  std::string out, err;
  bool interrupted = false;
  int status = -1;
  for (int waited_ms = 0; waited_ms < 60000; waited_ms += 10) {
    bool open = child_read(c, &out, &err);
    if (!interrupted && !interrupt_at.empty() && out.find(interrupt_at) != std::string::npos) {
      child_interrupt(c);
      interrupted = true;
    }
    if (!open && child_exited(c, &status)) break;
    Sleep(10);
  }
  bool ended = child_exited(c, &status);
  child_end(c);
  if (!ended) return 4;
  std::printf("status %d\nout:%s\nerr:%s\n", status, out.c_str(), err.c_str());
  return 0;
}
