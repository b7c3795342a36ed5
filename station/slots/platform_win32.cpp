#include "station/slots/station_platform.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

volatile LONG g_stop = 0;

// Ctrl-C, Ctrl-Break and a closed console are noted; the main loop then
// stops every korvane and records the boards under test. The children run
// in process groups of their own, so the station's Ctrl-Break never
// reaches them.
BOOL WINAPI note_stop(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      InterlockedExchange(&g_stop, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

bool console_mode(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

void catch_stop_signals(void) { SetConsoleCtrlHandler(note_stop, TRUE); }

bool stop_requested(void) { return InterlockedCompareExchange(&g_stop, 0, 0) != 0; }

std::string korvane_beside_station(const char *argv0) {
  char self[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path = n > 0 && n < sizeof self ? std::string(self, n) : std::string(argv0);
  size_t slash = path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "\\korvane.exe";
}

bool program_runnable(const std::string &path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string host_name(void) {
  char name[256] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size) || !name[0]) return "unknown";
  return name;
}

std::string port_record_name(const std::string &port) {
  // korvane.exe reads -p as a number when it begins with one.
  char *end = nullptr;
  long n = std::strtol(port.c_str(), &end, 10);
  if (port.find_first_of("/\\") != std::string::npos || end == port.c_str()) return port;
  return "COM" + std::to_string(n);
}

bool output_is_terminal(void) { return console_mode(STD_OUTPUT_HANDLE); }

bool input_is_terminal(void) { return console_mode(STD_INPUT_HANDLE); }

size_t terminal_columns(void) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return (size_t)(info.srWindow.Right - info.srWindow.Left + 1);
}

size_t terminal_lines(void) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return (size_t)(info.srWindow.Bottom - info.srWindow.Top + 1);
}

bool process_alive(long pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, (DWORD)pid);
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
  bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}
