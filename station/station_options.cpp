#include "station/station_options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "korvane/board_check_words.h"
#include "korvane/option_table.h"
#include "korvane/why.h"
#include "station/line/line_url.h"
#include "station/reports/report_commands.h"
#include "station/terminal/serial_rules.h"
#include "station/web/web_address.h"

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

// A value refused: the option's rule, then what was wrong.
bool refuse(std::string *why, const char *rule, const char *what) {
  *why = std::string(rule) + what;
  return false;
}

using row = option_row<station_options>;

const row OPTIONS[] = {
    {"--passes", "N", "soak each board for N complete passes",
     [](station_options *o, const char *value, std::string *why) {
       double v = 0;
       if (!read_number(value, 1, 1000000, true, &v))
         return refuse(why, "--passes takes a whole number from 1 to 1000000: ", value);
       o->passes = (int)v;
       return true;
     }},
    {"--minutes", "M", "soak each board for M minutes, counting its complete\npasses",
     [](station_options *o, const char *value, std::string *why) {
       return read_number(value, 0.001, 100000, false, &o->minutes) ||
              refuse(why, "--minutes takes a number of minutes above 0: ", value);
     }},
    {"--test", "sdram|flash", "run that test alone",
     [](station_options *o, const char *value, std::string *why) {
       board_test test;
       if (!board_test_named(value, &test))
         return refuse(why, "--test takes sdram or flash: ", value);
       o->test = value;
       return true;
     }},
    {"--db", "PATH", "the database (default korvane-station.db)",
     option_text<&station_options::db>},
    {"--logs", "DIR", "the folder of the boards' logs (default korvane-logs)",
     option_text<&station_options::logs>},
    {"--station", "NAME", "the station's name in the records (default the\nhost name)",
     option_text<&station_options::station>},
    {"--operator", "NAME", "the operator's name in the records",
     option_text<&station_options::operator_name>},
    {"--once", nullptr, "test one board per slot, then end", option_flag<&station_options::once>},
    {"--require-serial", nullptr, "test no board without its serial: a slot waits\nfor its scan",
     option_flag<&station_options::require_serial>},
    {"--serial-pattern", "REGEX", "refuse a serial that does not match REGEX whole",
     [](station_options *o, const char *value, std::string *why) {
       serial_pattern pattern;
       std::string reason;
       if (!serial_pattern_make(value, &pattern, &reason) || !*value)
         return refuse(why, "--serial-pattern takes a regular expression: ", value);
       o->serial_pattern = value;
       return true;
     }},
    {"--junit", "FILE", "write the run's JUnit XML report after every board",
     option_text<&station_options::junit>},
    {"--json", "FILE", "write the run's JSON report after every board",
     option_text<&station_options::json>},
    {"--korvane", "PATH", "the korvane program (default the one beside\nkorvane-station)",
     option_text<&station_options::korvane>},
    {"--web", "[ADDR:]PORT", "serve a live page of the slots, on 127.0.0.1\nunless ADDR is given",
     [](station_options *o, const char *value, std::string *why) {
       web_address address;
       std::string reason;
       if (!web_parse_address(value, &address, &reason))
         return refuse(why, "--web takes [ADDR:]PORT: ", reason.c_str());
       o->web = value;
       return true;
     }},
    {"--web-cert", "FILE",
     "serve the page over HTTPS (TLS 1.2 or 1.3) with this\ncertificate chain (PEM)",
     option_text<&station_options::web_cert>},
    {"--web-key", "FILE", "the certificate's key (PEM), its owner's alone",
     option_text<&station_options::web_key>},
    {"--nets", "FILE",
     "name the SDRAM lines in the records as FILE does, a CSV\nof LINE,NAME rows (default the "
     "file nets beside the\ndatabase, when there is one)",
     option_text<&station_options::nets>},
    {"--max-attempts", "N",
     "hold a board whose serial failed N times in the\nrecords already: it goes to rework",
     [](station_options *o, const char *value, std::string *why) {
       double v = 0;
       if (!read_number(value, 1, 1000, true, &v))
         return refuse(why, "--max-attempts takes a whole number from 1 to 1000: ", value);
       o->max_attempts = (int)v;
       return true;
     }},
    {"--line", "URL",
     "send every record to the line server at URL\n(https://HOST[:PORT][/PATH], or http:// "
     "on this PC)",
     [](station_options *o, const char *value, std::string *why) {
       line_url url;
       std::string reason;
       if (!line_parse_url(value, &url, &reason)) return refuse(why, "--line: ", reason.c_str());
       o->line = value;
       return true;
     }},
    {"--line-token", "FILE", "the file holding the station's token for the line",
     option_text<&station_options::line_token>},
    {"--line-ca", "FILE",
     "check the https:// line's certificate against the CA\ncertificates in FILE alone "
     "(default the system's)",
     option_text<&station_options::line_ca>},
    {"--line-pin", "SHA256",
     "take the https:// line whose public key has this\nSHA-256 (hex), its certificate "
     "unchecked",
     [](station_options *o, const char *value, std::string *why) {
       // Upper case and colons between the bytes, as tools print it, too.
       std::string hex;
       for (const char *c = value; *c; c++)
         if (*c != ':') hex += (char)std::tolower((unsigned char)*c);
       if (hex.size() != 64 || hex.find_first_not_of("0123456789abcdef") != std::string::npos)
         return refuse(why, "--line-pin takes a SHA-256 in 64 hex digits: ", value);
       o->line_pin = hex;
       return true;
     }},
    {"--line-insecure", nullptr,
     "send to an http:// line beyond this PC, the token\nand the records readable on the "
     "network",
     option_flag<&station_options::line_insecure>},
    {"--help", nullptr, "print this text and exit", option_flag<&station_options::help>, 0, false,
     "-h"},
    {"--version", nullptr, "print the version and exit", option_flag<&station_options::version>},
};

