// korvane-line: the line server that every station's records come to, and
// the commands that read them back: `serve`, `report`, `history` and
// `import`.
#include <cstdio>
#include <cstring>
#include <string>

#include "line/line_import.h"
#include "line/line_serve.h"
#include "station/reports/report_commands.h"

namespace {

const char USAGE[] =
    "Usage: korvane-line serve [--db DB] [--listen [ADDR:]PORT] --tokens FILE\n"
    "                          [--tls-cert FILE --tls-key FILE | --insecure-http]\n"
    "       korvane-line report [--db DB] [--since DATE] [--until DATE]\n"
    "                           [--station NAME] [--csv] [--html FILE]\n"
    "       korvane-line history SERIAL [--db DB] [--csv] [--html FILE]\n"
    "       korvane-line import FILE [--db DB]\n"
    "\n"
    "Keeps every station's records in one database: DB is a SQLite file\n"
    "(default korvane-line.db) or, for serve and import, a PostgreSQL\n"
    "connection string (postgresql://... or key=value). serve listens on\n"
    "127.0.0.1:8470 unless told otherwise; FILE holds a `STATION TOKEN` line\n"
    "per station and may be read by its owner alone. With --tls-cert and\n"
    "--tls-key (PEM; the key its owner's alone) serve speaks HTTPS, TLS 1.2\n"
    "or 1.3; plain HTTP on an address other than loopback needs\n"
    "--insecure-http.\n";

}  // namespace

int main(int argc, char **argv) {
  const char *command = argc > 1 ? argv[1] : "";
  if (strcmp(command, "serve") == 0) return line_serve_main(argc - 1, argv + 1);
  if (strcmp(command, "report") == 0) return line_report_main(argc - 1, argv + 1);
  if (strcmp(command, "history") == 0) return line_history_main(argc - 1, argv + 1);
  if (strcmp(command, "import") == 0) return line_import_main(argc - 1, argv + 1);
  if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0) {
    fputs(USAGE, stdout);
    return 0;
  }
  if (strcmp(command, "--version") == 0) {
    puts("korvane-line " KORVANE_VERSION);
    return 0;
  }
  fprintf(stderr, "korvane-line: %s\n%s",
          *command ? (std::string("unknown command ") + command).c_str() : "which command?", USAGE);
  return 2;
}
