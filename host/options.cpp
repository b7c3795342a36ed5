// The command line: getopt with the library's own messages off, so that any
// option error shows the usage text and nothing else.
//
// getopt_long with no long options is getopt with the GNU behaviour on every
// build: options and the test name in any order, POSIXLY_CORRECT stopping at
// the first name. mingw-w64's plain getopt does not permute at all.
#include "options.h"

#include "log_file.h"
#include "port_argument.h"

#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <string>

static const char USAGE[] =
    "Usage: korvane [-c] [-h] [-l <logfile>] [-p <port>] [-v] [sdram|flash]\n"
    "\n"
    "Version: 1.3, 03 January 2013\n"
    "\n"
    "Tests basic components (SDRAM and FLASH) of a Tarrowind Brenmoor\n"
    "unit. If no test is specified all tests are run in sequence.\n"
    "\n"
    "  -c            Run test(s) continuously (CTRL-C to stop).\n"
    "\n"
    "  -h            Print this usage message.\n"
    "\n"
    "  -l            Log test(s) results to <logfile>.\n"
    "\n"
    "  -p <port>     Use the specified serial port (default is \"1\").  Valid\n"
    "                values are 1 (COM1), 2 (COM2), etc.\n"
    "\n"
    "  -v            Run test(s) in verbose mode.\n"
    "\n";

void print_usage(void) { std::fputs(USAGE, stderr); }

// The "Logging to" lines, held back until the run is known to go on with
// the log, so that a log refused as the port is never announced. Whatever
// ends the parsing prints them first, in their place before its own text.
static std::string logging_notes;

static void print_logging_notes(void) {
  std::fputs(logging_notes.c_str(), stdout);
  logging_notes.clear();
}

static int refuse_with_usage(void) {
  print_logging_notes();
  print_usage();
  return 1;
}

// Checked before the port is opened, let alone written to: the test text
// would reach the monitor as commands.
static bool log_is_the_port(const run_options *opts) {
  std::string why;
  if (!log_file_is_port(opts->port_number, opts->port_path, &why)) return false;
  std::fprintf(stderr, "Could not open logfile '%s'.\n", log_file_name());
  std::fprintf(stderr, "%s: %s\n", log_file_name(), why.c_str());
  return true;
}

int parse_command_line(int argc, char **argv, run_options *opts) {
  opts->port_number = 1;
  opts->port_path = nullptr;
  opts->port_text = nullptr;
  opts->continuous = false;
  opts->verbose = false;
  opts->run_sdram_test = true;
  opts->run_flash_test = true;

  static const struct option NO_LONG_OPTIONS[] = {{nullptr, 0, nullptr, 0}};
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "chl:p:v", NO_LONG_OPTIONS, nullptr)) != -1) {
    switch (c) {
      case 'c':
        opts->continuous = true;
        break;
      case 'l': {
        // A second -l leaves the first file created and empty.
        std::string why;
        if (!open_log_file(optarg, &why)) {
          print_logging_notes();
          std::fprintf(stderr, "Could not open logfile '%s'.\n", optarg);
          std::fprintf(stderr, "%s: %s\n", optarg, why.c_str());
          return 1;
        }
        logging_notes += std::string("Logging to '") + optarg + "'\n";
        break;
      }
      case 'p':
        if (std::strchr(optarg, '/')) {
          opts->port_path = optarg;
          opts->port_text = nullptr;
        } else {
          opts->port_path = nullptr;
          opts->port_text = optarg;
          read_port_number(optarg, &opts->port_number);
        }
        break;
      case 'v':
        opts->verbose = true;
        break;
      default:  // -h, an unknown option, a missing argument
        return refuse_with_usage();
    }
  }

  if (argc == optind + 1) {
    const char *name = argv[argc - 1];
    if (std::strcmp(name, "sdram") == 0) {
      opts->run_flash_test = false;
    } else if (std::strcmp(name, "flash") == 0) {
      opts->run_sdram_test = false;
    } else {
      return refuse_with_usage();
    }
  }
  if (log_is_the_port(opts)) {
    logging_notes.clear();
    return 1;
  }
  print_logging_notes();
  return -1;
}
