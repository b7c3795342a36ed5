#include "log_file.h"

#include "korvane/why.h"
#include "port_name.h"
#include "serial_link.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

static std::FILE *log_file = nullptr;

static std::string log_path;
// The errno of the first write that failed, 0 while none has.
static int log_write_errno = 0;

#if defined(_WIN32)
// Binary: text mode would add a CR before every LF, and the log holds the
// bytes the console shows, the monitor's CR LF included.
//
// A pipe that is no Windows named pipe is a FIFO of the host system (under
// Wine), which takes every write whether anyone reads it or not: with
// nobody there, the log would be lost while the run reports success.
static std::FILE *open_stream(const char *path, std::string *why) {
  std::FILE *stream = std::fopen(path, "wb");
  if (!stream) return nullptr;
  HANDLE handle = (HANDLE)_get_osfhandle(_fileno(stream));
  DWORD flags;
  if (GetFileType(handle) == FILE_TYPE_PIPE &&
      !GetNamedPipeInfo(handle, &flags, NULL, NULL, NULL)) {
    std::fclose(stream);
    set_why(why, "Is a FIFO with no reader");
    return nullptr;
  }
  return stream;
}
#else
// Opened without waiting: a FIFO that nobody reads would hold the open up
// for ever (and the run with it), and a terminal's modem lines are no
// business of a log. Not made our controlling terminal either.
static std::FILE *open_stream(const char *path, std::string *why) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) {
    int err = errno;
    struct stat st;
    set_why(why, "%s",
            err == ENXIO && stat(path, &st) == 0 && S_ISFIFO(st.st_mode)
                ? "Is a FIFO with no reader"
                : std::strerror(err));
    return nullptr;
  }
  // Writes wait as they should: a slow reader of a FIFO must not lose text.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE *stream = fdopen(fd, "w");
  if (!stream) {
    set_why(why, "%s", std::strerror(errno));
    close(fd);
  }
  return stream;
}
#endif

bool open_log_file(const char *path, std::string *why) {
  if (log_file) close_log_file();
  std::string reason;
  log_file = open_stream(path, &reason);
  if (!log_file) return set_why(why, reason.empty() ? std::string(std::strerror(errno)) : reason);
  log_path = path;
  log_write_errno = 0;
  return true;
}

bool close_log_file(std::string *why) {
  if (!log_file) return true;
  int err = log_write_errno;
  if ((std::fflush(log_file) != 0 || std::ferror(log_file)) && err == 0) err = errno ? errno : EIO;
  if (std::fclose(log_file) != 0 && err == 0) err = errno ? errno : EIO;
  log_file = nullptr;
  if (err != 0) set_why(why, "%s", std::strerror(err));
  return err == 0;
}

bool log_file_is_open(void) { return log_file != nullptr; }

bool log_file_failed(void) { return log_file && log_write_errno != 0; }

bool log_file_is_port(int port_number, const char *device_path, std::string *why) {
  if (!log_file) return false;
  switch (serial_stream_target(log_file, log_path.c_str(), port_number, device_path)) {
    case stream_target::OTHER:
      return false;
    case stream_target::THE_PORT: {
      char port[4096];
      format_port_name(port, sizeof port, port_number, device_path);
      set_why(why, "Is the serial port %s", port);
      return true;
    }
    case stream_target::SERIAL_PORT:
      set_why(why, "Is a serial port");
      return true;
  }
  return false;
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
    errno = 0;
    if ((std::vfprintf(log_file, format, copy) < 0 || std::fflush(log_file) != 0) &&
        log_write_errno == 0)
      log_write_errno = errno ? errno : EIO;
  }
  va_end(copy);
  va_end(args);
}
