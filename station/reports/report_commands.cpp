#include "station/reports/report_commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "bus_drawing.h"
#include "station/reports/history_format.h"
#include "station/reports/history_query.h"
#include "station/reports/html_report.h"
#include "korvane/option_table.h"
#include "korvane/whole_file.h"
#include "net_names.h"
#include "station/reports/report_format.h"
#include "station/reports/report_query.h"

namespace {

// The program whose commands these are: its name in messages and usage, its
// default database, the report's title, and whether the report has a table
// of stations.
struct program {
  const char *name, *default_db, *title;
  bool per_station;
  report_opener opener;
};

bool always_file(const std::string &) { return true; }

const program STATION = {"korvane-station",
                         "korvane-station.db",
                         "Station report",
                         false,
                         {report_db_open_file, always_file}};

program line_program(const report_opener &opener) {
  return {"korvane-line", "korvane-line.db", "Line report", true, opener};
}

struct command_options {
  explicit command_options(const program &of) : p(&of), db(of.default_db) {}
  const program *p;
  std::string db;
  std::string since, until, station, html, serial;
  bool csv = false;
  bool serial_given = false;
  bool help = false;
  std::string usage;  // the command's, for --help and a bad option
};

int bad_option(const command_options &o, const std::string &problem) {
  fprintf(stderr, "%s: %s\n%s", o.p->name, problem.c_str(), o.usage.c_str());
  return 2;
}

// The usage of each command is its synopsis alone, so the rows carry no
// help text.
using row = option_row<command_options>;

const row REPORT_OPTIONS[] = {
    {"--db", "PATH", nullptr, option_word<&command_options::db>},
    {"--since", "DATE", nullptr, option_word<&command_options::since>},
    {"--until", "DATE", nullptr, option_word<&command_options::until>},
    {"--station", "NAME", nullptr, option_word<&command_options::station>},
    {"--csv", nullptr, nullptr, option_flag<&command_options::csv>},
    {"--html", "FILE", nullptr, option_word<&command_options::html>},
    {"-h, --help", nullptr, nullptr, option_flag<&command_options::help>, 0, true},
};

const row HISTORY_OPTIONS[] = {
    {"--db", "PATH", nullptr, option_word<&command_options::db>},
    {"--csv", nullptr, nullptr, option_flag<&command_options::csv>},
    {"--html", "FILE", nullptr, option_word<&command_options::html>},
    {"-h, --help", nullptr, nullptr, option_flag<&command_options::help>, 0, true},
};

bool refuse_argument(command_options *, const char *text, std::string *why) {
  *why = option_stray_words(text);
  return false;
}

// Each command's usage is its synopsis, lines short of this.
const size_t USAGE_WIDTH = 90;

// "Usage: korvane-station"
std::string usage_lead(const command_options &o) { return std::string("Usage: ") + o.p->name; }

bool take_serial(command_options *o, const char *text, std::string *why) {
  if (o->serial_given) return refuse_argument(o, text, why);
  o->serial = text;
  o->serial_given = true;
  return true;
}

// False with the reason. Values come as "--db PATH" or "--db=PATH".
template <size_t N>
bool parse_options(int argc, char **argv, const row (&rows)[N],
                   bool (*argument)(command_options *, const char *, std::string *),
                   command_options *o, std::string *why) {
  option_outcome outcome;
  if (option_parse(argc, argv, rows, option_rules(), argument, o, &outcome)) return true;
  *why = option_fault_words(outcome, rows);
  return false;
}

// False when the command ends with its command line, with the status to end
// with: after its usage (--help) or a bad option.
template <size_t N>
bool read_options(int argc, char **argv, const row (&rows)[N],
                  bool (*argument)(command_options *, const char *, std::string *),
                  const std::string &usage, command_options *o, int *status) {
  o->usage = usage;
  std::string why;
  if (!parse_options(argc, argv, rows, argument, o, &why)) {
    *status = bad_option(*o, why);
    return false;
  }
  if (o->help) fputs(usage.c_str(), stdout);
  *status = 0;
  return !o->help;
}

bool write_stdout(const std::string &text) {
  return fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

int finish(bool written, const command_options &o, const std::string &page) {
  if (fflush(stdout) != 0 || ferror(stdout) || !written) {
    fprintf(stderr, "%s: cannot write the report: %s\n", o.p->name, strerror(errno));
    return 1;
  }
  std::string why;
  if (!o.html.empty() && !write_whole_file(o.html, page, &why)) {
    fprintf(stderr, "%s: cannot write %s: %s\n", o.p->name, o.html.c_str(), why.c_str());
    return 1;
  }
  return 0;
}

// The one line for a database that cannot be read; status 1.
int unreadable_database(const command_options &o, const std::string &why) {
  fprintf(stderr, "%s: cannot read the database %s: %s\n", o.p->name, o.db.c_str(), why.c_str());
  return 1;
}

bool open_database(const command_options &o, report_db *db) {
  std::string why;
  if (o.p->opener.open(o.db, db, &why)) return true;
  unreadable_database(o, why);
  return false;
}

void binary_output() {
#if defined(_WIN32)
  // CSV's CR LF as written, not CR CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

// The board's names for its lines from the file `nets` beside the database,
// none when there is no such file; false, with the message printed, for a
// file that is there and refused.
bool read_nets(const command_options &o, net_names *nets) {
  if (!o.p->opener.is_file(o.db)) return true;
  std::string path = nets_beside(o.db), why;
  bool missing = false;
  if (net_names_read(path, nets, &why, &missing) || missing) return true;
  fprintf(stderr, "%s: cannot read the nets file %s: %s\n", o.p->name, path.c_str(), why.c_str());
  return false;
}

// What the report covers, in words, for the page's title.
std::string report_title(const command_options &o) {
  std::string title = o.p->title;
  if (!o.station.empty()) title += " for " + o.station;
  if (!o.since.empty()) title += " from " + o.since;
  if (!o.until.empty()) title += " until " + o.until;
  return title;
}

}  // namespace

std::string report_synopsis(const std::string &lead, size_t width) {
  return option_synopsis(REPORT_OPTIONS, lead + " report", width);
}

std::string history_synopsis(const std::string &lead, size_t width) {
  return option_synopsis(HISTORY_OPTIONS, lead + " history SERIAL", width);
}

namespace {

int report_main(const program &p, int argc, char **argv) {
  command_options o(p);
  int status;
  if (!read_options(argc, argv, REPORT_OPTIONS, refuse_argument,
                    report_synopsis(usage_lead(o), USAGE_WIDTH), &o, &status))
    return status;
  report_filter filter;
  filter.station = o.station;
  const std::pair<const std::string *, std::string *> bounds[] = {{&o.since, &filter.since},
                                                                  {&o.until, &filter.until}};
  for (const auto &b : bounds) {
    if (!b.first->empty() && !report_bound(*b.first, b.second == &filter.until, b.second))
      return bad_option(o, "not a date (YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ): " + *b.first);
  }
  binary_output();
  net_names nets;
  if (!read_nets(o, &nets)) return 1;
  report_db db;
  if (!open_database(o, &db)) return 1;
  station_report report;
  std::vector<board_record> failed;
  std::string why;
  bool ok = report_gather(db, filter, p.per_station, &report, &why) &&
            (o.html.empty() ||
             report_failed_boards(
                 db, filter, [&failed](const board_record &b) { failed.push_back(b); }, &why));
  db = nullptr;
  if (!ok) return unreadable_database(o, why);
  bool written = write_stdout(o.csv ? report_csv(report, p.per_station)
                                    : nets_in_text(report_text(report, p.per_station), nets));
  return finish(
      written, o,
      o.html.empty() ? std::string() : html_report_page(report_title(o), report, failed, nets));
}

int history_main(const program &p, int argc, char **argv) {
  command_options o(p);
  int status;
  bool read = read_options(argc, argv, HISTORY_OPTIONS, take_serial,
                           history_synopsis(usage_lead(o), USAGE_WIDTH), &o, &status);
  if (read && !o.serial_given) return bad_option(o, "which board? give its serial");
  if (!read) return status;
  binary_output();
  net_names nets;
  if (!read_nets(o, &nets)) return 1;
  report_db db;
  if (!open_database(o, &db)) return 1;
  std::vector<board_record> kept;
  bool written = true;
  long long count = 0, shown = 0;
  std::string why;
  bool ok = history_cycles(
      db, o.serial,
      [&](const board_record &c) {
        if (shown++ == 0)
          written = write_stdout(o.csv ? history_csv_header()
                                       : "History of board " + o.serial + ", oldest first:\n") &&
                    written;
        written =
            write_stdout(o.csv ? history_csv_line(c) : nets_in_text(history_text_line(c), nets)) &&
            written;
        if (!o.html.empty()) kept.push_back(c);
      },
      &count, &why);
  db = nullptr;
  if (!ok) return unreadable_database(o, why);
  if (!count) {
    fprintf(stderr, "%s: no board with serial %s in %s\n", o.p->name, o.serial.c_str(),
            o.db.c_str());
    return 1;
  }
  return finish(written, o,
                o.html.empty() ? std::string() : html_history_page(o.serial, kept, nets));
}

}  // namespace

int station_report_main(int argc, char **argv) { return report_main(STATION, argc, argv); }
int station_history_main(int argc, char **argv) { return history_main(STATION, argc, argv); }
int line_report_main(int argc, char **argv, const report_opener &opener) {
  return report_main(line_program(opener), argc, argv);
}
int line_history_main(int argc, char **argv, const report_opener &opener) {
  return history_main(line_program(opener), argc, argv);
}
