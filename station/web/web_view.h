// The station's slots as its web page shows them, and the way back: serial
// numbers typed into the page, handed from the web server's thread to the
// station's loop, which gives them to the slots as it does a line typed on
// standard input.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "station/slots/slot_cycle.h"
#include "station/terminal/serial_rules.h"
#include "station/terminal/terminal_view.h"
#include "station/web/web_requests.h"
#include "station/web/web_state.h"

// The slots' state for the page; the elapsed times in whole seconds, so that
// a state changes once a second at most while nothing else happens (the page
// counts the seconds between states itself).
std::vector<web_slot> web_slots_of(const std::vector<slot_state> &slots,
                                   const cycle_settings &settings, double now);

web_header web_header_of(const std::string &station, const station_totals &totals);

struct web_serial {
  std::size_t slot;
  std::string serial;
};

// The serials typed into the page, and the retries asked there, waiting for
// the station's loop.
struct web_inbox {
  std::mutex mutex;
  std::vector<std::string> names;  // the slots', in order; fixed at start
  serial_pattern pattern;          // --serial-pattern; fixed at start
  std::vector<bool> ended;         // the slots that take no more boards
  std::vector<bool> held;          // the slots whose board ended in error
  std::vector<web_serial> waiting;
  std::vector<std::size_t> retries;
};

// The hooks that fill the inbox: a serial for a slot that is not there, or
// that has ended, or that does not match the pattern, is refused at once, as
// is a retry for a slot that is not held; any other is taken.
web_hooks web_inbox_hooks(web_inbox *inbox);

// The serials waiting, in the order they were typed, and the slots to retry;
// marks the slots that ended or are held since the last call.
std::vector<web_serial> web_inbox_take(web_inbox *inbox, const std::vector<slot_state> &slots,
                                       std::vector<std::size_t> *retries);
