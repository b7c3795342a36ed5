#include "station/slots/station_platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

static volatile std::sig_atomic_t stop_signal = 0;

static void note_stop(int sig) { stop_signal = sig; }

void catch_stop_signals(void) {
  struct sigaction action = {};
  action.sa_handler = note_stop;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool stop_requested(void) { return stop_signal != 0; }

std::string korvane_beside_station(const char *argv0) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path = n > 0 ? std::string(self, (size_t)n) : std::string(argv0);
  size_t slash = path.rfind('/');
  return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/korvane";
}

bool program_runnable(const std::string &path) { return access(path.c_str(), X_OK) == 0; }

bool process_alive(long pid) {
  // EPERM: it runs, as another user.
  return kill((pid_t)pid, 0) == 0 || errno == EPERM;
}

std::string host_name(void) {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || !name[0]) return "unknown";
  return name;
}

std::string port_record_name(const std::string &port) { return port; }

bool output_is_terminal(void) {
  // A terminal that cannot move its cursor gets the event lines.
  const char *term = std::getenv("TERM");
  return isatty(STDOUT_FILENO) && !(term && std::string(term) == "dumb");
}

bool input_is_terminal(void) { return isatty(STDIN_FILENO); }

size_t terminal_columns(void) {
  struct winsize size = {};
  return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

size_t terminal_lines(void) {
  struct winsize size = {};
  return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_row : 0;
}
