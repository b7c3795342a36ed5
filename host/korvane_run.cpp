#include "korvane_run.h"

#include "boot_image.h"
#include "korvane/console_texts.h"
#include "log_file.h"
#include "options.h"
#include "port_argument.h"
#include "serial_link.h"
#include "monitor_session.h"
#include "wakeup.h"
#include "xmodem.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#if !defined(_WIN32)
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

static const unsigned LINE_BAUD = 115200;

void serial_port_lost(void) {
  std::fprintf(stderr, "Lost serial port %s.\n", serial_port_name());
  close_log_file();
  std::exit(1);
}

// A descriptor 0, 1 or 2 closed at start would be taken by the next file
// opened, the log or the port, and the console text would go there: to the
// board as commands, or error messages into the log. /dev/null holds them.
// Standard output gets it read-only: the results would reach nobody, so a
// closed standard output fails every write, as a full one does, and the run
// says so rather than testing on in silence.
// (On Win32 the port is a handle outside the C library's descriptors.)
static void hold_standard_streams(void) {
#if !defined(_WIN32)
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      int null_fd = open("/dev/null", fd == STDOUT_FILENO ? O_RDONLY : O_RDWR);
      if (null_fd >= 0 && null_fd != fd) close(null_fd);
    }
  }
#endif
}

// The exit status, made 1 when the console text was lost (standard output
// on a full disk or /dev/full): results that reached nobody are no success.
static int finish(int status) {
  if (std::ferror(stdout)) {
    std::fprintf(stderr, "Could not write standard output.\n");
    return 1;
  }
  return status;
}

int korvane_run(int argc, char **argv) {
  hold_standard_streams();

  // Unbuffered, so that the progress line and each echoed monitor byte
  // show at once.
  std::setvbuf(stdout, nullptr, _IONBF, 0);

  run_options opts;
  int status = parse_command_line(argc, argv, &opts);
  if (status >= 0) {
    close_log_file();
    return finish(status);
  }

  if ((opts.port_text && !port_argument_usable(opts.port_text)) ||
      !serial_open(opts.port_number, opts.port_path)) {
    close_log_file();
    return finish(1);
  }
  serial_configure(LINE_BAUD);

  std::printf("%s", WAKEUP_WAITING_TEXT);
  wait_for_wakeup();

  status = 0;
  int rc = xmodem_send(boot_image, BOOT_IMAGE_SIZE);
  std::printf("\r%*s\r", XMODEM_PROGRESS_WIDTH, "");
  if (rc < 0) {
    std::fprintf(stderr, "%s %d.\n", DOWNLOAD_FAILED_TEXT, rc);
    status = 1;
  } else {
    run_test_phase(&opts);
  }

  serial_close();
  std::string why;
  if (log_file_is_open() && !close_log_file(&why)) {
    std::fprintf(stderr, "Could not write logfile '%s'.\n", log_file_name());
    std::fprintf(stderr, "%s: %s\n", log_file_name(), why.c_str());
    status = 1;
  }
  return finish(status);
}
