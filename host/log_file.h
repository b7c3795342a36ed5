// The log file of -l, and the console output that it receives as well. Only
// the test phase writes through tee_printf; every other message goes to the
// console alone.
#pragma once

#include <string>

// Opens (creating or emptying) the log file; a log file already open is
// closed first. False, with the reason in *why (may be null), when it cannot
// be opened, a FIFO that nobody reads included: opening it would wait for a
// reader for ever, and text written to it would be lost.
bool open_log_file(const char *path, std::string *why = nullptr);

// Closes the log file if one is open. False, with the reason of the first
// failure in *why (may be null), when something written to it did not reach
// the file (a full disk).
bool close_log_file(std::string *why = nullptr);

bool log_file_is_open(void);

// True once a write to the open log file has failed.
bool log_file_failed(void);

// True, with the reason in *why (may be null), when the open log file is
// the serial port that these arguments of serial_open name, by whatever
// name it was opened (the test text would go down the line as commands), or
// a serial device that cannot be told from it.
bool log_file_is_port(int port_number, const char *device_path, std::string *why = nullptr);

// The name of the log file, for messages.
const char *log_file_name(void);

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void tee_printf(const char *format, ...);
