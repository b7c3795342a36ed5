#include "station/reports/report_query.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "station/records/board_row.h"
#include "korvane/why.h"

namespace {

// The filter as a condition for WHERE on `boards` (as `prefix`), its values
// appended to params, so that a range of dates is found through the index
// on the start time.
std::string filter_sql(const report_filter &f, const std::string &prefix,
                       std::vector<std::string> *params) {
  std::string out = "1 = 1";
  const std::pair<const std::string *, const char *> parts[] = {
      {&f.since, "started >= "}, {&f.until, "started <= "}, {&f.station, "station = "}};
  for (const auto &part : parts) {
    if (part.first->empty()) continue;
    params->push_back(*part.first);
    out += " AND " + prefix + part.second + "?" + std::to_string(params->size());
  }
  return out;
}

bool is_judged(board_outcome o) { return o != board_outcome::interrupted; }

void add_cycle(board_counts *c, board_outcome o) {
  ++c->tested;
  switch (o) {
    case board_outcome::passed:
      ++c->passed;
      break;
    case board_outcome::failed:
      ++c->failed;
      break;
    case board_outcome::error:
      ++c->errors;
      break;
    case board_outcome::interrupted:
      ++c->interrupted;
      break;
  }
}

// A unit's first and last verdict, in one group of the report.
struct unit_ends {
  board_outcome first, last;
};

// A group as the pass fills it: its counts, and for a slot the serials that
// failed on it and passed on another.
struct group {
  report_group shown;
  long long moves = 0;
};

// A serial's cycles as they stream past in order of serial and start: its
// ends in the whole range and in each group it was tested in (a handful:
// the groups of one board), and the slots it failed on since it last
// passed, for "failed here, passed elsewhere".
struct unit_run {
  std::string serial;
  bool named = false;
  long long cycles = 0;
  unit_ends whole = {board_outcome::error, board_outcome::error};
  std::vector<std::pair<group *, unit_ends>> groups;
  std::vector<group *> failed_on, moved;
};

void unit_cycle(unit_run *u, group *g, board_outcome outcome) {
  for (auto &e : u->groups) {
    if (e.first == g) {
      e.second.last = outcome;
      return;
    }
  }
  u->groups.push_back({g, {outcome, outcome}});
}

bool has(const std::vector<group *> &list, group *g) {
  return std::find(list.begin(), list.end(), g) != list.end();
}

// A day and a station's first start and last end, for the hours it ran.
struct span {
  std::string first, last;
};

// Seconds since 1970 of an ISO 8601 UTC time ("2026-12-08T09:00:00Z", a
// fraction of a second allowed).
double epoch_seconds(const std::string &t) {
  if (t.size() < 19) return 0;
  int y = std::atoi(t.c_str()), m = std::atoi(t.c_str() + 5), d = std::atoi(t.c_str() + 8);
  // Days from the civil date, March-based years.
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long yoe = y - era * 400;
  long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long long days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  return double(days) * 86400 + std::atoi(t.c_str() + 11) * 3600 + std::atoi(t.c_str() + 14) * 60 +
         std::strtod(t.c_str() + 17, nullptr);
}

// Everything the boards' one pass sums up.
struct board_pass {
  station_report *out;
  std::map<std::string, group> days, slots, stations;
  std::map<std::pair<std::string, std::string>, span> running;
  std::map<long long, long long> tenths;  // boards by their time in tenths of a second
  std::vector<retested_serial> retested;  // the first by serial, kept sorted
  unit_run unit;
};

void keep_retested(board_pass *p, const unit_run &u) {
  std::vector<retested_serial> &kept = p->retested;
  if (kept.size() == REPORT_MAX_RETESTED && !(u.serial < kept.back().serial)) return;
  retested_serial r = {u.serial, u.cycles, board_outcome_name(u.whole.first),
                       board_outcome_name(u.whole.last)};
  auto at = std::upper_bound(
      kept.begin(), kept.end(), r,
      [](const retested_serial &a, const retested_serial &b) { return a.serial < b.serial; });
  kept.insert(at, r);
  if (kept.size() > REPORT_MAX_RETESTED) kept.pop_back();
}

void end_unit(board_pass *p) {
  const unit_run &u = p->unit;
  if (!u.cycles) return;
  board_counts_add_unit(&p->out->total, u.whole.first, u.whole.last);
  for (const auto &g : u.groups)
    board_counts_add_unit(&g.first->shown.counts, g.second.first, g.second.last);
  if (u.cycles < 2 || !u.named) return;
  ++p->out->retested;
  keep_retested(p, u);
}

void board_row_seen(board_pass *p, const row_view &r) {
  board_outcome outcome = board_outcome::error;
  board_outcome_from_name(row_text(r, 6), &outcome);
  std::string station = row_text(r, 1), slot = row_text(r, 2), started = row_text(r, 3);
  std::string day_name = started.substr(0, 10);
  group &day = p->days[day_name];
  group &at = p->slots[station + std::string(1, '\0') + slot];
  group &whole_station = p->stations[station];
  if (at.shown.name.empty()) {
    at.shown.name = slot;
    at.shown.station = station;
    whole_station.shown.name = station;
  }
  day.shown.name = day_name;
  for (group *g : {&day, &at, &whole_station}) add_cycle(&g->shown.counts, outcome);
  add_cycle(&p->out->total, outcome);
  span &ran = p->running[{day_name, station}];
  std::string ended = row_text(r, 4);
  if (ran.first.empty() || started < ran.first) ran.first = started;
  if (ended > ran.last) ran.last = ended;
  if (!is_judged(outcome)) return;
  ++p->tenths[std::llround(row_real(r, 5) * 10)];
  // A serial's cycles come together, oldest first; a board without a serial
  // is a unit alone.
  bool named = !row_null(r, 0);
  std::string serial = row_text(r, 0);
  unit_run &u = p->unit;
  if (!named || !u.named || serial != u.serial) {
    end_unit(p);
    u = unit_run();
    u.serial = serial;
    u.named = named;
    u.whole = {outcome, outcome};
  }
  u.whole.last = outcome;
  ++u.cycles;
  for (group *g : {&day, &at, &whole_station}) unit_cycle(&u, g, outcome);
  if (outcome != board_outcome::passed) {
    if (!has(u.failed_on, &at)) u.failed_on.push_back(&at);
    return;
  }
  // Passed: each other slot it failed on since it last passed counts this
  // serial once.
  for (group *g : u.failed_on) {
    if (g == &at || has(u.moved, g)) continue;
    ++g->moves;
    u.moved.push_back(g);
  }
  u.failed_on.clear();
}

std::vector<report_group> shown(const std::map<std::string, group> &groups) {
  std::vector<report_group> out;
  for (const auto &g : groups) out.push_back(g.second.shown);
  return out;
}

// The nearest-rank percentiles: the smallest time at or below which half,
// and 95 in 100, of the boards finished, to the tenth of a second the report
// gives them in.
void board_times(const std::map<long long, long long> &tenths, station_report *out) {
  for (const auto &t : tenths) out->timed += t.second;
  const std::pair<double, double *> ranks[] = {{0.5, &out->median_seconds},
                                               {0.95, &out->p95_seconds}};
  for (const auto &r : ranks) {
    long long rank = (long long)std::ceil(r.first * double(out->timed)), seen = 0;
    for (const auto &t : tenths) {
      seen += t.second;
      if (seen < rank) continue;
      *r.second = double(t.first) / 10;
      break;
    }
  }
}

bool gather_boards(const report_db &db, const report_filter &f, board_pass *p, std::string *why) {
  std::vector<std::string> params;
  std::string sql =
      "SELECT serial, station, slot, started, ended, seconds, outcome FROM boards"
      " WHERE " +
      filter_sql(f, "", &params) + " ORDER BY serial, started, id";
  if (!report_db_rows(
          db, sql, params, [p](const row_view &r) { board_row_seen(p, r); }, why))
    return false;
  end_unit(p);
  station_report *out = p->out;
  out->days = shown(p->days);
  out->slots = shown(p->slots);
  out->stations = shown(p->stations);
  out->retested_serials = p->retested;
  for (const auto &r : p->running)
    out->running_hours += (epoch_seconds(r.second.last) - epoch_seconds(r.second.first)) / 3600;
  board_times(p->tenths, out);
  return true;
}

// A fault as the report names it, and how many boards named it.
using fault_key = std::pair<std::string, std::string>;  // test, words
using fault_boards = std::map<fault_key, long long>;

// Most boards first; on a tie, flash before sdram, then by words.
bool fault_before(const std::pair<fault_key, long long> &a,
                  const std::pair<fault_key, long long> &b) {
  if (a.second != b.second) return a.second > b.second;
  if (a.first.first != b.first.first) return a.first.first > b.first.first;
  return a.first.second < b.first.second;
}

std::vector<std::pair<fault_key, long long>> ranked(const fault_boards &faults) {
  std::vector<std::pair<fault_key, long long>> out(faults.begin(), faults.end());
  std::sort(out.begin(), out.end(), fault_before);
  return out;
}

// A board's faults as they come, its rows together.
struct fault_board {
  long long id = -1;
  std::string slot;  // its slot's key; "" unless it failed or ended in error
  std::set<fault_key> named;
  bus_board_lines lines;
};

struct fault_pass {
  fault_boards all;
  std::map<std::string, fault_boards> by_slot;
  fault_board board;
  bus_line_counts *bus;
};

void end_fault_board(fault_pass *p) {
  if (p->board.id < 0) return;
  for (const fault_key &k : p->board.named) {
    ++p->all[k];
    if (!p->board.slot.empty()) ++p->by_slot[p->board.slot][k];
  }
  bus_lines_count(p->board.lines, p->bus);
}

bool gather_faults(const report_db &db, const report_filter &f,
                   std::map<std::string, fault_key> *top,
                   std::map<std::string, long long> *top_boards, station_report *out,
                   std::string *why) {
  std::vector<std::string> params;
  std::string sql =
      "SELECT t.board_id, b.station, b.slot, b.outcome, t.test, t.kind, t.words"
      " FROM board_faults t JOIN boards b ON b.id = t.board_id WHERE " +
      filter_sql(f, "b.", &params) + " ORDER BY t.board_id";
  fault_pass p;
  p.bus = &out->bus_lines;
  out->bus_lines = bus_line_counts();
  bool ok = report_db_rows(
      db, sql, params,
      [&p](const row_view &r) {
        long long id = row_number(r, 0);
        if (id != p.board.id) {
          end_fault_board(&p);
          p.board = fault_board();
          p.board.id = id;
          std::string outcome = row_text(r, 3);
          if (outcome == board_outcome_name(board_outcome::failed) ||
              outcome == board_outcome_name(board_outcome::error))
            p.board.slot = row_text(r, 1) + std::string(1, '\0') + row_text(r, 2);
        }
        std::string kind = row_text(r, 5), words = row_text(r, 6);
        p.board.named.insert({row_text(r, 4), words});
        bus_lines_mark(&p.board.lines, kind, words);
      },
      why);
  if (!ok) return false;
  end_fault_board(&p);
  for (const auto &fault : ranked(p.all)) {
    if (out->faults.size() < REPORT_MAX_FAULTS) {
      out->faults.push_back({fault.first.first, fault.first.second, fault.second});
    } else {
      ++out->other_faults;
    }
  }
  for (const auto &slot : p.by_slot) {
    auto first = ranked(slot.second).front();
    (*top)[slot.first] = first.first;
    (*top_boards)[slot.first] = first.second;
  }
  return true;
}

bool digits(const std::string &text, size_t at, size_t count) {
  for (size_t i = at; i < at + count; ++i)
    if (i >= text.size() || !isdigit((unsigned char)text[i])) return false;
  return true;
}

bool in_range(const std::string &text, size_t at, int low, int high) {
  int v = std::stoi(text.substr(at, 2));
  return v >= low && v <= high;
}

}  // namespace

