// korvane-diagnose: reads the log of `korvane -v -l LOGFILE` and says which
// SDRAM fault explains each test's trace, and what the flash got wrong.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "log_parser.h"
#include "report.h"

namespace {

const char USAGE[] =
    "Usage: korvane-diagnose [LOGFILE]\n"
    "\n"
    "Reads the log that `korvane -v -l LOGFILE` wrote (standard input when no\n"
    "file is given) and prints one line per test: which SDRAM data or address\n"
    "line is stuck or shorted, and which flash check failed. A continuous run's\n"
    "passes are grouped by what they showed.\n"
    "\n"
    "  -h, --help   print this text and exit\n"
    "\n"
    "Exit status: 0 when the log was read and diagnosed, whatever the verdict;\n"
    "1 for a log that cannot be read or is not a korvane log; 2 for a bad\n"
    "option.\n";

// Reads the whole stream. False with errno set.
bool read_all(FILE *f, std::string *text) {
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text->append(buffer, n);
  return !ferror(f);
}

}  // namespace

int main(int argc, char **argv) {
#if defined(_WIN32)
  // The same bytes in and out as on Linux: text mode would drop the log's
  // CRs on the way in and put a CR before every LF on the way out.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  const char *path = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      fputs(USAGE, stdout);
      return 0;
    }
    if ((arg.size() > 1 && arg[0] == '-') || path) {
      fprintf(stderr, "korvane-diagnose: %s: %s\nUsage: korvane-diagnose [LOGFILE]\n",
              path && arg[0] != '-' ? "more than one log file" : "unknown option", argv[i]);
      return 2;
    }
    path = argv[i];
  }
  bool from_stdin = !path || std::string(path) == "-";
  const char *name = from_stdin ? "standard input" : path;
  FILE *f = from_stdin ? stdin : fopen(path, "rb");
  std::string text;
  if (!f || !read_all(f, &text)) {
    fprintf(stderr, "korvane-diagnose: cannot read %s: %s\n", name, strerror(errno));
    if (f && !from_stdin) fclose(f);
    return 1;
  }
  if (!from_stdin) fclose(f);

  log_contents log;
  log_error err;
  if (!parse_log(text, &log, &err)) {
    fprintf(stderr, "korvane-diagnose: %s: %s\n", name, err.message.c_str());
    return 1;
  }
  if (log.cut_short_line)
    fprintf(stderr,
            "korvane-diagnose: %s: the last test, from line %d, was cut short and is left out\n",
            name, log.cut_short_line);
  fputs(diagnosis_report(log).c_str(), stdout);
  return 0;
}
