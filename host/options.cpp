// The command line: getopt with the library's own messages off, so that any
// option error shows the usage text and nothing else.
//
// getopt_long with no long options is getopt with the GNU behaviour on every
// build: options and the test name in any order, POSIXLY_CORRECT stopping at
// the first name. mingw-w64's plain getopt does not permute at all.
#include "options.h"

#include "log_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

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

int parse_command_line(int argc, char **argv, run_options *opts) {
  opts->port_number = 1;
  opts->port_path = nullptr;
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
      case 'l':
        // A second -l leaves the first file created and empty.
        if (!open_log_file(optarg)) {
          std::fprintf(stderr, "Could not open logfile '%s'.\n", optarg);
          return 1;
        }
        std::printf("Logging to '%s'\n", optarg);
        break;
      case 'p':
        if (std::strchr(optarg, '/')) {
          opts->port_path = optarg;
        } else {
          opts->port_path = nullptr;
          opts->port_number = std::atoi(optarg);
        }
        break;
      case 'v':
        opts->verbose = true;
        break;
      default:  // -h, an unknown option, a missing argument
        print_usage();
        return 1;
    }
  }

  if (argc == optind + 1) {
    const char *name = argv[argc - 1];
    if (std::strcmp(name, "sdram") == 0) {
      opts->run_flash_test = false;
    } else if (std::strcmp(name, "flash") == 0) {
      opts->run_sdram_test = false;
    } else {
      print_usage();
      return 1;
    }
  }
  return -1;
}
