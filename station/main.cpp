// korvane-station: tests boards on several serial ports at once, one korvane
// per slot, and keeps a record of every board; `report` and `history` read
// those records back and never start a board; `export` writes them out for
// the line server.
#include <cstring>

#include "station/records/record_export.h"
#include "station/reports/report_commands.h"
#include "station/station_run.h"

int main(int argc, char **argv) {
  if (argc > 1 && strcmp(argv[1], "report") == 0) return station_report_main(argc - 1, argv + 1);
  if (argc > 1 && strcmp(argv[1], "history") == 0) return station_history_main(argc - 1, argv + 1);
  if (argc > 1 && strcmp(argv[1], "export") == 0) return station_export_main(argc - 1, argv + 1);
  return station_run(argc, argv);
}