// The commands' synopses follow the first line, under it, lines short of
// this.
const size_t SYNOPSIS_WIDTH = 72;
const char SYNOPSIS_LEAD[] = "       korvane-station";

const char USAGE_HEAD[] =
    "\n"
    "Tests boards on several serial ports at once, one korvane per slot. Each\n"
    "SLOT is NAME=PORT or PORT, PORT being what korvane's -p takes. Each line\n"
    "on standard input is a board's serial number: NAME=SERIAL for that slot's\n"
    "board, SERIAL for the first slot that takes one, `retry NAME` to test a\n"
    "board that ended in error again; `q` on a terminal ends the station as\n"
    "Ctrl-C does. `report` and `history` sum up the records and never start a\n"
    "board; `export` writes them as JSON lines.\n"
    "\n";

const char USAGE_TAIL[] =
    "\n"
    "Exit status: 0 when every board passed; else 8 is added when any board's\n"
    "SDRAM test failed, 16 when any board's FLASH test did, and 1 when any board\n"
    "ended in error or was interrupted, a slot's port could not be used, or a\n"
    "record could not be written; 1 alone when the station cannot start; 2 for\n"
    "a bad option.\n";

const size_t HELP_COLUMN = 22;

// A plain argument: a slot, NAME=PORT or PORT.
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

// How the line is reached: an https:// line is checked, by the system's CA
// store, --line-ca or --line-pin; http:// leaves this PC only when asked.
bool line_problem(const station_options &o, std::string *why) {
  line_url url;
  std::string reason;
  if (o.line.empty()) {
    if (!o.line_ca.empty() || !o.line_pin.empty() || o.line_insecure)
      return set_why(why, "--line-ca, --line-pin and --line-insecure go with --line");
    return true;
  }
  line_parse_url(o.line, &url, &reason);
  if (url.tls && o.line_insecure)
    return set_why(why,
                   "--line-insecure is for an http:// line; an https:// one is always checked");
  if (!url.tls && (!o.line_ca.empty() || !o.line_pin.empty()))
    return set_why(why, "--line-ca and --line-pin go with an https:// line");
  if (!o.line_ca.empty() && !o.line_pin.empty())
    return set_why(why, "--line-ca and --line-pin exclude each other");
  if (!url.tls && !o.line_insecure && !line_host_is_loopback(url.host))
    return set_why(why,
                   "--line %s would send the token and the records unencrypted: give https:// "
                   "or --line-insecure",
                   o.line.c_str());
  return true;
}

}  // namespace

bool parse_station_options(int argc, char **argv, station_options *o, std::string *why) {
  option_outcome outcome;
  if (!option_parse(argc, argv, OPTIONS, option_rules(), add_slot, o, &outcome)) {
    return set_why(why, option_fault_words(outcome, OPTIONS));
  }
  if (o->help || o->version) return true;
  const char *problem = nullptr;
  std::string problem_text;
  if (o->passes && o->minutes > 0) {
    problem = "--passes and --minutes exclude each other";
  } else if (o->web_cert.empty() != o->web_key.empty()) {
    problem = "--web-cert and --web-key go together";
  } else if (!o->web_cert.empty() && o->web.empty()) {
    problem = "--web-cert and --web-key need --web";
  } else if (o->line.empty() != o->line_token.empty()) {
    problem = "--line and --line-token go together";
  } else if (!line_problem(*o, &problem_text)) {
    problem = problem_text.c_str();
  } else if (o->slots.empty()) {
    problem = "no slot given";
  }
  if (problem && why) *why = problem;
  return !problem;
}

std::string station_usage(void) {
  return "Usage: korvane-station [options] SLOT...\n" +
         report_synopsis(SYNOPSIS_LEAD, SYNOPSIS_WIDTH) +
         history_synopsis(SYNOPSIS_LEAD, SYNOPSIS_WIDTH) + SYNOPSIS_LEAD +
         " export [--db PATH] [--since DATE]\n" + USAGE_HEAD + std::string("Options:\n") +
         option_usage(OPTIONS, HELP_COLUMN) + USAGE_TAIL;
}
