// A serial's failed attempts asked of the line server, for the retest limit:
// a thread of its own GETs PATH/api/v1/serials/SERIAL with a short time-out,
// so that the slots' loop never waits on the network; the loop takes the
// answers at its next tick. A board moves between stations, so the line's
// records count, with the station's own that the line does not hold yet.
#pragma once

#include <string>
#include <vector>

#include "station/line/line_sender.h"
#include "station/records/failed_attempts.h"

// How long one question may take before the line counts as not answering:
// the slot waits meanwhile.
constexpr double LINE_ATTEMPTS_TIMEOUT_S = 2;

// The line's answer, its failed attempts alone.
struct line_failures {
  long long failed = 0;                // over every attempt the line holds
  std::vector<failed_attempt> newest;  // the failed ones it listed, newest first
};

// Reads the line's document; false with the reason when it is not one.
bool line_failures_parse(const std::string &body, line_failures *out, std::string *why);

// The serial's failed attempts: the line's, and those of the station's own
// records still on their way to it (not among the line's, by uid); the
// fault named is the newest attempt's that named one.
failed_attempts line_failures_with(const line_failures &line,
                                   const std::vector<failed_attempt> &unsent);

struct line_attempts_reply {
  size_t tag = 0;  // as asked: the slot
  std::string serial;
  bool answered = false;  // the line answered; else why says why not
  std::string why;
  line_failures line;
};

struct line_attempts;

line_attempts *line_attempts_start(const line_settings &settings);

// Asks for serial's attempts; the answer comes back from line_attempts_take.
void line_attempts_ask(line_attempts *a, size_t tag, const std::string &serial);

// The answers that came since the last call. Never waits.
std::vector<line_attempts_reply> line_attempts_take(line_attempts *a);

// Ends the thread (a question under way ends at its time-out) and frees it.
void line_attempts_stop(line_attempts *a);
