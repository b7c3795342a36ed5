// The run options, filled from the command line before the port is opened.
#pragma once

struct run_options {
  int port_number;                  // -p n: COM<n>
  const char *port_path;            // -p with a '/': a device path, else null
  bool continuous;                  // -c
  bool verbose;                     // -v
  bool run_sdram_test;              // cleared by the test name "flash"
  bool run_flash_test;              // cleared by the test name "sdram"
  const char *port_text = nullptr;  // -p without a '/': the text as typed
};

// Reads the command line into opts, opening the log file of -l as it goes.
// Returns -1 when the run goes on, or the exit status when it ends here
// (after printing the usage text or a message), a log file that is the
// port itself included.
int parse_command_line(int argc, char **argv, run_options *opts);

void print_usage(void);
