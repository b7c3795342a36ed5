#include "log_file.h"

#include "serial_link.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

static std::FILE *log_file = nullptr;

// Text mode, except where text mode translates: the log holds the bytes the
// console shows, the monitor's CR LF included, on every build.
#if defined(_WIN32)
static const char LOG_FILE_MODE[] = "wb";
#else
static const char LOG_FILE_MODE[] = "wt";
#endif

static std::string log_path;
static bool log_write_failed = false;

bool open_log_file(const char *path) {
  if (log_file) close_log_file();
  log_file = std::fopen(path, LOG_FILE_MODE);
  if (!log_file) return false;
  log_path = path;
  log_write_failed = false;
  return true;
}

bool close_log_file(void) {
  if (!log_file) return true;
  bool failed = log_write_failed || std::fflush(log_file) != 0 || std::ferror(log_file);
  if (std::fclose(log_file) != 0) failed = true;
  log_file = nullptr;
  return !failed;
}

bool log_file_is_open(void) { return log_file != nullptr; }

bool log_file_failed(void) { return log_file && log_write_failed; }

bool log_file_is_port(int port_number, const char *device_path) {
  return log_file && serial_port_is(log_file, port_number, device_path);
}

const char *log_file_name(void) { return log_path.c_str(); }

void tee_printf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  std::vprintf(format, args);
  if (log_file) {
    // Flushed at once, so that a continuous run stopped with Ctrl-C
    // keeps every line it showed.
    if (std::vfprintf(log_file, format, copy) < 0 || std::fflush(log_file) != 0)
      log_write_failed = true;
  }
  va_end(copy);
  va_end(args);
}
