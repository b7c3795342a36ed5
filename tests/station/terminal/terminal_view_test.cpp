// What the operator reads: the event lines, the verdict's words, the phase,
// the summary and the terminal's rows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "station/slots/slot_cycle.h"
#include "station/terminal/last_failures.h"
#include "station/terminal/terminal_view.h"

namespace {

const std::time_t NOON = 1796817600;  // 2026-12-09T12:00:00Z

TEST(StationView, EventLinesBeginWithTheirUtcTimeAndHoldNoEscapes) {
  const struct {
    view_event e;
    std::string line;
  } cases[] = {
      {{"A", "waiting for a board"}, "2026-12-09T12:00:00Z A: waiting for a board"},
      {{"", "serial longer than 64 characters refused"},
       "2026-12-09T12:00:00Z station: serial longer than 64 characters refused"},
      {{"A", "serial \x1b[2Jx"}, "2026-12-09T12:00:00Z A: serial ?[2Jx"},
      {{"slot\n2", "PASS"}, "2026-12-09T12:00:00Z slot?2: PASS"},
  };
  for (const auto &c : cases) EXPECT_EQ(c.line, event_line(NOON, c.e));
}

board_record board(board_outcome outcome) {
  board_record b;
  b.outcome = outcome;
  b.sdram_passes = b.flash_passes = 3;
  return b;
}

TEST(StationView, VerdictNamesTheFault) {
  board_record data = board(board_outcome::failed);
  data.sdram_failed = 3;
  data.faults = {{"sdram", "data_stuck", "data line 5 stuck at 1"}};
  board_record both = data;
  both.flash_failed = 1;
  board_record unexplained = board(board_outcome::failed);
  unexplained.flash_failed = 2;
  board_record error = board(board_outcome::error);
  error.message = "Lost serial port /dev/pts/3.";
  const struct {
    board_record b;
    std::string words;
  } cases[] = {
      {board(board_outcome::passed), "PASS"},
      {data, "FAIL SDRAM: data line 5 stuck at 1"},
      {both, "FAIL SDRAM: data line 5 stuck at 1; FLASH: failed 1 of 3 passes"},
      {unexplained, "FAIL FLASH: failed 2 of 3 passes"},
      {error, "ERROR Lost serial port /dev/pts/3."},
      {board(board_outcome::interrupted), "INTERRUPTED"},
  };
  for (const auto &c : cases) EXPECT_EQ(c.words, verdict_words(c.b));
}

TEST(StationView, VerdictNotOnDiskIsNotShown) {
  slot_state s;
  s.slot = {"A", "/dev/a"};
  std::vector<view_event> events;
  board_record b = board(board_outcome::passed);
  b.serial = "SN1";
  b.seconds = 12.25;
  slot_show_verdict(&s, b, false, "cannot record the board: disk I/O error", &events);
  EXPECT_EQ(slot_verdict::not_recorded, s.verdict);
  EXPECT_EQ("NOT RECORDED: cannot record the board: disk I/O error", s.verdict_text);
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ("NOT RECORDED: cannot record the board: disk I/O error (serial SN1, 12.2 s)",
            events[0].text);
  slot_show_verdict(&s, b, true, "", &events);
  EXPECT_EQ(slot_verdict::pass, s.verdict);
  EXPECT_EQ("PASS (serial SN1, 12.2 s)", events[1].text);
}

TEST(StationView, PhaseSaysWhereTheBoardIs) {
  cycle_settings plain, passes, minutes;
  passes.passes = 10;
  minutes.minutes = 5;
  slot_state s;
  s.started = 100;
  s.test = "sdram";
  s.passes_done = 2;
  s.percent = 42;
  const struct {
    slot_phase phase;
    const cycle_settings *settings;
    std::string text;
  } cases[] = {
      {slot_phase::waiting, &plain, "waiting for a board"},
      {slot_phase::downloading, &plain, "downloading 42%"},
      {slot_phase::testing, &plain, "testing SDRAM"},
      {slot_phase::testing, &passes, "SDRAM pass 3 of 10"},
      {slot_phase::testing, &minutes, "SDRAM pass 3, 4:00 left"},
      {slot_phase::stopping, &plain, "stopping"},
  };
  for (const auto &c : cases) {
    s.phase = c.phase;
    EXPECT_EQ(c.text, phase_text(s, *c.settings, 160));
  }
}

TEST(StationView, SummaryCountsAndYield) {
  station_totals t;
  t.started = 0;
  EXPECT_EQ(
      "0 boards tested, 0 passed, 0 failed, 0 errors, first-pass yield -, final yield -, 0.0 "
      "boards per hour",
      summary_text(t, 0));
  for (board_outcome o : {board_outcome::passed, board_outcome::passed, board_outcome::passed,
                          board_outcome::failed}) {
    count_board(&t, board(o), true);
  }
  count_board(&t, board(board_outcome::error), false);
  EXPECT_EQ(
      "5 boards tested, 3 passed, 1 failed, 0 errors, 1 not recorded, first-pass yield 75.0%, "
      "final yield 75.0%, 10.0 boards per hour",
      summary_text(t, 1800));
  EXPECT_EQ("59:59", elapsed_text(3599));
  EXPECT_EQ("1:00:00", elapsed_text(3600));
}

// A finished board's verdict stays with its own serial and time; the serial
// scanned meanwhile is the next board's.
TEST(StationView, VerdictKeepsItsBoardsSerialAndTime) {
  cycle_settings settings;
  slot_state s;
  s.slot = {"A", "/dev/a"};
  s.phase = slot_phase::waiting;
  s.phase_since = 100;
  s.verdict = slot_verdict::fail;
  s.verdict_text = "FAIL SDRAM: data line 5 stuck at 1";
  s.verdict_serial = "KV-0007";
  s.verdict_seconds = 42;
  s.verdict_ended = "2026-12-09T10:42:00Z";
  s.serial = "KV-0008";
  std::vector<std::string> rows =
      terminal_rows({s}, settings, station_totals(), {}, 1000, false, terminal_size());
  EXPECT_EQ(
      "A     /dev/a  KV-0007  0:42     FAIL SDRAM: data line 5 stuck at 1  (next: KV-0008, "
      "waiting for a board)",
      rows[1]);
  // A serial over the retest limit is held: the HOLD is that board's,
  // with neither the last board's serial nor its time.
  slot_state held = s;
  held.verdict = slot_verdict::hold;
  held.verdict_text = "HOLD KV-0008 failed 3 times";
  slot_shown hold = show_slot(held, settings, 1000);
  EXPECT_EQ("KV-0008", hold.serial);
  EXPECT_EQ(900, hold.seconds);
  EXPECT_EQ("", hold.ended);
  // The next board is in: its own serial, its own clock, no verdict.
  s.board_in = true;
  s.started = 990;
  s.phase = slot_phase::testing;
  s.verdict = slot_verdict::none;
  slot_shown shown = show_slot(s, settings, 1000);
  EXPECT_EQ("KV-0008", shown.serial);
  EXPECT_EQ("", shown.next_serial);
  EXPECT_EQ(10, shown.seconds);
  EXPECT_TRUE(shown.running);
}

// The closing words name the last failed boards, printable, and count the
// rest.
TEST(StationView, ClosingWordsKeepTheLastFailures) {
  const std::pair<int, const char *> cases[] = {
      {0, ""},
      {3, "F1\nF2\nF3\n"},
      {4, "1 earlier failed board not listed\nF2\nF3\nF4\n"},
      {1000, "997 earlier failed boards not listed\nF998\nF999\nF?\n"}};
  for (const auto &c : cases) {
    last_failures f;
    for (int i = 1; i <= c.first; i++)
      last_failures_add(&f, i == 1000 ? "F\x1b" : "F" + std::to_string(i), 3);
    EXPECT_EQ(c.second, last_failures_text(f)) << c.first;
  }
}

// 80 columns keep the port (its end, when long) and the whole summary;
// more slots than lines are shown a page at a time.
TEST(StationView, FitsTheTerminal) {
  std::vector<slot_state> slots(12);
  for (size_t i = 0; i < slots.size(); i++) {
    slots[i].slot = {std::string(1, char('a' + i)),
                     "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port" + std::to_string(i)};
    slots[i].phase = slot_phase::waiting;
    slots[i].serial = "KV-00" + std::to_string(10 + i);
  }
  station_totals t;
  for (int i = 0; i < 3; i++) count_board(&t, board(board_outcome::interrupted), true);
  count_board(&t, board(board_outcome::failed), false);
  t.counts.slot_errors = 1;
  const struct {
    terminal_size size;
    size_t slot_rows;
    const char *page;  // the page's line, "" for none
  } cases[] = {
      {{80, 40}, 12, ""},
      {{80, 12}, 6, "slots 1-6 of 12, page 1 of 2"},
      {{60, 0}, 12, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.size.columns * 1000 + c.size.lines);
    std::vector<std::string> rows =
        terminal_rows(slots, cycle_settings(), t, {"typed: KV-9"}, 0, false, c.size);
    std::string all;
    for (const std::string &row : rows) {
      EXPECT_LE(row.size(), c.size.columns) << row;
      all += row + "\n";
    }
    if (c.size.lines) {
      EXPECT_LT(rows.size(), c.size.lines);
    }
    size_t slot_rows = 0;
    for (const std::string &row : rows) slot_rows += row.find("KV-00") != std::string::npos;
    EXPECT_EQ(c.slot_rows, slot_rows) << all;
    EXPECT_NE(std::string::npos, all.find(c.page[0] ? c.page : "\na ")) << all;
    EXPECT_EQ(c.page[0] != 0, all.find("page") != std::string::npos) << all;
    // A long port keeps the end that tells it from the others.
    EXPECT_EQ(c.size.columns >= 80, all.find("-port1  KV-0011") != std::string::npos) << all;
    for (const char *part : {"3 interrupted", "1 not recorded", "1 slot error", "final yield -",
                             "boards per hour", "typed: KV-9"}) {
      EXPECT_NE(std::string::npos, all.find(part)) << part << "\n" << all;
    }
  }
}

TEST(StationView, ColourOnlyWhenAskedAndNotRefused) {
  std::vector<slot_state> slots(2);
  slots[0].slot = {"A", "/dev/a"};
  slots[0].phase = slot_phase::waiting;
  slots[0].verdict = slot_verdict::fail;
  slots[0].verdict_text = "FAIL SDRAM: data line 5 stuck at 1";
  slots[1].slot = {"B", "/dev/b"};
  slots[1].phase = slot_phase::port_error;
  slots[1].port_message = "Lost serial port /dev/b.";
  station_totals t;
  for (bool color : {false, true}) {
    std::vector<std::string> rows =
        terminal_rows(slots, cycle_settings(), t, {}, 0, color, terminal_size());
    ASSERT_EQ(4u, rows.size());
    EXPECT_NE(std::string::npos, rows[1].find("FAIL SDRAM: data line 5 stuck at 1"));
    EXPECT_NE(std::string::npos, rows[2].find("ERROR Lost serial port /dev/b."));
    std::string all;
    for (const std::string &r : rows) all += r;
    EXPECT_EQ(color, all.find('\x1b') != std::string::npos);
  }
  // Cut to the terminal's width, the colour's escapes not counted.
  for (bool color : {false, true}) {
    std::vector<std::string> rows =
        terminal_rows(slots, cycle_settings(), t, {}, 0, color, {40, 0});
    for (std::string row : rows) {
      for (const char *escape : {"\x1b[1;31m", "\x1b[33m", "\x1b[0m"}) {
        for (size_t at; (at = row.find(escape)) != std::string::npos;) {
          row.erase(at, std::string(escape).size());
        }
      }
      EXPECT_LE(row.size(), 40u) << row;
    }
  }
  setenv("NO_COLOR", "1", 1);
  EXPECT_FALSE(color_wanted());
  setenv("NO_COLOR", "", 1);
  EXPECT_TRUE(color_wanted());
  unsetenv("NO_COLOR");
  EXPECT_TRUE(color_wanted());
}

}  // namespace
