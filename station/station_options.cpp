#include "station_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "korvane/option_table.h"
#include "web_address.h"

namespace {

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

using row = option_row<station_options>;

const row OPTIONS[] = {
    {"--passes", "N", "soak each board for N complete passes",
     [](station_options *o, const char *value, std::string *why) {
       double v = 0;
       if (!read_number(value, 1, 1000000, true, &v)) {
         *why = "--passes takes a whole number from 1 to 1000000: " + std::string(value);
         return false;
       }
       o->passes = (int)v;
       return true;
     }},
    {"--minutes", "M", "soak each board for M minutes, counting its complete\npasses",
     [](station_options *o, const char *value, std::string *why) {
       if (!read_number(value, 0.001, 100000, false, &o->minutes)) {
         *why = "--minutes takes a number of minutes above 0: " + std::string(value);
         return false;
       }
       return true;
     }},
    {"--test", "sdram|flash", "run that test alone",
     [](station_options *o, const char *value, std::string *why) {
       if (std::strcmp(value, "sdram") != 0 && std::strcmp(value, "flash") != 0) {
         *why = "--test takes sdram or flash: " + std::string(value);
         return false;
       }
       o->test = value;
       return true;
     }},
    {"--db", "PATH", "the database (default korvane-station.db)",
     [](station_options *o, const char *value, std::string *) {
       o->db = value;
       return true;
     }},
    {"--logs", "DIR", "the folder of the boards' logs (default korvane-logs)",
     [](station_options *o, const char *value, std::string *) {
       o->logs = value;
       return true;
     }},
    {"--station", "NAME", "the station's name in the records (default the\nhost name)",
     [](station_options *o, const char *value, std::string *) {
       o->station = value;
       return true;
     }},
    {"--operator", "NAME", "the operator's name in the records",
     [](station_options *o, const char *value, std::string *) {
       o->operator_name = value;
       return true;
     }},
    {"--once", nullptr, "test one board per slot, then end",
     [](station_options *o, const char *, std::string *) { return o->once = true; }},
    {"--junit", "FILE", "write the run's JUnit XML report after every board",
     [](station_options *o, const char *value, std::string *) {
       o->junit = value;
       return true;
     }},
    {"--json", "FILE", "write the run's JSON report after every board",
     [](station_options *o, const char *value, std::string *) {
       o->json = value;
       return true;
     }},
    {"--korvane", "PATH", "the korvane program (default the one beside\nkorvane-station)",
     [](station_options *o, const char *value, std::string *) {
       o->korvane = value;
       return true;
     }},
    {"--web", "[ADDR:]PORT", "serve a live page of the slots, on 127.0.0.1\nunless ADDR is given",
     [](station_options *o, const char *value, std::string *why) {
       web_address address;
       std::string reason;
       if (!web_parse_address(value, &address, &reason)) {
         *why = "--web takes [ADDR:]PORT: " + reason;
         return false;
       }
       o->web = value;
       return true;
     }},
    {"--help", nullptr, "print this text and exit",
     [](station_options *o, const char *, std::string *) { return o->help = true; }, 0, false,
     "-h"},
    {"--version", nullptr, "print the version and exit",
     [](station_options *o, const char *, std::string *) { return o->version = true; }},
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

bool add_slot(station_options *o, const char *argument, std::string *why) {
  const std::string text = argument;
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

// The command line's fault in the station's words.
std::string reason(const option_outcome &outcome) {
  switch (outcome.fault) {
    case option_fault::unknown:
      return "unknown option " + outcome.name;
    case option_fault::missing_value:
      return outcome.name + " needs its " + OPTIONS[outcome.row].argument;
    case option_fault::unwanted_value:
      return outcome.name + " takes no value";
    default:
      return outcome.why;
  }
}

}  // namespace

bool parse_station_options(int argc, char **argv, station_options *o, std::string *why) {
  option_outcome outcome;
  if (!option_parse(argc, argv, OPTIONS, option_rules(), add_slot, o, &outcome)) {
    if (why) *why = reason(outcome);
    return false;
  }
  if (o->help || o->version) return true;
  const char *problem = nullptr;
  if (o->passes && o->minutes > 0) {
    problem = "--passes and --minutes exclude each other";
  } else if (o->slots.empty()) {
    problem = "no slot given";
  }
  if (problem && why) *why = problem;
  return !problem;
}

std::string station_usage(void) {
  return USAGE_HEAD + std::string("Options:\n") + option_usage(OPTIONS, HELP_COLUMN) + USAGE_TAIL;
}
