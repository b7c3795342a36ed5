#include "station_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "web_address.h"

namespace {

enum class option_id {
  passes,
  minutes,
  test,
  db,
  logs,
  station,
  operator_name,
  once,
  junit,
  json,
  korvane,
  web,
  help,
  version,
};

struct option_row {
  option_id id;
  const char *name;      // with its dashes
  const char *argument;  // nullptr for a flag
  const char *help;      // may hold line breaks; each further line is indented
};

const option_row OPTIONS[] = {
    {option_id::passes, "--passes", "N", "soak each board for N complete passes"},
    {option_id::minutes, "--minutes", "M",
     "soak each board for M minutes, counting its complete\npasses"},
    {option_id::test, "--test", "sdram|flash", "run that test alone"},
    {option_id::db, "--db", "PATH", "the database (default korvane-station.db)"},
    {option_id::logs, "--logs", "DIR", "the folder of the boards' logs (default korvane-logs)"},
    {option_id::station, "--station", "NAME",
     "the station's name in the records (default the\nhost name)"},
    {option_id::operator_name, "--operator", "NAME", "the operator's name in the records"},
    {option_id::once, "--once", nullptr, "test one board per slot, then end"},
    {option_id::junit, "--junit", "FILE", "write the run's JUnit XML report after every board"},
    {option_id::json, "--json", "FILE", "write the run's JSON report after every board"},
    {option_id::korvane, "--korvane", "PATH",
     "the korvane program (default the one beside\nkorvane-station)"},
    {option_id::web, "--web", "[ADDR:]PORT",
     "serve a live page of the slots, on 127.0.0.1\nunless ADDR is given"},
    {option_id::help, "--help", nullptr, "print this text and exit"},
    {option_id::version, "--version", nullptr, "print the version and exit"},
};

const char USAGE_HEAD[] =
    "Usage: korvane-station [options] SLOT...\n"
    "       korvane-station report [--db PATH] [--since DATE] [--until DATE]\n"
    "                              [--station NAME] [--csv] [--html FILE]\n"
    "       korvane-station history SERIAL [--db PATH] [--csv] [--html FILE]\n"
    "\n"
    "Tests boards on several serial ports at once, one korvane per slot. Each\n"
    "SLOT is NAME=PORT or PORT, PORT being what korvane's -p takes. Each line\n"
    "on standard input is a board's serial number: NAME=SERIAL for that slot's\n"
    "board, SERIAL for the first slot whose board has none; `q` on a terminal\n"
    "ends the station as Ctrl-C does. `report` and `history` sum up the\n"
    "records and never start a board.\n"
    "\n";

const char USAGE_TAIL[] =
    "\n"
    "Exit status: 0 when every board passed; else 8 is added when any board's\n"
    "SDRAM test failed, 16 when any board's FLASH test did, and 1 when any board\n"
    "ended in error or was interrupted, a slot's port could not be used, or a\n"
    "record could not be written; 1 alone when the station cannot start; 2 for\n"
    "a bad option.\n";

const size_t HELP_COLUMN = 22;

// Whole text, a number in [lo, hi].
bool read_number(const char *text, double lo, double hi, bool whole, double *value) {
  if (!*text || *text == ' ' || *text == '+' || *text == '-') return false;
  char *end;
  errno = 0;
  double v = whole ? (double)std::strtol(text, &end, 10) : std::strtod(text, &end);
  if (*end || errno || !(v >= lo && v <= hi)) return false;
  *value = v;
  return true;
}

bool take_option(const option_row &row, const char *arg, station_options *o, std::string *why) {
  double v = 0;
  switch (row.id) {
    case option_id::passes:
      if (!read_number(arg, 1, 1000000, true, &v)) {
        *why = "--passes takes a whole number from 1 to 1000000: " + std::string(arg);
        return false;
      }
      o->passes = (int)v;
      return true;
    case option_id::minutes:
      if (!read_number(arg, 0.001, 100000, false, &v)) {
        *why = "--minutes takes a number of minutes above 0: " + std::string(arg);
        return false;
      }
      o->minutes = v;
      return true;
    case option_id::test:
      if (std::strcmp(arg, "sdram") != 0 && std::strcmp(arg, "flash") != 0) {
        *why = "--test takes sdram or flash: " + std::string(arg);
        return false;
      }
      o->test = arg;
      return true;
    case option_id::db:
      o->db = arg;
      return true;
    case option_id::logs:
      o->logs = arg;
      return true;
    case option_id::station:
      o->station = arg;
      return true;
    case option_id::operator_name:
      o->operator_name = arg;
      return true;
    case option_id::junit:
      o->junit = arg;
      return true;
    case option_id::json:
      o->json = arg;
      return true;
    case option_id::korvane:
      o->korvane = arg;
      return true;
    case option_id::web: {
      web_address address;
      std::string reason;
      if (!web_parse_address(arg, &address, &reason)) {
        *why = "--web takes [ADDR:]PORT: " + reason;
        return false;
      }
      o->web = arg;
      return true;
    }
    case option_id::once:
      o->once = true;
      return true;
    case option_id::help:
      o->help = true;
      return true;
    case option_id::version:
      o->version = true;
      return true;
  }
  return false;
}

bool add_slot(const std::string &text, station_options *o, std::string *why) {
  size_t eq = text.find('=');
  station_slot s;
  s.name = eq == std::string::npos ? text : text.substr(0, eq);
  s.port = eq == std::string::npos ? text : text.substr(eq + 1);
  if (s.name.empty() || s.port.empty()) {
    *why = "a slot is NAME=PORT or PORT: " + text;
    return false;
  }
  for (const station_slot &other : o->slots) {
    if (other.name == s.name) {
      *why = "two slots named " + s.name;
      return false;
    }
    if (other.port == s.port) {
      *why = "two slots on port " + s.port;
      return false;
    }
  }
  o->slots.push_back(s);
  return true;
}

}  // namespace

