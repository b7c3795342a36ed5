#include "station/slots/slot_cycle.h"

#include <cmath>
#include <cstdio>

#include "korvane/board_check_words.h"
#include "korvane/console_texts.h"
#include "station/records/board_diagnosis.h"
#include "station/records/board_logs.h"
#include "station/slots/station_clock.h"
#include "station/slots/station_platform.h"

namespace {

const size_t MAX_ERROR_TEXT = 4096;

void set_phase(slot_state *s, slot_phase phase, double now) {
  s->phase = phase;
  s->phase_since = now;
}

void event(std::vector<view_event> *events, const slot_state *s, const std::string &text) {
  events->push_back({s->slot.name, text});
}

bool soaking(const cycle_settings &settings) { return settings.passes > 0 || settings.minutes > 0; }

// korvane's error lines as one, or what its status says when it gave none.
std::string korvane_message(const std::string &err, int status) {
  std::string out, line;
  for (char c : err + "\n") {
    if (c == '\n' || c == '\r') {
      if (!line.empty()) out += (out.empty() ? "" : " ") + line;
      line.clear();
    } else {
      line += c;
    }
  }
  if (out.empty()) out = "korvane ended with status " + std::to_string(status);
  return out;
}

void start_cycle(slot_state *s, const cycle_settings &settings, double now,
                 std::vector<view_event> *events) {
  s->cycle++;
  s->working_log = working_log_path(settings.logs, s->slot.name, s->cycle);
  std::vector<std::string> args = {"-p", s->slot.port, "-v", "-l", s->working_log};
  if (soaking(settings)) args.push_back("-c");
  if (!settings.test.empty()) args.push_back(settings.test);
  std::string why;
  s->child = child_start(settings.korvane, args, &why);
  s->parser = console_parser();
  s->err_text.clear();
  s->stop_asked_at = 0;
  s->soak_complete = false;
  s->paused = false;
  if (!s->child) {
    if (why != s->port_message) event(events, s, "ERROR " + why);
    s->port_message = why;
    s->port_failed = true;
    s->retry_at = now + PORT_RETRY_S;
    set_phase(s, settings.once ? slot_phase::done : slot_phase::port_error, now);
    return;
  }
  set_phase(s, slot_phase::waiting, now);
}

void board_arrived(slot_state *s, double now, std::time_t utc, std::vector<view_event> *events) {
  if (s->board_in) return;
  s->board_in = true;
  s->started = now;
  s->started_utc = utc;
  s->percent = 0;
  s->passes_done = 0;
  s->sdram_passes = s->sdram_failed = s->flash_passes = s->flash_failed = 0;
  s->sdram_pass_failed.clear();
  s->flash_pass_failed.clear();
  s->pass_sdram = s->pass_sdram_failed = s->pass_flash = s->pass_flash_failed = false;
  s->verdict = slot_verdict::none;
  s->verdict_text.clear();
  s->port_message.clear();
  set_phase(s, slot_phase::downloading, now);
  event(events, s, "board in, downloading");
}

void ask_stop(slot_state *s, double now) {
  child_interrupt(s->child);
  s->stop_asked_at = now;
  set_phase(s, slot_phase::stopping, now);
}

void test_ended(slot_state *s, const cycle_settings &settings, const console_event &e, double now,
                std::vector<view_event> *events) {
  // korvane runs on while the stop the soak's end asked for reaches it: the
  // passes it ends meanwhile are beyond the soak, neither counted nor shown.
  if (s->soak_complete) return;
  bool sdram = e.test == board_test_of(board_test::sdram).name;
  (sdram ? s->pass_sdram : s->pass_flash) = true;
  (sdram ? s->pass_sdram_failed : s->pass_flash_failed) = !e.passed;
  std::string text = board_test_title(e.test) + std::string(e.passed ? " passed" : " failed");
  if (soaking(settings)) text += " in pass " + std::to_string(s->passes_done + 1);
  event(events, s, text);
  // A pass is complete with its last test; a pass cut short is not counted.
  std::string last = settings.test.empty() ? board_test_of(board_test::flash).name : settings.test;
  if (e.test != last) return;
  s->passes_done++;
  s->sdram_passes += s->pass_sdram;
  s->sdram_failed += s->pass_sdram && s->pass_sdram_failed;
  s->flash_passes += s->pass_flash;
  s->flash_failed += s->pass_flash && s->pass_flash_failed;
  if (s->pass_sdram) s->sdram_pass_failed.push_back(s->pass_sdram_failed);
  if (s->pass_flash) s->flash_pass_failed.push_back(s->pass_flash_failed);
  s->pass_sdram = s->pass_sdram_failed = s->pass_flash = s->pass_flash_failed = false;
  if (settings.passes > 0 && s->passes_done >= settings.passes && !s->stop_asked_at) {
    s->soak_complete = true;
    ask_stop(s, now);
  }
}

void follow_console(slot_state *s, const cycle_settings &settings, const std::string &out,
                    double now, std::time_t utc, std::vector<view_event> *events) {
  std::vector<console_event> seen;
  console_parse(&s->parser, out, &seen);
  for (const console_event &e : seen) {
    switch (e.kind) {
      case console_event_kind::waiting:
        if (!s->ending) event(events, s, "waiting for a board");
        s->port_message.clear();
        break;
      case console_event_kind::downloading:
        board_arrived(s, now, utc, events);
        s->percent = e.percent;
        break;
      case console_event_kind::test_started:
        board_arrived(s, now, utc, events);
        s->test = e.test;
        if (!s->stop_asked_at) set_phase(s, slot_phase::testing, now);
        break;
      case console_event_kind::test_ended:
        test_ended(s, settings, e, now, events);
        break;
    }
  }
}

board_outcome outcome_of(const slot_state *s, int status, std::string *message) {
  bool failed = s->sdram_failed || s->flash_failed;
  if (s->soak_complete) {
    if (s->passes_done == 0) {
      *message = "no complete pass before the soak time was up";
      return board_outcome::error;
    }
    return failed ? board_outcome::failed : board_outcome::passed;
  }
  if (s->ending) return board_outcome::interrupted;
  if (status != 0) {
    *message = korvane_message(s->err_text, status);
    return board_outcome::error;
  }
  if (s->passes_done == 0) {
    *message = "korvane ended without a verdict";
    return board_outcome::error;
  }
  return failed ? board_outcome::failed : board_outcome::passed;
}

// korvane has ended: a board becomes a record; no board means the port
// could not be used, or the station is ending.
bool finish_cycle(slot_state *s, const cycle_settings &settings, int status, double now,
                  std::time_t utc, std::vector<view_event> *events, board_record *b) {
  bool last = settings.once || s->ending;
  // A board that answered the wake-up but never asked for the download
  // shows only in korvane's message; it is a board all the same.
  if (!s->board_in && s->err_text.find(DOWNLOAD_FAILED_TEXT) != std::string::npos) {
    board_arrived(s, now, utc, events);
  }
  if (!s->board_in) {
    std::remove(s->working_log.c_str());
    if (s->paused && !s->ending) {
      s->paused = false;
      set_phase(s, slot_phase::idle, now);
      return false;
    }
    if (s->ending) {
      set_phase(s, slot_phase::done, now);
      return false;
    }
    std::string message = korvane_message(s->err_text, status);
    if (message != s->port_message) event(events, s, "ERROR " + message);
    s->port_message = message;
    s->port_failed = true;
    s->retry_at = now + PORT_RETRY_S;
    set_phase(s, last ? slot_phase::done : slot_phase::port_error, now);
    return false;
  }

  *b = board_record();
  b->serial = s->serial;
  b->attempts_checked = s->attempts_checked;
  b->slot = s->slot.name;
  b->port = port_record_name(s->slot.port);
  b->station = settings.station;
  b->operator_name = settings.operator_name;
  b->started = utc_text(s->started_utc);
  b->ended = utc_text(utc);
  // Milliseconds are all a record needs; more figures only look precise.
  b->seconds = std::round((now - s->started) * 1000) / 1000;
  b->sdram_passes = s->sdram_passes;
  b->sdram_failed = s->sdram_failed;
  b->flash_passes = s->flash_passes;
  b->flash_failed = s->flash_failed;
  b->sdram_pass_failed = s->sdram_pass_failed;
  b->flash_pass_failed = s->flash_pass_failed;
  b->korvane_status = status;
  b->outcome = outcome_of(s, status, &b->message);
  std::string why;
  std::string stem = board_log_stem(s->serial, s->slot.name, utc_compact(s->started_utc));
  if (!place_board_log(s->working_log, settings.logs, stem, &b->log, &why)) {
    b->log = s->working_log;
    event(events, s, why + "; the log stays " + s->working_log);
  }

  s->board_in = false;
  s->serial.clear();
  s->attempts_checked.clear();
  s->attempts_note.clear();
  s->asking_line = false;
  // A board that ended in error is most often still in the slot: a next
  // cycle would test it again and record it as another board. The slot
  // waits for the operator instead, once its log is diagnosed.
  slot_phase next = b->outcome == board_outcome::error ? slot_phase::error_wait : slot_phase::idle;
  s->after_diagnosis = last ? slot_phase::done : next;
  set_phase(s, slot_phase::diagnosing, now);
  return true;
}

}  // namespace

