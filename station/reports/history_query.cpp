#include "station/reports/history_query.h"

#include <map>
#include <vector>

#include "station/records/board_row.h"
#include "korvane/why.h"

bool history_cycles(const report_db &db, const std::string &serial,
                    const std::function<void(const board_record &)> &each, long long *count,
                    std::string *why) {
  *count = 0;
  // The serial's faults first, a handful, in the order they were recorded.
  std::map<long long, std::vector<board_fault>> faults;
  if (!report_db_rows(
          db,
          "SELECT board_id, test, kind, words FROM board_faults WHERE board_id IN"
          " (SELECT id FROM boards WHERE serial = ?1) ORDER BY board_id, rowid",
          {serial},
          [&faults](const row_view &r) {
            faults[row_number(r, 0)].push_back({row_text(r, 1), row_text(r, 2), row_text(r, 3)});
          },
          why))
    return false;
  long long unknown = -1;
  bool ok = report_db_rows(
      db, "SELECT " + board_select_list() + " FROM boards WHERE serial = ?1 ORDER BY started, id",
      {serial},
      [&](const row_view &r) {
        board_record c;
        if (!board_read(r, &c)) {
          if (unknown < 0) unknown = c.id;
          return;
        }
        c.faults = faults[c.id];
        ++*count;
        each(c);
      },
      why);
  if (ok && unknown >= 0) return set_why(why, "board %lld has no outcome", unknown);
  return ok;
}
