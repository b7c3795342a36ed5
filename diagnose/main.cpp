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
#include "korvane/option_table.h"
#include "korvane/whole_file.h"
#include "korvane/why.h"
#include "json_report.h"
#include "junit_report.h"
#include "line_reader.h"
#include "log_parser.h"
#include "log_summary.h"
#include "net_names.h"
#include "report.h"

namespace {

const char USAGE_HEAD[] =
    "Usage: korvane-diagnose [--json | --junit] [--exit-status] [--html FILE] [--nets FILE]\n"
    "                        [LOGFILE]\n"
    "\n"
    "Reads the log that `korvane -l LOGFILE` wrote (standard input when no\n"
    "file is given) and prints one line per test: how many passes failed and,\n"
    "when korvane ran with -v, which SDRAM data or address line is stuck or\n"
    "shorted and which flash check failed. A continuous run's passes are\n"
    "grouped by what they showed.\n"
    "\n";

const char USAGE_TAIL[] =
    "\n"
    "Exit status: 0 when the log was read and diagnosed, whatever the verdict\n"
    "(with --exit-status: when every test passed in every pass); 1 for a log\n"
    "that cannot be read or is not a korvane log, a nets file refused, or a\n"
    "report that cannot be written; 2 for a bad option. With --exit-status\n"
    "only: 4 when no pass that could be read failed but some pass could not\n"
    "be read, and 8 added when SDRAM failed, 16 when FLASH did.\n";

const size_t HELP_COLUMN = 17;

const char SHORT_USAGE[] =
    "Usage: korvane-diagnose [--json | --junit] [--exit-status] [--html FILE] [--nets FILE]\n"
    "                        [LOGFILE]\n";

enum class output_form { text, json, junit };

struct options {
  output_form form = output_form::text;
  bool form_given = false;
  bool exit_status = false;
  const char *path = nullptr;
  const char *html = nullptr;
  const char *nets = nullptr;
  bool help = false;
  bool version = false;
};

bool set_form(options *o, output_form form, std::string *why) {
  if (o->form_given && form != o->form) {
    *why = "--json and --junit exclude each other";
    return false;
  }
  o->form = form;
  o->form_given = true;
  return true;
}

// --help and --version act where they stand: what follows them is not read.
const option_row<options> OPTIONS[] = {
    {"--json", nullptr, "print one JSON document instead of the text",
     [](options *o, const char *, std::string *why) {
       return set_form(o, output_form::json, why);
     }},
    {"--junit", nullptr, "print a JUnit XML report instead of the text",
     [](options *o, const char *, std::string *why) {
       return set_form(o, output_form::junit, why);
     }},
    {"--html", "FILE",
     "also write FILE, an HTML page that draws the SDRAM bus\nwith the faulty lines marked and "
     "lists the failed flash\nchecks",
     option_word<&options::html>},
    {"--nets", "FILE",
     "name the SDRAM lines as FILE does, a CSV of LINE,NAME\nrows (D5,SD_D5 U12 pin 34)",
     option_word<&options::nets>},
    {"--exit-status", nullptr,
     "exit with 8 when the SDRAM test failed in any pass, 16\nwhen the FLASH test did, 24 when "
     "both did",
     option_flag<&options::exit_status>},
    {"-h, --help", nullptr, "print this text and exit", option_flag<&options::help>, 0, true},
    {"--version", nullptr, "print the version and exit", option_flag<&options::version>, 0, true},
};

// The log file: one at most, "-" for standard input.
bool set_path(options *o, const char *text, std::string *why) {
  if (o->path) {
    *why = "more than one log file: " + std::string(text);
    return false;
  }
  o->path = text;
  return true;
}

// False with the reason in why (may be null).
bool parse_options(int argc, char **argv, options *o, std::string *why) {
  option_outcome outcome;
  if (option_parse(argc, argv, OPTIONS, option_rules(), set_path, o, &outcome)) return true;
  return set_why(why, option_fault_words(outcome, OPTIONS));
}

// The page of --html: the text report, the bus drawn with its faults and
// the failed flash checks.
bool write_html(const char *path, const char *log_name, const log_summary &s, const net_names &nets,
                std::string *why) {
  bus_faults faults = bus_faults_of(s);
  faults.nets = nets;
  std::string body = "<h1>" + html_escape(log_name) + "</h1>\n<pre class=\"diagnosis\">" +
                     html_escape(nets_in_text(diagnosis_report(s), nets)) + "</pre>\n" +
                     bus_drawing_svg(faults) + flash_checks_html(faults);
  return write_whole_file(path, html_page(std::string("korvane-diagnose: ") + log_name, body), why);
}

}  // namespace

int main(int argc, char **argv) {
#if defined(_WIN32)
  // The same bytes out as on Linux: text mode would put a CR before every LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  options o;
  std::string why;
  if (!parse_options(argc, argv, &o, &why)) {
    fprintf(stderr, "korvane-diagnose: %s\n%s", why.c_str(), SHORT_USAGE);
    return 2;
  }
  if (o.help) {
    fputs((USAGE_HEAD + option_usage(OPTIONS, HELP_COLUMN) + USAGE_TAIL).c_str(), stdout);
    return 0;
  }
  if (o.version) {
    fputs("korvane-diagnose " KORVANE_VERSION "\n", stdout);
    return 0;
  }

  net_names nets;
  if (o.nets && !net_names_read(o.nets, &nets, &why)) {
    fprintf(stderr, "korvane-diagnose: %s: %s\n", o.nets, why.c_str());
    return 1;
  }

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
      fputs(nets_in_text(diagnosis_report(summary), nets).c_str(), stdout);
      break;
    case output_form::json:
      fputs(nets_in_json(json_report(summary), nets).c_str(), stdout);
      break;
    case output_form::junit:
      write_junit_report(stdout, summary);
      break;
  }
  if (fflush(stdout) != 0 || ferror(stdout)) {
    fprintf(stderr, "korvane-diagnose: cannot write the report: %s\n", strerror(errno));
    return 1;
  }
  if (o.html && !write_html(o.html, name, summary, nets, &why)) {
    fprintf(stderr, "korvane-diagnose: cannot write %s: %s\n", o.html, why.c_str());
    return 1;
  }
  return o.exit_status ? summary_status(summary) : 0;
}
