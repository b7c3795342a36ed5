// What the sender does with the line server's answer to a record, and how
// long it waits before it tries again. Pure functions: the sender's thread
// holds the clock and the randomness.
#pragma once

#include <string>

enum class line_verdict {
  acknowledged,  // 201 stored, 200 stored before (a retry): the entry goes
  parked,        // refused for good (409, 400, 403, 413): kept with the reason
  retry,         // the server cannot take it now, or never answered
};

// The verdict on an HTTP status (0 for no answer at all).
line_verdict line_verdict_of(int status);

// Seconds to wait before the next try after `failures` failed tries in a
// row (1 for the first): one second doubled each time up to a minute, then
// drawn in its upper half by `random` in [0, 1) so that stations that lost
// the server together do not come back together; never less than what the
// server asked with Retry-After (retry_after, -1 for none), up to ten
// minutes.
double line_retry_delay(int failures, double retry_after, double random);

// The line's reason for a refusal, from its JSON answer {"error": "..."}, or
// the status alone.
std::string line_reason_of(int status, const std::string &body);
