#include "station/slots/slot_shown.h"

#include <cstdio>

#include "korvane/board_check_words.h"

namespace {

const char *verdict_word(slot_verdict v) {
  switch (v) {
    case slot_verdict::pass:
      return "PASS";
    case slot_verdict::fail:
      return "FAIL";
    case slot_verdict::error:
      return "ERROR";
    case slot_verdict::interrupted:
      return "INTERRUPTED";
    case slot_verdict::not_recorded:
      return "NOT RECORDED";
    case slot_verdict::hold:
      return "HOLD";
    case slot_verdict::none:
      break;
  }
  return "";
}

// "FAIL SDRAM: data line 5 stuck at 1" is FAIL with "SDRAM: data line 5
// stuck at 1"; "NOT RECORDED: disk full" is NOT RECORDED with "disk full".
std::string detail_of(const std::string &text, const std::string &word) {
  if (text.compare(0, word.size(), word) != 0) return text;
  size_t start = text.find_first_not_of(" :", word.size());
  return start == std::string::npos ? "" : text.substr(start);
}

}  // namespace

std::string elapsed_text(double seconds) {
  long s = seconds > 0 ? (long)seconds : 0;
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  }
  return text;
}

std::string phase_text(const slot_state &s, const cycle_settings &settings, double now) {
  switch (s.phase) {
    case slot_phase::idle:
      return s.asking_line ? "checking its serial with the line" : "starting";
    case slot_phase::serial_wait:
      return "waiting for its serial";
    case slot_phase::waiting:
      return "waiting for a board";
    case slot_phase::downloading:
      return "downloading " + std::to_string(s.percent) + "%";
    case slot_phase::stopping:
      return "stopping";
    case slot_phase::port_error:
      return "port error";
    case slot_phase::error_wait:
      return "waiting for its next serial or a retry";
    case slot_phase::diagnosing:
      return "diagnosing the log";
    case slot_phase::done:
      return "done";
    case slot_phase::testing:
      break;
  }
  std::string test = board_test_title(s.test);
  std::string pass = std::to_string(s.passes_done + 1);
  if (settings.passes > 0) return test + " pass " + pass + " of " + std::to_string(settings.passes);
  if (settings.minutes > 0) {
    return test + " pass " + pass + ", " + elapsed_text(settings.minutes * 60 - (now - s.started)) +
           " left";
  }
  return "testing " + test;
}

slot_shown show_slot(const slot_state &s, const cycle_settings &settings, double now) {
  slot_shown shown;
  shown.phase = phase_text(s, settings, now);
  if (!s.attempts_note.empty()) shown.phase += "; " + s.attempts_note;
  if (s.board_in) {
    shown.serial = s.serial;
    shown.seconds = now - s.started;
    shown.running = true;
    return shown;
  }
  shown.seconds = now - s.phase_since;
  // A port in error is an ERROR wherever it shows, until korvane waits on
  // it again.
  bool port_error =
      s.phase == slot_phase::port_error || (s.phase == slot_phase::done && !s.port_message.empty());
  if (port_error) {
    shown.verdict = slot_verdict::error;
    shown.word = "ERROR";
    shown.detail = s.port_message;
    shown.next_serial = s.serial;
    return shown;
  }
  if (s.verdict == slot_verdict::none) {
    shown.serial = s.serial;
    return shown;
  }
  shown.verdict = s.verdict;
  shown.word = verdict_word(s.verdict);
  shown.detail = detail_of(s.verdict_text, shown.word);
  shown.serial = s.verdict_serial;
  shown.next_serial = s.serial;
  if (s.verdict == slot_verdict::hold) {
    // A board held for rework is the one whose serial was given: no board
    // of its own was tested, so neither the last board's serial nor its
    // time is shown, but the slot's time in its phase.
    shown.serial = s.serial;
    shown.next_serial.clear();
  } else {
    shown.seconds = s.verdict_seconds;
    shown.ended = s.verdict_ended;
  }
  if (s.errors_in_row >= ERRORS_IN_ROW_SHOWN) shown.phase += "; " + errors_in_row_text(s);
  return shown;
}
