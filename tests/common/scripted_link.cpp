#include "scripted_link.h"

#include "serial_link.h"

#include <cstdio>
#include <deque>
#include <memory>

serial_record serial_log;

static serial_peer peer;
static bool fail_open = false;

// How long every()'s peer talks: long past any bound of the host's, short
// enough that a host that waits for its silence still ends.
static const unsigned long long TALKS_FOR_MS = 3600ull * 1000;

void scripted_link_reset(serial_peer p) {
  serial_log = serial_record();
  peer = std::move(p);
  fail_open = false;
}

void scripted_link_fail_open(void) { fail_open = true; }

serial_peer every(unsigned period_ms, int byte) {
  return [period_ms, byte](unsigned timeout_ms) {
    unsigned long long next = (serial_log.clock_ms / period_ms + 1) * period_ms;
    if (next > TALKS_FOR_MS) return SILENCE;
    if (timeout_ms != 0 && next > serial_log.clock_ms + timeout_ms) return SILENCE;
    serial_log.clock_ms = next;
    return byte;
  };
}

serial_peer replies(std::vector<int> bytes) {
  auto queue = std::make_shared<std::deque<int>>(bytes.begin(), bytes.end());
  return [queue](unsigned) {
    if (queue->empty()) return SILENCE;
    int byte = queue->front();
    queue->pop_front();
    return byte;
  };
}

bool serial_open(int port_number, const char *device_path) {
  serial_log.opened_port = port_number;
  serial_log.opened_path = device_path;
  if (fail_open) {
    std::fprintf(stderr, "Could not open serial port COM%d.\n", port_number);
    return false;
  }
  return true;
}

void serial_configure(unsigned) { serial_log.configured = true; }

void serial_write_byte(unsigned char byte) {
  serial_log.written.push_back(byte);
  serial_log.last_write_ms = serial_log.clock_ms;
}

int serial_read_byte(unsigned timeout_ms) {
  serial_log.read_timeouts.push_back(timeout_ms);
  int byte = peer ? peer(timeout_ms) : SILENCE;
  if (byte != SILENCE) return byte & 0xFF;
  if (timeout_ms == 0) throw script_exhausted();
  serial_log.clock_ms += timeout_ms;
  return 0;
}

void serial_close(void) { serial_log.closed = true; }

unsigned long long serial_clock_ms(void) { return serial_log.clock_ms; }

stream_target serial_stream_target(std::FILE *, const char *, int, const char *) {
  return stream_target::OTHER;
}

const char *serial_port_name(void) { return "COM1"; }
