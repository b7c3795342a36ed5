// The test phase against an arbitrary monitor. The first input byte picks the
// run options (verbose, continuous, which tests); the rest is what the
// monitor sends. The console and the log must get exactly the bytes that
// come before each ":" after a command, a test must read passed only when
// its result starts with "0", and each command must go out only after a
// prompt. A continuous run ends when the monitor falls silent.
#include "invariant.h"
#include "log_file.h"
#include "scripted_link.h"
#include "monitor_session.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// The monitor's stream walked by hand: what each exchange must show.
struct model {
  const uint8_t *s;
  std::size_t n;
  std::size_t pos = 0;
  std::string out;
  std::string commands;

  // 1 passed, 0 failed, -1 the stream ended first.
  int exchange(char command) {
    while (pos < n && s[pos] != '?') pos++;
    if (pos == n) return -1;
    pos++;
    commands += command;
    while (pos < n && s[pos] != ':') out += (char)s[pos++];
    if (pos == n) return -1;
    pos++;
    if (pos == n) return -1;
    return s[pos++] == '0';
  }

  bool test(const char *title, char command, bool verbose) {
    out += title;
    out += verbose ? '\n' : ' ';
    int r = exchange(command);
    if (r >= 0) out += r ? "passed\n" : "failed\n";
    return r >= 0;
  }
};

// The log goes to an anonymous in-memory file, opened by name as korvane
// opens its own; what it received is read back through the first descriptor.
int log_memory = -1;

std::string read_log(void) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  for (off_t at = 0; (n = pread(log_memory, buffer, sizeof buffer, at)) > 0; at += n)
    text.append(buffer, (std::size_t)n);
  return text;
}

std::string run_model(const run_options &opts, const uint8_t *s, std::size_t n) {
  model m;
  m.s = s;
  m.n = n;
  bool going = true;
  if (opts.verbose) going = m.exchange('v') >= 0;
  if (going && opts.continuous) going = m.exchange('s') >= 0;
  do {
    if (going && opts.run_sdram_test) going = m.test("Testing SDRAM...", '1', opts.verbose);
    if (going && opts.run_flash_test) going = m.test("Testing FLASH...", '2', opts.verbose);
  } while (going && opts.continuous);
  return m.commands + '\0' + m.out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, std::size_t size) {
  if (size < 1) return 0;
  run_options opts = {};
  opts.port_number = 1;
  opts.verbose = input[0] & 1;
  opts.continuous = input[0] & 2;
  // Both, SDRAM only, FLASH only, both.
  int tests = (input[0] >> 2) & 3;
  opts.run_sdram_test = tests != 2;
  opts.run_flash_test = tests != 1;

  if (log_memory < 0) log_memory = memfd_create("monitor_session_log", 0);
  char log_path[64];
  std::snprintf(log_path, sizeof log_path, "/proc/self/fd/%d", log_memory);
  if (!open_log_file(log_path)) fail("the in-memory log did not open");

  char *console = nullptr;
  std::size_t console_size = 0;
  FILE *real_stdout = stdout;
  stdout = open_memstream(&console, &console_size);

  scripted_link_reset(replies(std::vector<int>(input + 1, input + size)));
  try {
    run_test_phase(&opts);
    if (opts.continuous) fail("a continuous run returned");
  } catch (const script_exhausted &) {
  }

  std::fclose(stdout);
  stdout = real_stdout;
  if (!close_log_file()) fail("the in-memory log was not written");

  std::string expected = run_model(opts, input + 1, size - 1);
  std::string got = std::string(serial_log.written.begin(), serial_log.written.end()) + '\0' +
                    std::string(console, console_size);
  if (got != expected) fail("commands or console text differ from the monitor's stream");
  if (std::string(console, console_size) != read_log()) fail("the log differs from the console");
  std::free(console);
  return 0;
}
