#include "line/line_import.h"

#include <cstdio>
#include <ctime>
#include <fstream>

#include "line/line_api.h"
#include "line/line_command.h"
#include "line/line_store.h"
#include "station/slots/station_clock.h"

namespace {

const char USAGE[] = "Usage: korvane-line import FILE [--db DB]\n";

}  // namespace

int line_import_main(int argc, char **argv) {
  line_command c;
  std::string why;
  if (!line_command_parse(argc, argv, {"--db"}, &c, &why) || (!c.help && c.arguments.size() != 1)) {
    if (why.empty()) why = c.arguments.empty() ? "which file? give it" : "one file at a time";
    fprintf(stderr, "korvane-line: %s\n%s", why.c_str(), USAGE);
    return 2;
  }
  if (c.help) {
    fputs(USAGE, stdout);
    return 0;
  }
  const std::string &path = c.arguments[0];
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fprintf(stderr, "korvane-line: cannot read %s\n", path.c_str());
    return 1;
  }
  line_store *store = line_store_open(c.db, &why);
  if (!store) {
    fprintf(stderr, "korvane-line: %s\n", why.c_str());
    return 1;
  }
  long long stored = 0, there = 0, refused = 0;
  std::string text;
  bool failed = false;
  for (long long number = 1; !failed && std::getline(in, text); number++) {
    if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (text.size() > LINE_BODY_LIMIT) {
      fprintf(stderr, "korvane-line: %s line %lld: longer than a record\n", path.c_str(), number);
      refused++;
      continue;
    }
    line_record record;
    if (!line_record_parse(text, &record, &why)) {
      fprintf(stderr, "korvane-line: %s line %lld: %s\n", path.c_str(), number, why.c_str());
      refused++;
      continue;
    }
    switch (line_store_put(store, record, utc_text(std::time(nullptr)), &why)) {
      case line_put::stored:
        stored++;
        break;
      case line_put::same:
        there++;
        break;
      case line_put::clash:
        fprintf(stderr, "korvane-line: %s line %lld: uid %s is stored with other content\n",
                path.c_str(), number, record.board.uid.c_str());
        refused++;
        break;
      case line_put::unavailable:
        fprintf(stderr, "korvane-line: %s line %lld: the database is unavailable: %s\n",
                path.c_str(), number, why.c_str());
        failed = true;
        break;
    }
  }
  line_store_close(store);
  printf("korvane-line: %lld stored, %lld there already, %lld refused\n", stored, there, refused);
  return failed || refused ? 1 : 0;
}
