// Command-line parsing over arbitrary argument vectors: the input, split at
// NUL bytes, is the argument vector after the program name; the first byte
// sets or clears POSIXLY_CORRECT. The log file is not opened for real here
// (a fuzzed path could name any file on the machine); the stand-ins below
// record the name and fail for an empty one, as the library does.
#include "invariant.h"
#include "log_file.h"
#include "options.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

static std::string opened_log;
static int opened_logs = 0;

bool open_log_file(const char *path, std::string *) {
  opened_logs++;
  opened_log = path;
  return path[0] != '\0';
}

bool close_log_file(std::string *) { return true; }

const char *log_file_name(void) { return opened_log.c_str(); }

bool log_file_is_port(int, const char *, std::string *) { return false; }

void tee_printf(const char *, ...) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, std::size_t size) {
  if (size < 1 || size > 512) return 0;
  if (input[0] & 1)
    setenv("POSIXLY_CORRECT", "1", 1);
  else
    unsetenv("POSIXLY_CORRECT");

  std::vector<std::string> args = {"korvane"};
  std::string arg;
  for (std::size_t i = 1; i < size; i++) {
    if (input[i] == 0) {
      args.push_back(arg);
      arg.clear();
    } else {
      arg += (char)input[i];
    }
  }
  if (size > 1) args.push_back(arg);
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  // getopt keeps its place between calls; 0 makes it start afresh.
  optind = 0;
  opened_logs = 0;
  run_options opts;
  int status = parse_command_line((int)args.size(), argv.data(), &opts);

  if (status != -1 && status != 0 && status != 1) fail("a status other than -1, 0 or 1");
  if (status == -1) {
    if (!opts.run_sdram_test && !opts.run_flash_test) fail("a run with no test selected");
    if (opts.port_path && !std::strchr(opts.port_path, '/')) fail("a device path without a '/'");
    if (opened_logs && opened_log.empty())
      fail("the run goes on after the log file failed to open");
  }
  return 0;
}