bool report_bound(const std::string &date, bool upper, std::string *bound) {
  bool day = date.size() == 10, moment = date.size() == 20;
  if (!day && !moment) return false;
  if (!digits(date, 0, 4) || date[4] != '-' || !digits(date, 5, 2) || date[7] != '-' ||
      !digits(date, 8, 2) || !in_range(date, 5, 1, 12) || !in_range(date, 8, 1, 31))
    return false;
  if (moment &&
      (date[10] != 'T' || !digits(date, 11, 2) || date[13] != ':' || !digits(date, 14, 2) ||
       date[16] != ':' || !digits(date, 17, 2) || date[19] != 'Z' || !in_range(date, 11, 0, 23) ||
       !in_range(date, 14, 0, 59) || !in_range(date, 17, 0, 60)))
    return false;
  // Every time of that day ("YYYY-MM-DDT...") sorts before "YYYY-MM-DDU".
  *bound = day && upper ? date + "U" : date;
  return true;
}

bool report_gather(const report_db &db, const report_filter &f, bool across_line,
                   station_report *out, std::string *why) {
  *out = station_report();
  board_pass boards;
  boards.out = out;
  std::map<std::string, fault_key> top;
  std::map<std::string, long long> top_boards;
  if (!gather_boards(db, f, &boards, why) || !gather_faults(db, f, &top, &top_boards, out, why))
    return false;
  // Each slot's tally for its checks: its boards with a verdict, its
  // failures, its moves and the fault its failures name most.
  std::vector<slot_tally> tallies;
  for (const auto &s : boards.slots) {
    const board_counts &c = s.second.shown.counts;
    slot_tally t;
    t.station = s.second.shown.station;
    t.slot = s.second.shown.name;
    t.boards = c.tested - c.interrupted;
    t.failures = c.failed + c.errors;
    t.moves = s.second.moves;
    auto named = top.find(s.first);
    if (named != top.end()) {
      t.fault =
          named->second.first == "flash" ? "flash: " + named->second.second : named->second.second;
      t.fault_boards = top_boards[s.first];
    }
    tallies.push_back(t);
  }
  out->checks = check_slots(tallies, across_line);
  return true;
}

bool report_failed_boards(const report_db &db, const report_filter &f,
                          const std::function<void(const board_record &)> &each, std::string *why) {
  std::vector<std::string> params;
  std::string sql = "SELECT " + board_select_list() + " FROM boards WHERE outcome = '" +
                    board_outcome_name(board_outcome::failed) + "' AND " +
                    filter_sql(f, "", &params) + " ORDER BY started DESC, id DESC LIMIT " +
                    std::to_string(REPORT_MAX_FAILED_BOARDS);
  std::vector<board_record> failed;
  bool known = true;
  if (!report_db_rows(
          db, sql, params,
          [&](const row_view &r) {
            failed.emplace_back();
            known = board_read(r, &failed.back()) && known;
          },
          why))
    return false;
  if (!known) return set_why(why, "a board has no outcome");
  for (board_record &b : failed) {
    if (!report_db_rows(
            db, BOARD_FAULTS_SQL, {std::to_string(b.id)},
            [&b](const row_view &r) {
              b.faults.push_back({row_text(r, 0), row_text(r, 1), row_text(r, 2)});
            },
            why))
      return false;
    each(b);
  }
  return true;
}
