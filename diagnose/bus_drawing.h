// The drawing of a board's SDRAM bus with its broken lines marked, and its
// failed flash checks, as HTML with inline SVG: what a repair technician
// reads faster than "address lines 3 and 7 shorted". korvane-diagnose --html
// draws it for one log, the station's reports for every failed board.
//
// The input is the faults as the diagnosis names them: taken as they are
// from a diagnosis in the same process, or read back from the JSON document
// a record keeps:
//   a fault      {"kind", "lines": [..], "level": 0|1|null,
//                 "wiring": "and"|"or"|null, "words"}
//   a pair       [FAULT, FAULT], both present
//   a set        {"one_of": [FAULT or PAIR, ...]}, one of them present
// An older document that gives faults as words only ("data line 5 stuck at
// 1", a list of such words for a set) is read from the words.
#pragma once

#include <string>
#include <vector>

#include "fault_data.h"

struct log_summary;

// The faults the drawing shows, as the diagnosis names them (fault_data.h):
// a fault the drawing cannot place ("" kind) is drawn by its words alone.
struct bus_faults {
  fault_list sdram;
  std::vector<fault_object> flash;  // one a failed check
};

// The faults of a diagnosis made in this process, as they are.
bus_faults bus_faults_of(const log_summary &summary);

// Reads the faults of a diagnosis document (its "sdram" and "flash"
// members' "faults"). False, with the reason, for text that is not such a
// document; a fault the drawing cannot place is kept with its words only.
bool bus_faults_from_json(const std::string &document, bus_faults *out, std::string *why);

// The faults that "data line 5 stuck at 1", "address line 3 stuck at 0",
// "address lines 3 and 7 shorted", or several of those joined by " and ",
// name; one fault with no kind when the words are none of these.
fault_hypothesis bus_choice_from_words(const std::string &words);

// Text made safe inside an HTML element or a quoted attribute.
std::string html_escape(const std::string &text);

// The SVG of the bus, every line labelled, each named fault drawn on its
// line: its <g> carries data-line="D5" or "A7" and data-mark ("stuck-0",
// "stuck-1", "short", "floating", "one-of"). Empty when there are no SDRAM
// faults.
std::string bus_drawing_svg(const bus_faults &faults);

// The failed flash checks as a table: the check and what was read. Empty
// when there are none.
std::string flash_checks_html(const bus_faults &faults);

// A whole page: no script, no external file, a policy that forbids both.
// body is already HTML.
std::string html_page(const std::string &title, const std::string &body);
