// The drawing of a board's SDRAM bus with its broken lines marked, and its
// failed flash checks, as HTML with inline SVG: what a repair technician
// reads faster than "address lines 3 and 7 shorted". korvane-diagnose --html
// draws it for one log, the station's reports for every failed board.
//
// The input is what the diagnosis's JSON document names, read into a small
// record, so that the drawing does not depend on how the faults were found:
//   a fault      {"kind", "lines": [..], "level": 0|1|null,
//                 "wiring": "and"|"or"|null, "words"}
//   a pair       [FAULT, FAULT], both present
//   a set        {"one_of": [FAULT or PAIR, ...]}, one of them present
// An older document that gives faults as words only ("data line 5 stuck at
// 1", a list of such words for a set) is read from the words.
#pragma once

#include <string>
#include <vector>

#include "net_names.h"

struct bus_fault {
  // "data_stuck", "address_stuck", "address_short", "data_short",
  // "data_floating", a flash check's name, or "" when the words say nothing
  // the drawing knows.
  std::string kind;
  std::vector<int> lines;
  int level = -1;      // 0 or 1 for a stuck line, else -1
  std::string wiring;  // "and" or "or" for a short, else ""
  std::string words;
};

// One thing a diagnosis names: a single choice (one fault, or a pair) for
// certain, or several choices of which one is the truth.
typedef std::vector<bus_fault> bus_choice;
struct bus_entry {
  std::vector<bus_choice> choices;
};

struct bus_faults {
  std::vector<bus_entry> sdram;
  std::vector<bus_fault> flash;
  net_names nets;  // the board's names for its lines, drawn beside their numbers
};

// Reads the faults of a diagnosis document (its "sdram" and "flash"
// members' "faults"). False, with the reason, for text that is not such a
// document; a fault the drawing cannot place is kept with its words only.
bool bus_faults_from_json(const std::string &document, bus_faults *out, std::string *why);

// The faults that "data line 5 stuck at 1", "address line 3 stuck at 0",
// "address lines 3 and 7 shorted", or several of those joined by " and ",
// name; one fault with no kind when the words are none of these.
bus_choice bus_choice_from_words(const std::string &words);

// Text made safe inside an HTML element or a quoted attribute.
std::string html_escape(const std::string &text);

// The SVG of the bus, every line labelled, each named fault drawn on its
// line: its <g> carries data-line="D5" or "A7" and data-mark ("stuck-0",
// "stuck-1", "short", "floating", "one-of"), and data-net with the line's
// name when faults.nets gives one. Empty when there are no SDRAM faults.
std::string bus_drawing_svg(const bus_faults &faults);

// The failed flash checks as a table: the check and what was read. Empty
// when there are none.
std::string flash_checks_html(const bus_faults &faults);

// A whole page: no script, no external file, a policy that forbids both.
// body is already HTML.
std::string html_page(const std::string &title, const std::string &body);

// Writes the page whole or not at all: beside its place first, then moved
// there. False, with the system's reason, when it cannot.
bool html_page_write(const std::string &path, const std::string &page, std::string *why);
