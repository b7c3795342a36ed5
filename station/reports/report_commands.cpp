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
#include "station/reports/history_database.h"
#include "station/reports/history_format.h"
#include "station/reports/history_query.h"
#include "station/reports/html_report.h"
#include "korvane/option_table.h"
#include "net_names.h"
#include "station/reports/report_format.h"
#include "station/reports/report_query.h"

namespace {

const char DEFAULT_DB[] = "korvane-station.db";

const char REPORT_USAGE[] =
    "Usage: korvane-station report [--db PATH] [--since DATE] [--until DATE] [--station NAME]\n"
    "                              [--csv] [--html FILE]\n";
const char HISTORY_USAGE[] =
    "Usage: korvane-station history SERIAL [--db PATH] [--csv] [--html FILE]\n";

struct command_options {
  std::string db = DEFAULT_DB;
  std::string since, until, station, html, serial;
  bool csv = false;
  bool serial_given = false;
  bool help = false;
};

int bad_option(const char *usage, const std::string &problem) {
  fprintf(stderr, "korvane-station: %s\n%s", problem.c_str(), usage);
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
  *why = "unexpected argument: " + std::string(text);
  return false;
}

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
  switch (outcome.fault) {
    case option_fault::unknown:
    case option_fault::unwanted_value:
      *why = "unknown option: " + std::string(argv[outcome.arg]);
      break;
    case option_fault::missing_value:
    case option_fault::refused_value:
      *why = outcome.name + " needs a value";
      break;
    default:
      *why = outcome.why;
      break;
  }
  return false;
}

// False when the command ends with its command line, with the status to end
// with: after its usage (--help) or a bad option.
template <size_t N>
bool read_options(int argc, char **argv, const row (&rows)[N],
                  bool (*argument)(command_options *, const char *, std::string *),
                  const char *usage, command_options *o, int *status) {
  std::string why;
  if (!parse_options(argc, argv, rows, argument, o, &why)) {
    *status = bad_option(usage, why);
    return false;
  }
  if (o->help) fputs(usage, stdout);
  *status = 0;
  return !o->help;
}

bool write_stdout(const std::string &text) {
  return fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

int finish(bool written, const command_options &o, const std::string &page) {
  if (fflush(stdout) != 0 || ferror(stdout) || !written) {
    fprintf(stderr, "korvane-station: cannot write the report: %s\n", strerror(errno));
    return 1;
  }
  std::string why;
  if (!o.html.empty() && !html_page_write(o.html, page, &why)) {
    fprintf(stderr, "korvane-station: cannot write %s: %s\n", o.html.c_str(), why.c_str());
    return 1;
  }
  return 0;
}

sqlite3 *open_database(const command_options &o) {
  std::string why;
  sqlite3 *db = history_database_open(o.db, &why);
  if (!db)
    fprintf(stderr, "korvane-station: cannot read the database %s: %s\n", o.db.c_str(),
            why.c_str());
  return db;
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
  std::string path = nets_beside(o.db), why;
  bool missing = false;
  if (net_names_read(path, nets, &why, &missing) || missing) return true;
  fprintf(stderr, "korvane-station: cannot read the nets file %s: %s\n", path.c_str(), why.c_str());
  return false;
}

// What the report covers, in words, for the page's title.
std::string report_title(const command_options &o) {
  std::string title = "Station report";
  if (!o.station.empty()) title += " for " + o.station;
  if (!o.since.empty()) title += " from " + o.since;
  if (!o.until.empty()) title += " until " + o.until;
  return title;
}

}  // namespace

int station_report_main(int argc, char **argv) {
  command_options o;
  int status;
  if (!read_options(argc, argv, REPORT_OPTIONS, refuse_argument, REPORT_USAGE, &o, &status))
    return status;
  report_filter filter;
  filter.station = o.station;
  const std::pair<const std::string *, std::string *> bounds[] = {{&o.since, &filter.since},
                                                                  {&o.until, &filter.until}};
  for (const auto &b : bounds) {
    if (!b.first->empty() && !report_bound(*b.first, b.second == &filter.until, b.second))
      return bad_option(REPORT_USAGE,
                        "not a date (YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ): " + *b.first);
  }
  binary_output();
  net_names nets;
  if (!read_nets(o, &nets)) return 1;
  sqlite3 *db = open_database(o);
  if (!db) return 1;
  station_report report;
  std::vector<failed_board> failed;
  std::string why;
  bool ok = report_gather(db, filter, &report, &why) &&
            (o.html.empty() ||
             report_failed_boards(
                 db, filter, [&failed](const failed_board &b) { failed.push_back(b); }, &why));
  sqlite3_close(db);
  if (!ok) {
    fprintf(stderr, "korvane-station: cannot read the database %s: %s\n", o.db.c_str(),
            why.c_str());
    return 1;
  }
  bool written = write_stdout(o.csv ? report_csv(report) : nets_in_text(report_text(report), nets));
  return finish(
      written, o,
      o.html.empty() ? std::string() : html_report_page(report_title(o), report, failed, nets));
}

int station_history_main(int argc, char **argv) {
  command_options o;
  int status;
  if (!read_options(argc, argv, HISTORY_OPTIONS, take_serial, HISTORY_USAGE, &o, &status))
    return status;
  if (!o.serial_given) return bad_option(HISTORY_USAGE, "which board? give its serial");
  binary_output();
  net_names nets;
  if (!read_nets(o, &nets)) return 1;
  sqlite3 *db = open_database(o);
  if (!db) return 1;
  std::vector<history_cycle> kept;
  bool written = true;
  long long count = 0, shown = 0;
  std::string why;
  bool ok = history_cycles(
      db, o.serial,
      [&](const history_cycle &c) {
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
  sqlite3_close(db);
  if (!ok) {
    fprintf(stderr, "korvane-station: cannot read the database %s: %s\n", o.db.c_str(),
            why.c_str());
    return 1;
  }
  if (!count) {
    fprintf(stderr, "korvane-station: no board with serial %s in %s\n", o.serial.c_str(),
            o.db.c_str());
    return 1;
  }
  return finish(written, o,
                o.html.empty() ? std::string() : html_history_page(o.serial, kept, nets));
}
