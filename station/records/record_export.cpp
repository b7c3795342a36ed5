#include "station/records/record_export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <sqlite3.h>

#include "station/records/board_json.h"
#include "station/records/board_migration.h"
#include "station/records/board_fetch.h"
#include "station/records/station_database.h"

namespace {

const char USAGE[] = "Usage: korvane-station export [--db PATH] [--since DATE]\n";

int bad_option(const std::string &problem) {
  fprintf(stderr, "korvane-station: %s\n%s", problem.c_str(), USAGE);
  return 2;
}

// YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ, compared with `started` as text.
bool date_form(const std::string &d) {
  const std::string full = "0000-00-00T00:00:00Z";
  if (d.size() != 10 && d.size() != full.size()) return false;
  for (size_t i = 0; i < d.size(); i++) {
    if (full[i] == '0' ? (d[i] < '0' || d[i] > '9') : d[i] != full[i]) return false;
  }
  return true;
}

}  // namespace

int station_export_main(int argc, char **argv) {
  std::string db_path = "korvane-station.db", since;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    std::string *value = arg.rfind("--db", 0) == 0      ? &db_path
                         : arg.rfind("--since", 0) == 0 ? &since
                                                        : nullptr;
    if (arg == "-h" || arg == "--help") {
      fputs(USAGE, stdout);
      return 0;
    }
    size_t eq = arg.find('=');
    std::string name = arg.substr(0, eq);
    if (!value || (name != "--db" && name != "--since"))
      return bad_option("unknown option: " + arg);
    if (eq != std::string::npos) {
      *value = arg.substr(eq + 1);
    } else if (i + 1 < argc) {
      *value = argv[++i];
    } else {
      return bad_option(name + " needs a value");
    }
  }
  if (!since.empty() && !date_form(since))
    return bad_option("not a date (YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ): " + since);
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::string why;
  // Opened for writing so that a database of an earlier release gets its
  // uids first: a record exported twice is then the same record twice.
  db_handle handle = db_connect(db_path, SQLITE_OPEN_READWRITE, &why);
  sqlite3 *db = handle.get();
  bool ok = db && board_schema_migrate(db, &why);
  bool written = true;
  ok = ok && board_fetch_each(
                 db, since,
                 [&written](const board_record &b) {
                   std::string line =
                       board_record_json(b).dump(-1, ' ', false,
                                                 nlohmann::json::error_handler_t::replace) +
                       "\n";
                   written = fwrite(line.data(), 1, line.size(), stdout) == line.size();
                   return written;
                 },
                 &why);
  handle.reset();
  if (!ok) {
    fprintf(stderr, "korvane-station: cannot read the database %s: %s\n", db_path.c_str(),
            why.c_str());
    return 1;
  }
  if (!written || fflush(stdout) != 0) {
    fprintf(stderr, "korvane-station: cannot write the records: %s\n", strerror(errno));
    return 1;
  }
  return 0;
}
