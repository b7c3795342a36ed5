// The station's sender: a thread of its own that takes the records waiting
// in the outbox, oldest first, and POSTs each to the line server, so that a
// slot never waits on the network. A record is acknowledged (its entry goes),
// parked with the line's reason, or tried again after a back-off; the
// outbox lives in the station's database, so whatever is not acknowledged
// is sent after a restart. While the server answers, the station's state
// (its slots as its web page shows them) goes with a heartbeat every few
// seconds.
#pragma once

#include <string>

#include "station/line/line_http.h"
#include "station/line/line_status.h"
#include "station/line/line_url.h"

struct line_settings {
  line_url url;
  line_tls tls;  // how an https:// server is checked
  std::string token;
  std::string station;
  std::string db;  // the station's database, opened again by the sender
};

struct line_sender;

// Reads the station's token: the file's first line, without spaces around.
bool line_read_token(const std::string &path, std::string *token, std::string *why);

// Starts the thread. Null with the reason when the database cannot be opened.
line_sender *line_sender_start(const line_settings &settings, std::string *why);

// A record was committed: look at the outbox now.
void line_sender_wake(line_sender *sender);

// Whether the station should make its state for the line now: shortly
// before each heartbeat, and once a second while one is overdue (the line
// does not answer), never more often.
bool line_sender_wants_state(line_sender *sender);

// The station's state for the heartbeat, as web_state_json gives it.
void line_sender_set_state(line_sender *sender, const std::string &state_json);

// The state as of the last look at the outbox. Safe from any thread.
line_status line_sender_status(line_sender *sender);

// The state, when it changed since *seen was taken (start with 0), and *seen
// taken anew; false, status untouched, when nothing changed. The oldest
// waiting record's age moves without a change.
bool line_sender_status_since(line_sender *sender, unsigned long long *seen, line_status *status);

// Tries the waiting records once more for up to seconds, back-off aside, then
// ends the thread and frees the sender. Returns how many records still wait;
// last, when given, takes the state as the last try left it.
long long line_sender_finish(line_sender *sender, double seconds, line_status *last = nullptr);
