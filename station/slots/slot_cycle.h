// One slot's board cycle: a korvane child started on the slot's port waits
// for a board's wake-up answer, downloads, runs the tests (once, or as a
// soak of N passes or M minutes, ended as Ctrl-C would end it), and ends;
// the board then becomes a record, diagnosed from its log, and the slot
// starts the next cycle for the next board. The cycle is driven by
// slot_poll, called by the station's loop: it never waits.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "station/records/board_record.h"
#include "station/slots/station_child.h"
#include "station/slots/console_parser.h"
#include "station/station_options.h"

// What every slot's cycle shares.
struct cycle_settings {
  std::string korvane;  // the program
  std::string test;     // "", "sdram" or "flash"
  int passes = 0;
  double minutes = 0;
  std::string logs;
  std::string station;
  std::string operator_name;
  bool once = false;
  bool require_serial = false;  // no korvane is started for a board without a serial
  // The station takes no new boards (its records wait for the database):
  // an idle slot starts no korvane, and a korvane still waiting for a board
  // is stopped; boards under test go on to their end.
  bool no_new_boards = false;
};

enum class slot_phase {
  idle,         // no korvane yet, or between cycles
  serial_wait,  // with require_serial: waits for its board's serial
  waiting,      // korvane waits for a board's wake-up answer
  downloading,  // the board answered; the monitor is on its way
  testing,
  stopping,    // asked to end: a soak is complete or the station ends
  port_error,  // korvane could not use the port; tried again later
  error_wait,  // its board ended in error: waits for the operator (slot_release)
  diagnosing,  // the board is done; its log is being diagnosed
  done,        // with --once, or the station ends: no more cycles
};

// How the slot's last board ended, as the view shows it.
// hold: the board's serial is over the retest limit; the slot tests no
// board until another serial is given.
enum class slot_verdict { none, pass, fail, error, interrupted, not_recorded, hold };

struct slot_state {
  station_slot slot;
  slot_phase phase = slot_phase::idle;
  double phase_since = 0;  // steady seconds
  long cycle = 0;          // cycles started, for the working logs' names
  station_child *child = nullptr;
  console_parser parser;
  std::string err_text;  // korvane's standard error in this cycle
  std::string working_log;
  double retry_at = 0;         // when a port in error is tried again
  double stop_asked_at = 0;    // when the child was asked to end, or 0
  bool soak_complete = false;  // the child was asked to end: the soak is done
  bool ending = false;         // the station ends: record and stop
  bool port_failed = false;    // the port could not be used, once at least
  int errors_in_row = 0;       // boards that ended in error, one after another
  bool paused = false;         // its waiting korvane stopped: no new boards
  slot_phase after_diagnosis = slot_phase::idle;

  std::string serial;  // the current board's, or the next one's when none is in
  // Why the board whose serial was given is held for rework (its serial is
  // over the retest limit): no korvane wakes it. "" when it is not.
  std::string over_limit;
  // With --max-attempts: the line is being asked for the serial's attempts
  // (no korvane is started meanwhile); where they were counted, for
  // the board's record; and a word shown beside its phase until the board
  // is done ("not checked against the line").
  bool asking_line = false;
  std::string attempts_checked;
  std::string attempts_note;
  bool board_in = false;
  std::time_t started_utc = 0;
  double started = 0;  // steady seconds
  int percent = 0;
  std::string test;     // the test running, "sdram" or "flash"
  int passes_done = 0;  // complete passes
  int sdram_passes = 0, sdram_failed = 0, flash_passes = 0, flash_failed = 0;
  std::vector<bool> sdram_pass_failed, flash_pass_failed;  // each complete pass
  // The pass under way: which tests ended, and how.
  bool pass_sdram = false, pass_sdram_failed = false;
  bool pass_flash = false, pass_flash_failed = false;

  slot_verdict verdict = slot_verdict::none;
  std::string verdict_text;  // "PASS", "FAIL SDRAM: data line 5 stuck at 1", ...
  // The last board's own serial, time and end, kept with its verdict: the
  // serial scanned meanwhile is the next board's.
  std::string verdict_serial;
  double verdict_seconds = 0;
  std::string verdict_ended;  // UTC, as the record's
  std::string port_message;   // korvane's reason while the port is in error
};

// A line the view prints when it follows events (slot "" for the station).
struct view_event {
  std::string slot;
  std::string text;
};

// How long a port in error waits before korvane tries it again, and how long
// a child asked to end may take before it is killed.
constexpr double PORT_RETRY_S = 5;
constexpr double STOP_GRACE_S = 10;

// Moves the slot on: starts korvane, reads what it printed, ends a soak that
// is complete, and, when a board is done, fills *finished (its log placed,
// not yet diagnosed) and returns true; the slot then waits, diagnosing,
// until the caller has the log diagnosed and calls slot_diagnosed, records
// the board and calls slot_show_verdict. now is steady seconds, utc the
// time of day.
bool slot_poll(slot_state *s, const cycle_settings &settings, double now, std::time_t utc,
               std::vector<view_event> *events, board_record *finished);

// The board's log is diagnosed: the slot goes on to its next board.
void slot_diagnosed(slot_state *s, double now);

// The station ends: every korvane is asked to stop; boards under test will
// come out of slot_poll as interrupted.
void slot_end(slot_state *s, double now);

// The operator's word for a slot waiting after an error (error_wait): a
// new serial for it, or a retry of the same board, which keeps its serial.
// Its next cycle may begin. False when the slot was not waiting so.
bool slot_release(slot_state *s, bool same_board, double now);

// Whether a serial the operator did not aim at a slot (a bare serial, a
// scan into the page's focused field) may go to it: its board has none yet,
// and it can test a board (it has not ended, its port is not in error, and
// its board did not end in error, which may still be in it).
bool slot_takes_serial(const slot_state &s);

// How many boards ended in error one after another before the view says so.
constexpr int ERRORS_IN_ROW_SHOWN = 2;

// Shows the verdict of a finished board: recorded says whether its row is in
// the database; a verdict that is not is shown as NOT RECORDED.
void slot_show_verdict(slot_state *s, const board_record &board, bool recorded,
                       const std::string &record_why, std::vector<view_event> *events);

// "3 errors in a row: check the fixture", for a slot whose boards keep
// ending in error.
std::string errors_in_row_text(const slot_state &s);

// The words of a board's verdict: "PASS", "FAIL SDRAM: data line 5 stuck at
// 1", "ERROR Lost serial port /dev/ttyUSB0.", "INTERRUPTED".
std::string verdict_words(const board_record &board);