bool slot_poll(slot_state *s, const cycle_settings &settings, double now, std::time_t utc,
               std::vector<view_event> *events, board_record *finished) {
  if (s->phase == slot_phase::done || s->phase == slot_phase::diagnosing) return false;
  // A board held for rework is never woken: the korvane waiting for it ends
  // before the board answers, and none starts until another serial comes.
  if (!s->over_limit.empty() && !s->board_in) {
    if (s->child) {
      child_end(s->child);
      s->child = nullptr;
      std::remove(s->working_log.c_str());
    }
    set_phase(s, s->ending ? slot_phase::done : slot_phase::idle, now);
    return false;
  }
  if (!s->child) {
    bool due = s->phase == slot_phase::idle || s->phase == slot_phase::serial_wait ||
               (s->phase == slot_phase::port_error && now >= s->retry_at);
    if (s->ending) {
      set_phase(s, slot_phase::done, now);
    } else if (settings.no_new_boards || s->asking_line) {
      // Started again once new boards are taken, or the line has answered
      // on the serial. A korvane that waits already is left waiting: one
      // stopped as its board answers leaves the board half woken.
    } else if (due && settings.require_serial && s->serial.empty()) {
      // No serial, no test: korvane would wake whatever board is in.
      if (s->phase != slot_phase::serial_wait) {
        s->port_message.clear();
        set_phase(s, slot_phase::serial_wait, now);
        event(events, s, "waiting for its serial");
      }
    } else if (due) {
      start_cycle(s, settings, now, events);
    }
    return false;
  }

  std::string out;
  child_read(s->child, &out, &s->err_text);
  // korvane's errors are a line or two; a child that floods its standard
  // error keeps only its first lines in the record.
  if (s->err_text.size() > MAX_ERROR_TEXT) s->err_text.resize(MAX_ERROR_TEXT);
  follow_console(s, settings, out, now, utc, events);
  if (settings.no_new_boards && !s->board_in && !s->stop_asked_at) {
    s->paused = true;
    ask_stop(s, now);
  }
  if (settings.minutes > 0 && s->board_in && !s->stop_asked_at &&
      now - s->started >= settings.minutes * 60) {
    s->soak_complete = true;
    ask_stop(s, now);
  }

  int status = 0;
  bool exited = child_exited(s->child, &status);
  if (!exited && s->stop_asked_at && now - s->stop_asked_at > STOP_GRACE_S) {
    // A korvane that does not end when asked is killed: the board's record
    // matters more than a clean end.
    child_end(s->child);
    s->child = nullptr;
    return finish_cycle(s, settings, 128 + 9, now, utc, events, finished);
  }
  if (!exited) return false;
  // What it wrote just before its end.
  out.clear();
  child_read(s->child, &out, &s->err_text);
  follow_console(s, settings, out, now, utc, events);
  child_end(s->child);
  s->child = nullptr;
  return finish_cycle(s, settings, status, now, utc, events, finished);
}

