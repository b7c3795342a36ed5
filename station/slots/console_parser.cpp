#include "station/slots/console_parser.h"

#include <cstdlib>
#include <cstring>

#include "korvane/board_check_words.h"
#include "korvane/console_texts.h"

namespace {

// The progress line up to its percentage: the format without "  0%%)".
const std::string PROGRESS_HEAD(XMODEM_PROGRESS_FORMAT, sizeof XMODEM_PROGRESS_FORMAT - 7);

const size_t MAX_LINE_KEPT = 65536;

bool ends_with(const std::string &s, const std::string &tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The text a line shows: what follows its last carriage return (the
// progress line is blanked with "\r" + spaces + "\r"), without a trailing one
// (a trace line ends in CR LF).
std::string shown_text(std::string line) {
  while (!line.empty() && line.back() == '\r') line.pop_back();
  size_t cr = line.rfind('\r');
  return cr == std::string::npos ? line : line.substr(cr + 1);
}

// The waiting text and the progress line come without a line end: they are
// looked for in the line as it grows.
void parse_partial(console_parser *p, std::vector<console_event> *events) {
  if (!p->waiting_seen && p->line.find(WAKEUP_WAITING_TEXT) != std::string::npos) {
    p->waiting_seen = true;
    events->push_back({console_event_kind::waiting, 0, "", false});
  }
  size_t head = p->line.find(PROGRESS_HEAD);
  if (head == std::string::npos) return;
  // Each update overwrites the last "NNN%)" with backspaces; the last whole
  // one is the progress.
  size_t mark = p->line.rfind("%)");
  int percent = 0;
  if (mark != std::string::npos && mark >= head + PROGRESS_HEAD.size() + 3) {
    std::string figures = p->line.substr(mark - 3, 3);
    percent = std::atoi(figures.c_str());
  }
  if (percent != p->percent) {
    p->percent = percent;
    events->push_back({console_event_kind::downloading, percent, "", false});
  }
}

void test_ended(console_parser *p, bool passed, std::vector<console_event> *events) {
  events->push_back({console_event_kind::test_ended, 0, p->open_test, passed});
  p->open_test.clear();
}

void parse_line(console_parser *p, std::vector<console_event> *events) {
  std::string text = shown_text(p->line);
  p->line.clear();
  for (const board_test_words &test : BOARD_TESTS) {
    const char *title = test.console_title;
    if (text.compare(0, std::strlen(title), title) != 0) continue;
    p->open_test = test.name;
    events->push_back({console_event_kind::test_started, 0, p->open_test, false});
    // Without a trace the verdict follows the title on its line.
    text = text.substr(std::strlen(title));
    if (text.empty()) return;
  }
  if (p->open_test.empty()) return;
  // A verdict is its own line after a trace; the trace's letters hold
  // neither word, so one glued to a trace line that lost its end still counts.
  if (ends_with(text, VERDICT_PASSED)) test_ended(p, true, events);
  if (ends_with(text, VERDICT_FAILED)) test_ended(p, false, events);
}

}  // namespace

void console_parse(console_parser *p, const std::string &text, std::vector<console_event> *events) {
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) {
      p->line.append(text, start, std::string::npos);
      parse_partial(p, events);
      break;
    }
    p->line.append(text, start, nl - start);
    parse_partial(p, events);
    parse_line(p, events);
    start = nl + 1;
  }
  // Output that never ends its line (a port spewing noise) is not kept
  // whole: the head of a line that long tells nothing any more.
  if (p->line.size() > MAX_LINE_KEPT) p->line.erase(0, p->line.size() - MAX_LINE_KEPT / 2);
}
