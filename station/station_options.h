// The korvane-station command line: the slots and how each board is tested,
// where the records and logs go, and the reports. One table holds every
// option; the usage text and the parsing both follow from it.
#pragma once

#include <string>
#include <vector>

struct station_slot {
  std::string name;  // as the view and the records name it
  std::string port;  // what korvane's -p takes
};

struct station_options {
  std::vector<station_slot> slots;
  int passes = 0;      // --passes: 0 for none
  double minutes = 0;  // --minutes: 0 for none
  std::string test;    // --test: "", "sdram" or "flash"
  std::string db = "korvane-station.db";
  std::string logs = "korvane-logs";
  std::string station;  // --station: empty for the host name
  std::string operator_name;
  bool once = false;
  bool require_serial = false;  // --require-serial: no serial, no test
  std::string serial_pattern;   // --serial-pattern: empty for none
  std::string junit, json;
  std::string korvane;     // --korvane: empty for the korvane beside the station
  std::string web;         // --web: empty for no web page
  std::string web_cert;    // --web-cert: the page over HTTPS with this certificate
  std::string web_key;     // --web-key: and this key
  std::string nets;        // --nets: empty for the file `nets` beside the database, if any
  int max_attempts = 0;    // --max-attempts: 0 for no limit
  std::string line;        // --line: the line server's URL, empty for none
  std::string line_token;  // --line-token: the file holding the station's token
  // How an https:// line is checked, and whether http:// may leave this PC.
  std::string line_ca;         // --line-ca: the CA file checked against alone
  std::string line_pin;        // --line-pin: the server key's SHA-256, lowercase hex
  bool line_insecure = false;  // --line-insecure
  bool help = false;
  bool version = false;
};

// False with a one-line reason (no newline) for a bad command line.
bool parse_station_options(int argc, char **argv, station_options *o, std::string *why);

// The usage text, from the option table.
std::string station_usage(void);