void slot_diagnosed(slot_state *s, double now) {
  set_phase(s, s->ending ? slot_phase::done : s->after_diagnosis, now);
}

void slot_end(slot_state *s, double now) {
  s->ending = true;
  if (s->phase == slot_phase::diagnosing) {
    s->after_diagnosis = slot_phase::done;
  } else if (!s->child) {
    set_phase(s, slot_phase::done, now);
  } else if (!s->stop_asked_at) {
    ask_stop(s, now);
  }
}

std::string verdict_words(const board_record &board) {
  switch (board.outcome) {
    case board_outcome::passed:
      return "PASS";
    case board_outcome::interrupted:
      return "INTERRUPTED";
    case board_outcome::error:
      return "ERROR " + board.message;
    case board_outcome::failed:
      break;
  }
  std::string text = "FAIL";
  struct {
    board_test_words test;
    int failed, passes;
  } tests[] = {{board_test_of(board_test::sdram), board.sdram_failed, board.sdram_passes},
               {board_test_of(board_test::flash), board.flash_failed, board.flash_passes}};
  bool first = true;
  for (const auto &t : tests) {
    if (!t.failed) continue;
    std::string fault = first_fault_words(board, t.test.name);
    if (fault.empty()) {
      fault = "failed " + std::to_string(t.failed) + " of " + std::to_string(t.passes) +
              (t.passes == 1 ? " pass" : " passes");
    }
    text += std::string(first ? " " : "; ") + t.test.title + ": " + fault;
    first = false;
  }
  return text;
}

