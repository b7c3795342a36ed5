#include "station/station_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "korvane/why.h"
#include "station/records/board_diagnosis.h"
#include "station/records/board_logs.h"
#include "station/records/diagnosis_queue.h"
#include "station/records/record_committer.h"
#include "station/records/record_journal.h"
#include "station/records/failed_attempts.h"
#include "station/records/run_files.h"
#include "station/terminal/key_input.h"
#include "station/terminal/last_failures.h"
#include "station/terminal/serial_input.h"
#include "station/terminal/serial_rules.h"
#include "station/slots/slot_cycle.h"
#include "station/slots/station_clock.h"
#include "station/records/station_db.h"
#include "station/station_options.h"
#include "station/slots/station_platform.h"
#include "station/terminal/terminal_view.h"
#include "station/terminal/stdin_lines.h"
#include "station/web/web_address.h"
#include "station/line/line_attempts.h"
#include "station/line/line_sender.h"
#include "station/web/web_state.h"
#include "station/web/web_server.h"
#include "station/web/web_view.h"

namespace {

// The loop's one wait: short enough for the view and the serials to feel
// immediate, long enough that a station of sixteen slots costs nothing.
const int TICK_MS = 50;
// The terminal is redrawn at most this often: a row read from a metre away
// gains nothing from more, and a slow terminal line loses by it.
const double REDRAW_S = 0.25;
// A record not committed after this long is shown as not yet recorded,
// whatever the reason.
const double RECORD_LATE_S = 1;
// The committer tries a refused record again this often.
const double COMMIT_RETRY_S = 1;
// With this many records waiting for the database the station takes no
// new boards: each more would be a board tested for nothing should the
// station then die. A record kept in memory only (its journal could not be
// written) stops new boards at once.
const size_t WAITING_LIMIT = 8;
// How long a run whose slots are done waits for its records to be written.
const double END_WAIT_S = 30;
// The last try at the line when the station ends: brief, so that Ctrl-C
// stays quick; what is left is sent at the next start.
const double LINE_LAST_TRY_S = 3;

struct station {
  station_options options;
  cycle_settings settings;
  record_committer *committer = nullptr;
  diagnosis_queue *diagnosis = nullptr;  // the boards' logs, diagnosed off the loop
  net_names nets;                        // the board's names for its lines, in every record
  attempts_reader attempts;              // the records read for --max-attempts
  line_attempts *asking = nullptr;       // with --line too: the line asked for them
  std::vector<slot_state> slots;
  // Per slot: the ticket of its last board's record, when it was handed to
  // the committer, and its verdict's words.
  std::vector<long> tickets;
  std::vector<double> handed_at;
  std::vector<std::string> verdicts;
  long last_handed = 0, last_committed = 0;      // tickets, committed in the order handed
  committer_news news;                           // the committer's last word
  std::string no_new_boards;                     // why no new board is taken; "" when they are
  run_report *json = nullptr, *junit = nullptr;  // the run's reports, when asked
  station_totals totals;
  bool terminal = false, color = false, input_terminal = false;
  bool ending = false;
  std::string record_problem;  // why a record could not be written
  std::string report_problem;  // why a report could not be written
  std::string input_note;      // the last word on a serial typed
  serial_pattern pattern;      // --serial-pattern
  bool keys = false;           // the terminal's keys come one by one
  key_line typed;              // what is being typed, in keys mode
  last_failures failures;      // the last failed boards, for the last word
  int status = 0;

  // The terminal's view as drawn last.
  std::string drawn;
  size_t drawn_rows = 0;
  double drawn_at = 0;

  // The live web page, with --web.
  web_server *web = nullptr;
  web_inbox inbox;

