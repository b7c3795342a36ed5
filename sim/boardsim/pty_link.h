// The simulated board's serial line: a pseudo-terminal whose slave side the
// host opens as its serial port, with optional pacing at a real line rate.
//
// Principles of operation
// - The master side is ours. We also hold a slave descriptor open, opened
//   before the host's, so that a host closing its port does not hang up the
//   line (which would make every read fail at once and the board spin) and
//   so that the host's exclusive-open request still succeeds.
// - Bytes from the host are read as soon as they are written and queued,
//   each stamped with the time it would have finished arriving on a real
//   line (ten bits a byte). Without pacing that time is the time of reading.
// - A byte to the host is written when it would have finished leaving, so
//   a sender that outpaces the line is held back to the line's rate. A byte
//   handed over just after the line went free follows the last one back to
//   back, so that a wake-up that comes late does not slow a stream down.
// - Nothing here spins: waiting is a sleep, or poll on the master with a
//   deadline.
//
// Summary
//   pty_now_ns     steady clock in nanoseconds (the system's monotonic clock)
//   pty_open       make the pseudo-terminal, raw mode, optional symlink
//   pty_close      close it and remove the symlink
//   pty_set_baud   pace both directions at this rate (0: unpaced)
//   pty_pump       queue what the host has written so far
//   pty_peek       the oldest byte that has arrived by now, or -1
//   pty_take       take that byte
//   pty_send       send one byte to the host, paced
//   pty_wait       wait for input or a deadline
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

struct pty_rx_byte {
  uint8_t byte;
  int64_t arrival_ns;
};

struct pty_link {
  int master = -1;
  int slave = -1;
  std::string slave_path;
  std::string link_path;  // empty: no symlink
  int64_t byte_ns = 0;
  int64_t rx_line_free = 0;  // when the incoming line finishes its last byte
  int64_t tx_line_free = 0;
  std::deque<pty_rx_byte> rx;
};

int64_t pty_now_ns();
// False with a reason in why.
bool pty_open(pty_link *link, const char *link_path, std::string *why);
void pty_close(pty_link *link);
void pty_set_baud(pty_link *link, long baud);
void pty_pump(pty_link *link);
int pty_peek(pty_link *link, int64_t now);
int pty_take(pty_link *link, int64_t now);
// Returns the time at which the byte was handed to the host.
int64_t pty_send(pty_link *link, uint8_t byte);
void pty_wait(pty_link *link, int64_t deadline_ns);
