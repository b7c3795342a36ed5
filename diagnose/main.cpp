// korvane-diagnose: reads the log that `korvane -l LOGFILE` wrote and says,
// for each test, how many passes failed and, with a trace (-v), which SDRAM
// fault explains it and what the flash got wrong; as text, JSON or JUnit XML.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "bus_drawing.h"
#include "json_report.h"
#include "junit_report.h"
#include "line_reader.h"
#include "log_parser.h"
#include "log_summary.h"
#include "report.h"

namespace {

const char USAGE[] =
    "Usage: korvane-diagnose [--json | --junit] [--exit-status] [LOGFILE]\n"
    "\n"
    "Reads the log that `korvane -l LOGFILE` wrote (standard input when no\n"
    "file is given) and prints one line per test: how many passes failed and,\n"
    "when korvane ran with -v, which SDRAM data or address line is stuck or\n"
    "shorted and which flash check failed. A continuous run's passes are\n"
    "grouped by what they showed.\n"
    "\n"
    "  --json         print one JSON document instead of the text\n"
    "  --junit        print a JUnit XML report instead of the text\n"
    "  --html FILE    also write FILE, an HTML page that draws the SDRAM bus\n"
    "                 with the faulty lines marked and lists the failed flash\n"
    "                 checks\n"
    "  --exit-status  exit with 8 when the SDRAM test failed in any pass, 16\n"
    "                 when the FLASH test did, 24 when both did\n"
    "  -h, --help     print this text and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Exit status: 0 when the log was read and diagnosed, whatever the verdict\n"
    "(with --exit-status: when every test passed in every pass); 1 for a log\n"
    "that cannot be read or is not a korvane log, or a report that cannot be\n"
    "written; 2 for a bad option.\n";

const char SHORT_USAGE[] = "Usage: korvane-diagnose [--json | --junit] [--exit-status] [LOGFILE]\n";

enum class output_form { text, json, junit };

struct options {
  output_form form = output_form::text;
  bool exit_status = false;
  const char *path = nullptr;
  const char *html = nullptr;
};

// 0 to go on, else the status to exit with.
int parse_options(int argc, char **argv, options *o) {
  bool form_given = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      fputs(USAGE, stdout);
      return -1;
    }
    if (arg == "--version") {
      fputs("korvane-diagnose " KORVANE_VERSION "\n", stdout);
      return -1;
    }
    const char *problem = nullptr;
    if (arg == "--json" || arg == "--junit") {
      output_form form = arg == "--json" ? output_form::json : output_form::junit;
      if (form_given && form != o->form) problem = "--json and --junit exclude each other";
      o->form = form;
      form_given = true;
    } else if (arg == "--exit-status") {
      o->exit_status = true;
    } else if (arg == "--html" || arg.rfind("--html=", 0) == 0) {
      if (arg == "--html" && i + 1 < argc) {
        o->html = argv[++i];
      } else if (arg != "--html") {
        o->html = argv[i] + 7;
      }
      if (!o->html || !*o->html) problem = "--html needs a file";
    } else if (arg.size() > 1 && arg[0] == '-') {
      problem = "unknown option";
    } else if (o->path) {
      problem = "more than one log file";
    } else {
      o->path = argv[i];
    }
    if (problem) {
      fprintf(stderr, "korvane-diagnose: %s: %s\n%s", problem, argv[i], SHORT_USAGE);
      return 2;
    }
  }
  return 0;
}

// The status --exit-status asks for: a bit for each test that failed in
// any pass.
int verdict_status(const log_summary &s) {
  return (s.sdram.failed ? 8 : 0) + (s.flash.failed ? 16 : 0);
}

// The page of --html: the text report, the bus drawn with its faults and
// the failed flash checks.
bool write_html(const char *path, const char *log_name, const log_summary &s, std::string *why) {
  bus_faults faults;
  if (!bus_faults_from_json(json_report(s), &faults, why)) return false;
  std::string body = "<h1>" + html_escape(log_name) + "</h1>\n<pre class=\"diagnosis\">" +
                     html_escape(diagnosis_report(s)) + "</pre>\n" + bus_drawing_svg(faults) +
                     flash_checks_html(faults);
  return html_page_write(path, html_page(std::string("korvane-diagnose: ") + log_name, body), why);
}

}  // namespace

int main(int argc, char **argv) {
#if defined(_WIN32)
  // The same bytes out as on Linux: text mode would put a CR before every LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  options o;
  int status = parse_options(argc, argv, &o);
  if (status) return status < 0 ? 0 : status;

  bool from_stdin = !o.path || std::string(o.path) == "-";
  const char *name = from_stdin ? "standard input" : o.path;
#if defined(_WIN32)
  // The log's bytes as they are: text mode would end it at a Ctrl-Z.
  if (from_stdin) _setmode(_fileno(stdin), _O_BINARY);
#endif
  FILE *f = from_stdin ? stdin : fopen(o.path, "rb");
  if (!f) {
    fprintf(stderr, "korvane-diagnose: cannot read %s: %s\n", name, strerror(errno));
    return 1;
  }
  line_reader *in = new line_reader;
  line_reader_open_file(in, f);
  log_summary summary;
  summary.keep_passes = o.form == output_form::junit;
  std::string why;
  bool parsed = summarize_log(in, &summary, &why);
  int read_errno = in->error;
  bool unreadable = in->state == line_state::unreadable;
  delete in;
  if (!from_stdin) fclose(f);
  if (!parsed) {
    if (unreadable) why = "cannot be read: " + std::string(strerror(read_errno));
    fprintf(stderr, "korvane-diagnose: %s: %s\n", name, why.c_str());
    return 1;
  }
  if (summary.ending.cut_short_line)
    fprintf(stderr, "korvane-diagnose: %s: %s\n", name, cut_short_note(summary.ending).c_str());

  switch (o.form) {
    case output_form::text:
      fputs(diagnosis_report(summary).c_str(), stdout);
      break;
    case output_form::json:
      fputs(json_report(summary).c_str(), stdout);
      break;
    case output_form::junit:
      write_junit_report(stdout, summary);
      break;
  }
  if (fflush(stdout) != 0 || ferror(stdout)) {
    fprintf(stderr, "korvane-diagnose: cannot write the report: %s\n", strerror(errno));
    return 1;
  }
  if (o.html && !write_html(o.html, name, summary, &why)) {
    fprintf(stderr, "korvane-diagnose: cannot write %s: %s\n", o.html, why.c_str());
    return 1;
  }
  return o.exit_status ? verdict_status(summary) : 0;
}
