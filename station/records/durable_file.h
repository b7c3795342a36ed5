// What was written to an open file made durable, for the run's reports,
// which are written in place (a copy of each, see run_files.h) rather than
// whole each time.
#pragma once

// fsync, or _commit on Windows; false when the system refuses.
bool sync_file(int fd);
