#include "korvane_run.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

// Ctrl-C and Ctrl-Break end the run with the status the system gives a
// console program stopped that way. Wine's own handler would end it with
// status 0, which tells a script that the tests ran.
static BOOL WINAPI end_on_ctrl_c(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // Not ExitProcess: the main thread may be stopped inside the C library
  // holding a stream's lock, which the library's clean-up would wait for.
  // The log is flushed after every write, so nothing is lost.
  TerminateProcess(GetCurrentProcess(), (UINT)STATUS_CONTROL_C_EXIT);
  return TRUE;
}
#endif

int main(int argc, char **argv) {
#if defined(_WIN32)
  SetConsoleCtrlHandler(end_on_ctrl_c, TRUE);
  // The console text is the same bytes on every build: text mode would
  // add a CR before every LF, the monitor's CR LF becoming CR CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return korvane_run(argc, argv);
}