  // The line's sender, with --line, and its state as shown last.
  line_sender *line = nullptr;
  std::string line_text, line_key;
  unsigned long long line_seen = 0;  // the sender's changes the text was made at
  double line_text_at = -1e9;
  bool line_waiting = false;
};

void write_out(const std::string &text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void show_events(station *st, const std::vector<view_event> &events) {
  if (st->terminal) return;
  std::time_t utc = std::time(nullptr);
  std::string text;
  for (const view_event &e : events) text += event_line(utc, e) + "\n";
  if (!text.empty()) write_out(text);
}

// A slot whose port failed ends the station with status 1, and so counts
// in the summary, even when no board was ever in it.
void count_slot_errors(station *st) {
  st->totals.counts.slot_errors = 0;
  for (const slot_state &s : st->slots) st->totals.counts.slot_errors += s.port_failed ? 1 : 0;
}

void redraw(station *st, double now, bool at_once) {
  if (!at_once && now - st->drawn_at < REDRAW_S) return;
  count_slot_errors(st);
  std::string status = st->input_note;
  if (!st->report_problem.empty()) status = "report not written: " + st->report_problem;
  if (!st->record_problem.empty()) status = "not yet recorded: " + st->record_problem;
  if (!st->no_new_boards.empty()) status = st->no_new_boards;
  // The last column stays free: a row that fills the line may wrap.
  terminal_size size;
  size.columns = terminal_columns();
  if (size.columns) size.columns--;
  size.lines = terminal_lines();
  std::vector<std::string> footer = {status};
  if (st->line) footer.push_back(st->line_text);
  if (!st->typed.typed.empty()) footer.push_back("typed: " + st->typed.typed);
  std::vector<std::string> rows =
      terminal_rows(st->slots, st->settings, st->totals, footer, now, st->color, size);
  std::string screen;
  for (const std::string &row : rows) screen += "\x1b[2K" + row + "\n";
  if (screen == st->drawn) return;
  std::string text;
  if (st->drawn_rows) text = "\r\x1b[" + std::to_string(st->drawn_rows) + "A";
  write_out(text + screen + "\x1b[J");
  st->drawn = screen;
  st->drawn_rows = rows.size();
  st->drawn_at = now;
}

// The run's reports, started empty so that a path that cannot take them
// stops the station before a board is touched.
bool start_reports(station *st, std::string *why) {
  if (!st->options.json.empty()) {
    st->json = run_report_start(st->options.json, report_kind::json, why);
    if (!st->json) return false;
  }
  if (!st->options.junit.empty()) {
    st->junit = run_report_start(st->options.junit, report_kind::junit, why);
    if (!st->junit) return false;
  }
  return true;
}

void report_not_written(station *st, const std::string &why, std::vector<view_event> *events) {
  st->report_problem = why;
  st->status |= 1;
  events->push_back({"", "report not written: " + why});
}

// A board the database now holds: counted, and added to the reports with
// the counts as the terminal and the page show them.
void board_recorded(station *st, const board_record &board, std::vector<view_event> *events) {
  count_board(&st->totals, board, true);
  count_slot_errors(st);
  for (run_report *report : {st->json, st->junit}) {
    std::string report_why;
    if (report && !run_report_add(report, board, st->totals.counts, &report_why)) {
      report_not_written(st, report_why, events);
    }
  }
}

// The run's last counts in its reports: boards left not recorded, slots
// whose port failed with no board after.
void last_counts(station *st, std::vector<view_event> *events) {
  count_slot_errors(st);
  for (run_report *report : {st->json, st->junit}) {
    std::string report_why;
    if (report && !run_report_count(report, st->totals.counts, &report_why)) {
      report_not_written(st, report_why, events);
    }
  }
}

// A finished board: its record journaled and handed to the committer, its
// verdict shown at once.
void record_board(station *st, slot_state *s, board_record *board,
                  std::vector<view_event> *events) {
  size_t slot = s - &st->slots[0];
  name_board_lines(board, st->nets);
  st->tickets[slot] = st->last_handed = committer_add(st->committer, *board);
  st->handed_at[slot] = steady_now();
  if (board->sdram_failed) st->status |= 8;
  if (board->flash_failed) st->status |= 16;
  if (board->outcome == board_outcome::error || board->outcome == board_outcome::interrupted) {
    st->status |= 1;
  }
  slot_show_verdict(s, *board, true, "", events);
  st->verdicts[slot] = s->verdict_text;
  if (board->outcome == board_outcome::failed) {
    std::string serial = board->serial.empty() ? "no serial" : "serial " + board->serial;
    last_failures_add(&st->failures, s->slot.name + " (" + serial + "): " + s->verdict_text);
  }
}

// What the committer did since the last tick: the records committed are
// counted, a verdict whose record waits says so, and new boards are held
// while too many wait.
void follow_records(station *st, double now, std::vector<view_event> *events) {
  std::string before = st->record_problem;
  st->news = committer_take(st->committer);
  for (const committed_record &r : st->news.committed) {
    if (r.ticket == 0) {
      std::string serial = r.board.serial.empty() ? "no serial" : "serial " + r.board.serial;
      events->push_back({"", "recorded a board the last run left in the journal (" + r.board.slot +
                                 ", " + serial + ")"});
      continue;
    }
    st->last_committed = r.ticket;
    board_recorded(st, r.board, events);
  }
  // A record committed has its outbox entry: the line's sender takes it now.
  if (!st->news.committed.empty()) line_sender_wake(st->line);
  std::string problem = st->news.journal_problem.empty()
                            ? st->news.problem
                            : "kept in memory only: " + st->news.journal_problem;
  if (problem != before && !problem.empty()) {
    events->push_back({"", "not yet recorded: " + problem});
  }
  st->record_problem = problem;
  for (size_t i = 0; i < st->slots.size(); i++) {
    slot_state &s = st->slots[i];
    if (!st->tickets[i] || s.verdict_text.compare(0, st->verdicts[i].size(), st->verdicts[i]))
      continue;
    bool waits = st->tickets[i] > st->last_committed;
    bool late = waits && (!problem.empty() || now - st->handed_at[i] > RECORD_LATE_S);
    std::string text = st->verdicts[i] + (late ? " (not yet recorded)" : "");
    if (text != s.verdict_text && !late) events->push_back({s.slot.name, "recorded"});
    s.verdict_text = text;
    if (!waits) st->tickets[i] = 0;
  }
  std::string hold;
  if (!st->news.journal_problem.empty() && st->news.waiting) {
    hold = "no new boards: a record could not be journaled (" + st->news.journal_problem + ")";
  } else if (st->news.waiting >= WAITING_LIMIT) {
    hold = "no new boards: " + std::to_string(st->news.waiting) +
           " records wait for the database (" +
           (st->news.problem.empty() ? "not taken yet" : st->news.problem) + ")";
  }
  if (hold != st->no_new_boards) {
    events->push_back({"", hold.empty() ? "records written; new boards are taken again" : hold});
  }
  st->no_new_boards = hold;
  st->settings.no_new_boards = !hold.empty();
}

// The serial's failed attempts counted, the slot holds its board when they
// reach the limit.
void judge_attempts(station *st, slot_state *s, const failed_attempts &a,
                    std::vector<view_event> *events) {
  if (a.count < st->options.max_attempts) return;
  s->over_limit = hold_reason(s->serial, a);
  s->verdict = slot_verdict::hold;
  s->verdict_text = "HOLD " + s->over_limit;
  events->push_back({s->slot.name, s->verdict_text});
}

// The station's own count of the serial's attempts; false (said in an event)
// when its records cannot be read.
bool own_attempts(station *st, slot_state *s, failed_attempts *a, std::vector<view_event> *events) {
  std::string why;
  if (failed_attempts_of(&st->attempts, s->serial, a, &why)) return true;
  events->push_back({s->slot.name, "attempts of " + s->serial + " not checked: " + why});
  return false;
}

// --max-attempts: a serial given to a slot with no board in is checked
// against the records; over the limit, the slot holds the board. A serial
// for a board already under test is that board's, and is not checked. With
// --line the line is asked too, off the loop, once the station's own
// records are under the limit (line_attempts_answered).
void hold_over_limit(station *st, slot_state *s, std::vector<view_event> *events) {
  if (!st->attempts.db || s->board_in) return;
  if (!s->over_limit.empty()) {
    s->over_limit.clear();
    s->verdict = slot_verdict::none;
    s->verdict_text.clear();
  }
  s->attempts_note.clear();
  s->attempts_checked.clear();
  s->asking_line = false;
  failed_attempts a;
  if (!own_attempts(st, s, &a, events)) return;
  s->attempts_checked = "station";
  judge_attempts(st, s, a, events);
  if (!st->asking || !s->over_limit.empty()) return;
  s->asking_line = true;
  line_attempts_ask(st->asking, s - &st->slots[0], s->serial);
}

// The line's answers on the serials asked: its count with the station's own
// records it does not hold yet; without an answer, the station's own
// records alone, and the board's record says it was not checked against the
// line. An answer on a serial the slot no longer has is dropped. A board
// that came in before the answer (a korvane was waiting already) is tested:
// the answer is only said.
void line_attempts_answered(station *st, std::vector<view_event> *events) {
  for (const line_attempts_reply &r : line_attempts_take(st->asking)) {
    slot_state *s = &st->slots[r.tag];
    if (!s->asking_line || s->serial != r.serial) continue;
    s->asking_line = false;
    failed_attempts a;
    std::vector<failed_attempt> unsent;
    std::string why;
    if (r.answered && failed_attempts_unsent(&st->attempts, s->serial, &unsent, &why)) {
      a = line_failures_with(r.line, unsent);
      s->attempts_checked = "line";
    } else if (own_attempts(st, s, &a, events)) {
      s->attempts_checked = "station";
      s->attempts_note = "not checked against the line";
      events->push_back({s->slot.name, r.serial + " " + s->attempts_note + " (" +
                                           (r.answered ? why : r.why) +
                                           "); the station's own records count"});
    }
    if (!s->board_in) {
      judge_attempts(st, s, a, events);
    } else if (a.count >= st->options.max_attempts) {
      events->push_back(
          {s->slot.name, hold_reason(s->serial, a) + " (the line answered once its board was in)"});
    }
  }
}

// A serial for a slot; named when the operator chose the slot (NAME=SERIAL,
// the slot's field on the page), which also lets a held slot go on.
void give_serial(station *st, size_t slot, const std::string &serial, bool named,
                 std::vector<view_event> *events) {
  slot_state &s = st->slots[slot];
  const std::string &name = s.slot.name;
  std::string why;
  if (s.phase == slot_phase::done) {
    st->input_note = "slot " + name + " has ended; serial " + serial + " refused";
  } else if (!serial_matches(st->pattern, serial, &why)) {
    st->input_note = why;
  } else {
    st->input_note.clear();
  }
  if (!st->input_note.empty()) {
    events->push_back({"", st->input_note});
    return;
  }
  s.serial = serial;
  st->input_note = "serial " + serial + " for slot " + name;
  events->push_back({name, "serial " + serial});
  // One serial in two slots at once is a scan into the wrong slot, or a
  // label stuck on two boards: said, not refused, since either may be right.
  for (const slot_state &other : st->slots) {
    if (&other == &s || other.serial != serial) continue;
    st->input_note =
        "serial " + serial + " is in slots " + other.slot.name + " and " + name + " at once";
    events->push_back({"", st->input_note});
  }
  if (named && slot_release(&s, false, steady_now())) events->push_back({name, "taken again"});
  hold_over_limit(st, &s, events);
}

void retry_slot(station *st, size_t slot, std::vector<view_event> *events) {
  slot_state &s = st->slots[slot];
  if (!slot_release(&s, true, steady_now())) {
    st->input_note = "slot " + s.slot.name + " is not waiting for a retry";
    events->push_back({"", st->input_note});
    return;
  }
  st->input_note = "slot " + s.slot.name + " tries its board again";
  events->push_back({s.slot.name, "retry"});
}

void take_input_line(station *st, const std::string &line, std::vector<view_event> *events) {
  std::string text = line;
  while (!text.empty() && text.back() == '\r') text.pop_back();
  if (!st->keys && st->input_terminal && text == "q") {
    st->ending = true;
    return;
  }
  std::vector<std::string> names;
  std::vector<bool> takes_bare;
  for (const slot_state &s : st->slots) {
    names.push_back(s.slot.name);
    takes_bare.push_back(slot_takes_serial(s));
  }
  size_t slot = 0;
  std::string serial, why;
  switch (read_serial_line(text, names, takes_bare, &slot, &serial, &why)) {
    case serial_line::empty:
      return;
    case serial_line::refused:
      st->input_note = why;
      events->push_back({"", why});
      return;
    case serial_line::retry:
      retry_slot(st, slot, events);
      return;
    case serial_line::assigned:
      give_serial(st, slot, serial, text.find('=') != std::string::npos, events);
      return;
  }
}

// The serials typed into the web page, as if typed as NAME=SERIAL here.
void take_web_serials(station *st, std::vector<view_event> *events) {
  if (!st->web) return;
  std::vector<size_t> retries;
  for (const web_serial &typed : web_inbox_take(&st->inbox, st->slots, &retries)) {
    give_serial(st, typed.slot, typed.serial, true, events);
  }
  for (size_t slot : retries) retry_slot(st, slot, events);
}

void show_web(station *st, double now) {
  // The line takes the state for its heartbeats alone; the page at every tick.
  bool line_due = st->line && line_sender_wants_state(st->line);
  if (!st->web && !line_due) return;
  web_header header = web_header_of(st->settings.station, st->totals);
  header.line = st->line_text;
  std::vector<web_slot> slots = web_slots_of(st->slots, st->settings, now);
  if (st->web) web_update(st->web, header, slots);
  if (line_due) {
    line_sender_set_state(st->line,
                          web_state_json(header, slots, (long long)std::time(nullptr) * 1000));
  }
}

// The line's state, with an event line when it changes in kind (not at
// every record sent). Made again when the sender's state changed, and each
// second while records wait, for their age moves.
void show_line(station *st, double now, std::vector<view_event> *events) {
  if (!st->line) return;
  line_status status;
  if (!line_sender_status_since(st->line, &st->line_seen, &status)) {
    if (!st->line_waiting || now - st->line_text_at < 1) return;
    status = line_sender_status(st->line);
  }
  st->line_text_at = now;
  st->line_waiting = status.waiting > 0;
  st->line_text = line_status_text(status);
  std::string key = line_status_key(status);
  if (key != st->line_key) {
    st->line_key = key;
    events->push_back({"", st->line_text});
  }
}

void run_loop(station *st) {
  stdin_lines input;
  bool ended_slots = false;
  double done_at = 0;
  for (;;) {
    double now = steady_now();
    std::vector<view_event> events;
    if ((st->ending || stop_requested()) && !ended_slots) {
      st->ending = true;
      ended_slots = true;
      events.push_back({"", "ending: every korvane is stopped"});
      for (slot_state &s : st->slots) slot_end(&s, now);
    }
    follow_records(st, now, &events);
    line_attempts_answered(st, &events);
    for (diagnosed_board &d : diagnosis_take(st->diagnosis)) {
      slot_state *s = &st->slots[d.tag];
      slot_diagnosed(s, now);
      record_board(st, s, &d.board, &events);
    }
    bool all_done = true;
    for (slot_state &s : st->slots) {
      board_record board;
      if (slot_poll(&s, st->settings, now, std::time(nullptr), &events, &board)) {
        diagnosis_add(st->diagnosis, &s - &st->slots[0], board);
      }
      if (s.phase != slot_phase::done) all_done = false;
    }
    show_line(st, now, &events);
    count_slot_errors(st);
    show_events(st, events);
    // A slot's news (a board in, a verdict) is shown at once; the clocks
    // can wait a little.
    bool news = false;
    for (const view_event &e : events) news = news || !e.slot.empty();
    if (st->terminal) redraw(st, now, news);
    show_web(st, now);
    // Records still waiting for the database are given a while at the end
    // of a run; Ctrl-C leaves them to the journal at once.
    if (all_done && !done_at) done_at = now;
    bool waiting = st->last_handed > st->last_committed;
    if (all_done && (!waiting || stop_requested() || now - done_at > END_WAIT_S)) return;

    std::vector<std::string> lines;
    input.keys = st->keys;
    stdin_wait_lines(&input, TICK_MS, &lines);
    events.clear();
    bool typing = !input.keys_read.empty();
    // Every read, keys or none: a `q` alone ends the run once no key
    // followed it.
    if (st->keys) {
      key_outcome keys;
      keys_take(&st->typed, input.keys_read, steady_now(), &keys);
      input.keys_read.clear();
      if (keys.quit) st->ending = true;
      if (!keys.dropped.empty()) {
        st->input_note = "keys left without Enter dropped: " + keys.dropped;
        events.push_back({"", st->input_note});
      }
      lines.insert(lines.end(), keys.lines.begin(), keys.lines.end());
    }
    for (const std::string &line : lines) take_input_line(st, line, &events);
    take_web_serials(st, &events);
    // The terminal echoed each line typed, one row below the view.
    if (st->terminal && st->input_terminal && !st->keys) st->drawn_rows += lines.size();
    show_events(st, events);
    if (st->terminal && (typing || !events.empty())) redraw(st, steady_now(), true);
  }
}

// The last records committed; those the database still refuses are counted
// as not recorded, and wait in the journal for the next start.
void close_records(station *st) {
  committer_news last;
  std::vector<board_record> left = committer_close(st->committer, &last);
  st->committer = nullptr;
  std::vector<view_event> events;
  for (const committed_record &r : last.committed) {
    if (r.ticket) board_recorded(st, r.board, &events);
  }
  for (const board_record &b : left) count_board(&st->totals, b, false);
  if (!left.empty()) {
    st->status |= 1;
    std::string problem = last.problem.empty() ? last.journal_problem : last.problem;
    st->record_problem = std::to_string(left.size()) + " board records not written (" + problem +
                         "); they wait in " + journal_folder(st->settings.logs) +
                         " for the next start";
    events.push_back({"", st->record_problem});
  }
  last_counts(st, &events);
  show_events(st, events);
}

void last_word(station *st) {
  double now = steady_now();
  count_slot_errors(st);
  std::string text;
  if (st->terminal) {
    redraw(st, now, true);
    text += last_failures_text(st->failures);
  } else {
    text = event_line(std::time(nullptr), {"", summary_text(st->totals, now)}) + "\n";
  }
  write_out(text);
}

// The last try at the line; what still waits is said, and sent at the next
// start.
void end_line(station *st) {
  if (!st->line) return;
  line_status status;
  long long waiting = line_sender_finish(st->line, LINE_LAST_TRY_S, &status);
  st->line = nullptr;
  status.waiting = waiting;
  std::string text = line_status_end_text(status);
  write_out((st->terminal ? text : event_line(std::time(nullptr), {"", text})) + "\n");
}

// 0 to go on, else the status to end with.
int start(station *st, int argc, char **argv) {
  std::string why;
  if (!parse_station_options(argc, argv, &st->options, &why)) {
    std::fprintf(stderr, "korvane-station: %s\nTry korvane-station --help\n", why.c_str());
    return 2;
  }
  if (st->options.help) {
    write_out(station_usage());
    return -1;
  }
  if (st->options.version) {
    write_out("korvane-station " KORVANE_VERSION "\n");
    return -1;
  }
  const station_options &o = st->options;
  cycle_settings &c = st->settings;
  c.korvane = o.korvane.empty() ? korvane_beside_station(argv[0]) : o.korvane;
  c.test = o.test;
  c.passes = o.passes;
  c.minutes = o.minutes;
  c.logs = o.logs;
  c.station = o.station.empty() ? host_name() : o.station;
  c.operator_name = o.operator_name;
  c.once = o.once;
  c.require_serial = o.require_serial;
  serial_pattern_make(o.serial_pattern, &st->pattern, nullptr);

  if (!program_runnable(c.korvane)) {
    std::fprintf(stderr, "korvane-station: cannot run korvane: %s is no program\n",
                 c.korvane.c_str());
    return 1;
  }
  // Without --nets, the names beside the database that its reports read.
  bool missing = false;
  std::string nets = o.nets.empty() ? nets_beside(o.db) : o.nets;
  if (!net_names_read(nets, &st->nets, &why, &missing) && !(missing && o.nets.empty())) {
    std::fprintf(stderr, "korvane-station: cannot read the nets file %s: %s\n", nets.c_str(),
                 why.c_str());
    return 1;
  }
  // The page's port is taken first: a port in use stops the station before
  // it has made a file.
  std::string web_bound;
  if (!o.web.empty()) {
    for (const station_slot &slot : o.slots) st->inbox.names.push_back(slot.name);
    st->inbox.pattern = st->pattern;
    st->web =
        web_start(o.web, web_inbox_hooks(&st->inbox), o.web_cert, o.web_key, &web_bound, &why);
    if (!st->web) {
      std::fprintf(stderr, "korvane-station: %s\n", why.c_str());
      return 1;
    }
  }
  if (!logs_folder_ready(c.logs, &why)) {
    std::fprintf(stderr, "korvane-station: %s\n", why.c_str());
    return 1;
  }
  tidy_working_logs(c.logs, process_alive);
  // A record names its log wherever it is read from.
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(c.logs, ec).lexically_normal().string();
  if (!ec) c.logs = absolute;
  station_db *db = station_db_open(o.db, &why);
  if (!db) {
    std::fprintf(stderr, "korvane-station: %s\n", why.c_str());
    return 1;
  }
  if (o.max_attempts) {
    if (!failed_attempts_open(o.db, &st->attempts, &why)) {
      std::fprintf(stderr, "korvane-station: %s\n", why.c_str());
      return 1;
    }
  }
  if (!o.line.empty()) {
    line_settings line;
    bool ok =
        line_parse_url(o.line, &line.url, &why) && line_read_token(o.line_token, &line.token, &why);
    line.station = c.station;
    line.db = o.db;
    line.tls.ca_file = o.line_ca;
    line.tls.pin_sha256 = o.line_pin;
    line.tls.insecure = o.line_insecure;
    // A CA file that cannot be read stops the station now, not at each try.
    FILE *ca = ok && !o.line_ca.empty() ? std::fopen(o.line_ca.c_str(), "rb") : nullptr;
    if (ca) std::fclose(ca);
    if (ok && !o.line_ca.empty() && !ca)
      ok = set_why(&why, "cannot read the line's CA file %s: %s", o.line_ca.c_str(),
                   std::strerror(errno));
    if (ok) {
      station_db_keep_outbox(db);
      st->line = line_sender_start(line, &why);
      if (st->line && st->attempts.db) st->asking = line_attempts_start(line);
    }
    if (!st->line) {
      std::fprintf(stderr, "korvane-station: %s\n", why.c_str());
      return 1;
    }
  }
  // The records a previous run could not commit go in first.
  st->committer = committer_open(db, o.db, journal_folder(c.logs));
  if (!start_reports(st, &why)) {
    std::fprintf(stderr, "korvane-station: %s\n", why.c_str());
    return 1;
  }
  for (const station_slot &slot : o.slots) {
    slot_state s;
    s.slot = slot;
    st->slots.push_back(s);
  }
  st->tickets.assign(st->slots.size(), 0);
  st->handed_at.assign(st->slots.size(), 0);
  st->verdicts.assign(st->slots.size(), "");
  committer_run(st->committer, COMMIT_RETRY_S);
  st->diagnosis = diagnosis_start();
  st->terminal = output_is_terminal();
  st->input_terminal = input_is_terminal();
  st->color = st->terminal && color_wanted();
  // On a terminal the station takes each key as it comes, so that `q` ends
  // it at once and stray keys never become a serial; it shows what is typed.
  st->keys = st->terminal && st->input_terminal && stdin_keys_begin();
  st->totals.started = steady_now();
  if (st->web) {
    std::string line = "web page at " + web_bound;
    // "http://HOST:PORT/": a page served beyond this PC says so.
    std::string host = web_bound.substr(web_bound.find("//") + 2);
    if (!web_host_is_loopback(host.substr(0, host.size() - 1)))
      line += "; served to every host on the network, not to this PC alone";
    write_out((st->terminal ? line : event_line(std::time(nullptr), {"", line})) + "\n");
  }
  return 0;
}

}  // namespace

int station_run(int argc, char **argv) {
  catch_stop_signals();
  station st;
  int status = start(&st, argc, argv);
  if (status == 0) {
    run_loop(&st);
    diagnosis_stop(st.diagnosis);
    close_records(&st);
    show_web(&st, steady_now());
    end_line(&st);
    last_word(&st);
    status = st.status;
    for (const slot_state &s : st.slots) {
      if (s.port_failed) status |= 1;
    }
  }
  line_sender_finish(st.line, 0);
  line_attempts_stop(st.asking);
  stdin_keys_end();
  web_stop(st.web);
  failed_attempts_close(&st.attempts);
  if (st.committer) close_records(&st);
  run_report_end(st.json);
  run_report_end(st.junit);
  return status < 0 ? 0 : status;
}
