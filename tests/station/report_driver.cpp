// korvane-station's report and history commands alone, for the tests and
// the benchmark: `report_driver report ...` or `report_driver history ...`.
#include <cstdio>
#include <string>

#include "report_commands.h"

int main(int argc, char **argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "report") return station_report_main(argc - 1, argv + 1);
  if (command == "history") return station_history_main(argc - 1, argv + 1);
  fputs("Usage: report_driver report|history [OPTION...]\n", stderr);
  return 2;
}
