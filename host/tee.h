// Console output that the log file receives as well. Only the test phase
// writes through tee_printf; every other message goes to the console alone.
#pragma once

#include <cstdio>

extern FILE *log_file;

// Opens (creating or emptying) the log file; a log file already open is
// closed first. Returns 1 or 0.
int open_log_file(const char *path);

// Closes the log file if one is open. Returns 0 when something written to
// it did not reach the file (a full disk), else 1.
int close_log_file(void);

// 1 once a write to the open log file has failed, else 0.
int log_file_failed(void);

// The name of the log file, for messages.
const char *log_file_name(void);

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void tee_printf(const char *format, ...);
