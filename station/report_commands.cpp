#include "report_commands.h"

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
#include "history_database.h"
#include "history_format.h"
#include "history_query.h"
#include "html_report.h"
#include "report_format.h"
#include "report_query.h"

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
};

int bad_option(const char *usage, const std::string &problem) {
  fprintf(stderr, "korvane-station: %s\n%s", problem.c_str(), usage);
  return 2;
}

// 0 to go on, -1 after the help, else the status to exit with. Values come
// as "--db PATH" or "--db=PATH".
int parse_options(int argc, char **argv, bool report, command_options *o) {
  const char *usage = report ? REPORT_USAGE : HISTORY_USAGE;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i], name = arg, value;
    bool inline_value = false;
    if (!options_end && arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
      name = arg.substr(0, arg.find('='));
      value = arg.substr(arg.find('=') + 1);
      inline_value = true;
    }
    std::string *target = nullptr;
    if (options_end || arg == "-" || arg.empty() || arg[0] != '-') {
      if (report || o->serial_given) return bad_option(usage, "unexpected argument: " + arg);
      o->serial = arg;
      o->serial_given = true;
      continue;
    } else if (arg == "--") {
      options_end = true;
      continue;
    } else if (arg == "-h" || arg == "--help") {
      fputs(usage, stdout);
      return -1;
    } else if (arg == "--csv") {
      o->csv = true;
      continue;
    } else if (name == "--db") {
      target = &o->db;
    } else if (name == "--html") {
      target = &o->html;
    } else if (report && name == "--since") {
      target = &o->since;
    } else if (report && name == "--until") {
      target = &o->until;
    } else if (report && name == "--station") {
      target = &o->station;
    } else {
      return bad_option(usage, "unknown option: " + arg);
    }
    if (!inline_value) {
      if (i + 1 >= argc) return bad_option(usage, name + " needs a value");
      value = argv[++i];
    }
    if (value.empty()) return bad_option(usage, name + " needs a value");
    *target = value;
  }
  if (!report && !o->serial_given) return bad_option(usage, "which board? give its serial");
  return 0;
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
  int status = parse_options(argc, argv, true, &o);
  if (status) return status < 0 ? 0 : status;
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
  bool written = write_stdout(o.csv ? report_csv(report) : report_text(report));
  return finish(written, o,
                o.html.empty() ? std::string() : html_report_page(report_title(o), report, failed));
}

int station_history_main(int argc, char **argv) {
  command_options o;
  int status = parse_options(argc, argv, false, &o);
  if (status) return status < 0 ? 0 : status;
  binary_output();
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
        written = write_stdout(o.csv ? history_csv_line(c) : history_text_line(c)) && written;
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
  return finish(written, o, o.html.empty() ? std::string() : html_history_page(o.serial, kept));
}