bool parse_station_options(int argc, char **argv, station_options *o, std::string *why) {
  std::string ignored;
  if (!why) why = &ignored;
  bool options_end = false;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      if (!add_slot(arg, o, why)) return false;
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "-h") arg = "--help";
    // --name=value as well as --name value.
    std::string value;
    bool value_given = false;
    size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      value_given = true;
      arg.resize(eq);
    }
    const option_row *row = nullptr;
    for (const option_row &r : OPTIONS) {
      if (arg == r.name) row = &r;
    }
    if (!row) {
      *why = "unknown option " + arg;
      return false;
    }
    if (row->argument && !value_given) {
      if (i + 1 >= argc) {
        *why = arg + " needs its " + row->argument;
        return false;
      }
      value = argv[++i];
    } else if (!row->argument && value_given) {
      *why = arg + " takes no value";
      return false;
    }
    if (!take_option(*row, value.c_str(), o, why)) return false;
  }
  if (o->help || o->version) return true;
  if (o->passes && o->minutes > 0) {
    *why = "--passes and --minutes exclude each other";
    return false;
  }
  if (o->slots.empty()) {
    *why = "no slot given";
    return false;
  }
  return true;
}

std::string station_usage(void) {
  std::string text = USAGE_HEAD;
  text += "Options:\n";
  for (const option_row &r : OPTIONS) {
    std::string head =
        std::string("  ") + r.name + (r.argument ? std::string(" ") + r.argument : "");
    if (head.size() + 1 > HELP_COLUMN) {
      text += head + "\n" + std::string(HELP_COLUMN, ' ');
    } else {
      text += head + std::string(HELP_COLUMN - head.size(), ' ');
    }
    for (const char *c = r.help; *c; c++) {
      text += *c;
      if (*c == '\n') text += std::string(HELP_COLUMN, ' ');
    }
    text += "\n";
  }
  return text + USAGE_TAIL;
}