bool slot_takes_serial(const slot_state &s) {
  return s.serial.empty() && s.phase != slot_phase::done && s.phase != slot_phase::port_error &&
         s.phase != slot_phase::error_wait;
}

bool slot_release(slot_state *s, bool same_board, double now) {
  if (s->phase != slot_phase::error_wait) return false;
  if (same_board && s->serial.empty()) s->serial = s->verdict_serial;
  set_phase(s, slot_phase::idle, now);
  return true;
}

void slot_show_verdict(slot_state *s, const board_record &board, bool recorded,
                       const std::string &record_why, std::vector<view_event> *events) {
  s->verdict_serial = board.serial;
  s->verdict_seconds = board.seconds;
  s->verdict_ended = board.ended;
  if (board.outcome == board_outcome::error) {
    s->errors_in_row++;
  } else if (board.outcome != board_outcome::interrupted) {
    s->errors_in_row = 0;
  }
  if (!recorded) {
    s->verdict = slot_verdict::not_recorded;
    s->verdict_text = "NOT RECORDED: " + record_why;
  } else {
    static const slot_verdict BY_OUTCOME[] = {slot_verdict::pass, slot_verdict::fail,
                                              slot_verdict::error, slot_verdict::interrupted};
    s->verdict = BY_OUTCOME[(int)board.outcome];
    s->verdict_text = verdict_words(board);
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", board.seconds);
  std::string serial = board.serial.empty() ? "no serial" : "serial " + board.serial;
  event(events, s, s->verdict_text + " (" + serial + ", " + seconds + ")");
  if (s->errors_in_row >= ERRORS_IN_ROW_SHOWN) event(events, s, errors_in_row_text(*s));
}

std::string errors_in_row_text(const slot_state &s) {
  return std::to_string(s.errors_in_row) + " errors in a row: check the fixture";
}
