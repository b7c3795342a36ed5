// The serial link: the host's one serial port and five byte-level operations
// on it. Every exchange with the board goes through these, one byte a call.
//
// Principles of operation
// - One port per process, held inside the back-end from serial_open to
//   serial_close. The rest of the program never touches the device itself.
// - The line is 8 data bits, no parity, 1 stop bit, raw bytes with no
//   translation and no flow control, DTR and RTS held inactive.
// - A port is named by a number n, "COM<n>" in every message; on POSIX COMn
//   is /dev/ttyS<n-1>. A device path (any name with a '/') is used as given
//   and named by that path.
// - A read waits at most the given milliseconds (0: without limit) and gives
//   0 when nothing came, the same value as a received NUL byte.
// - The port is held for exclusive use while open. On POSIX that is a flag
//   of the device, which outlives the process: it is cleared by
//   serial_close and by every signal that ends the program (Ctrl-C,
//   Ctrl-\, kill, a lost terminal or pipe, a limit, a fault), which then
//   ends it as it would have.
// - A port that goes away while in use (an adapter unplugged, the far end of
//   a pseudo-terminal closed) ends the program through serial_port_lost
//   rather than turning reads into a silent spin.
//
// Summary
//   serial_open       open COM<n>, or device_path when not null; false
//                     (after printing why) when it cannot be used, leaving
//                     a port already open as it was
//   serial_configure  discard pending bytes both ways, set the line settings
//   serial_write_byte send one byte; never times out
//   serial_read_byte  one byte 0..255, or 0 after timeout_ms of silence
//   serial_close      close the port
//   serial_clock_ms   the steady clock that the read time-outs run on
//   serial_stream_target  what device, if any, a stream writes to: the port
//                     that serial_open would open, or a serial device
#pragma once

#include <cstdio>

bool serial_open(int port_number, const char *device_path);
void serial_configure(unsigned baud_rate);
void serial_write_byte(unsigned char byte);
int serial_read_byte(unsigned timeout_ms);
void serial_close(void);

// Milliseconds on a steady clock, the one the read time-outs are measured
// on, so that a wait made of several reads can be bounded as a whole.
unsigned long long serial_clock_ms(void);

// What a stream writes to, as far as the port is concerned. Asked before the
// port is opened, of a log file named as the port (its text would go down
// the line as commands).
enum class stream_target {
  OTHER,        // no serial device
  THE_PORT,     // the device serial_open would open for these arguments
  SERIAL_PORT,  // a serial device that may be the port: no way to tell
};
stream_target serial_stream_target(std::FILE *stream, const char *stream_path, int port_number,
                                   const char *device_path);

// The name the port goes by in messages: "COM<n>" or the device path.
const char *serial_port_name(void);

// Called by the link when the port has gone away. Defined by the program:
// it reports the loss, releases what it holds and ends the process.
[[noreturn]] void serial_port_lost(void);
