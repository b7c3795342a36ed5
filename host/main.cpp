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

// Wine ends the thread that a quit signal (Ctrl-\) reaches, as if it had
// returned 0, and the process with it when that was its last thread: status
// 0, which a script reads as "tests ran". Two watchers, each waiting for the
// main thread and for the other, turn the end of any one of the three into
// the end of the run with Ctrl-C's status, whichever thread the signal
// reaches. A run that ends normally ends the process, the watchers with it,
// before the main thread ends.
static HANDLE watched[2][2];

static DWORD WINAPI end_when_one_ends(LPVOID handles) {
  WaitForMultipleObjects(2, (const HANDLE *)handles, FALSE, INFINITE);
  TerminateProcess(GetCurrentProcess(), (UINT)STATUS_CONTROL_C_EXIT);
  return 0;
}

static void watch_main_thread(void) {
  HANDLE self = GetCurrentProcess(), main_thread;
  if (!DuplicateHandle(self, GetCurrentThread(), self, &main_thread, SYNCHRONIZE, FALSE, 0)) return;
  watched[0][0] = watched[1][0] = main_thread;
  HANDLE first = CreateThread(NULL, 0, end_when_one_ends, watched[0], CREATE_SUSPENDED, NULL);
  if (!first) return;
  watched[1][1] = first;
  HANDLE second = CreateThread(NULL, 0, end_when_one_ends, watched[1], 0, NULL);
  if (!second) {
    // Alone, the first would take its own end for a signal's.
    TerminateThread(first, 0);
    return;
  }
  watched[0][1] = second;
  ResumeThread(first);
}
#endif

int main(int argc, char **argv) {
#if defined(_WIN32)
  SetConsoleCtrlHandler(end_on_ctrl_c, TRUE);
  watch_main_thread();
  // The console text is the same bytes on every build: text mode would
  // add a CR before every LF, the monitor's CR LF becoming CR CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return korvane_run(argc, argv);
}
