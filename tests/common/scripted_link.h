// A scripted stand-in for the serial link, linked in place of a real
// back-end by the host tests and the fuzzers. The peer (a receiver, a
// monitor or a fuzzer's input) answers every read; every byte written and
// every read's time-out is recorded. Silence advances a virtual clock by the
// read's time-out, and a peer may advance it to the moment its byte
// arrives, so nothing ever waits for real.
#pragma once

#include <functional>
#include <stdexcept>
#include <vector>

const int SILENCE = -1;

// The peer: called at every read with the read's time-out, returns the byte
// that arrives (0..255) or SILENCE.
typedef std::function<int(unsigned timeout_ms)> serial_peer;

struct serial_record {
  std::vector<unsigned char> written;
  std::vector<unsigned> read_timeouts;
  unsigned long long clock_ms = 0;       // advanced by the time-out of each silent read
  unsigned long long last_write_ms = 0;  // the clock at the latest byte written
  int opened_port = -99;
  const char *opened_path = nullptr;
  bool configured = false;
  bool closed = false;
};

extern serial_record serial_log;

// Thrown when a read without time-out meets silence: the real link would
// wait for ever, a test must end.
struct script_exhausted : std::runtime_error {
  script_exhausted() : std::runtime_error("the script ran out on a read without time-out") {}
};

void scripted_link_reset(serial_peer peer);
// A peer that plays the given bytes in order, SILENCE entries included, and
// then stays silent.
serial_peer replies(std::vector<int> bytes);
// A peer that never stops talking: byte at every whole multiple of
// period_ms on the virtual clock, whatever it is sent (for an hour, so that
// a host that waits for its silence still ends).
serial_peer every(unsigned period_ms, int byte);
// Makes the next serial_open fail.
void scripted_link_fail_open(void);
