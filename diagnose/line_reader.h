// A log read one line at a time, from a stream or from text in memory, with
// a bounded buffer: however large the input, at most one block and one line
// of it are held. Lines may end in LF, CR LF or CR CR LF (a log written in
// text mode on Windows), or in CRs alone; the CRs and the LF are not part of
// the line. A byte-order mark before the first line and a run of NULs that
// reaches the end of the input (what a crash or a power cut leaves in a
// file) are no text of the log.
//
// A last line without its LF was cut in the middle unless it is a whole
// verdict ("passed", "failed", or a title with its verdict); such a cut line
// is not given as a line, but its number and text are kept, so that the
// parser can tell a continuous run stopped with Ctrl-C.
#pragma once

#include <cstdio>
#include <string>

// No line of a korvane log comes near this. A longer one is damage (a burst
// of noise on the line): it is given as too_long, without its text, which
// is never held, and the reading goes on at the next line.
constexpr size_t MAX_LINE = 1024;
// A run of NULs may be longer, up to this: a file system can leave whole
// blocks of them after a power cut. Past it the input is no log.
constexpr size_t MAX_NUL_RUN = 64u << 20;

enum class line_state {
  line,        // `line` holds the current line
  end,         // no more lines
  too_long,    // the current line is longer than MAX_LINE (or, with no_text
               // set, a run of NULs is longer than MAX_NUL_RUN: the end)
  unreadable,  // the stream failed
};

struct line_reader {
  FILE *file = nullptr;               // read from here, or else
  const std::string *text = nullptr;  // from this text
  size_t text_pos = 0;
  char block[65536];
  size_t start = 0, end = 0;  // the unread part of block
  bool at_eof = false;
  bool after_cr = false;  // the last line ended in CRs: an LF next is its end too
  bool no_text = false;   // a run of NULs past MAX_NUL_RUN: no more lines

  line_state state = line_state::end;
  std::string line;      // the current line, without its end
  long long number = 0;  // the current line's number, from 1
  int error = 0;         // errno when the stream failed
  // A last line without its LF that was left out (0 when none), and its text.
  long long cut_line = 0;
  std::string cut_text;
};

// Start reading; the reader stands on the first line (or at the end).
void line_reader_open_file(line_reader *r, FILE *file);
void line_reader_open_text(line_reader *r, const std::string *text);

// Moves to the next line.
void line_reader_next(line_reader *r);
