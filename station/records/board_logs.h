// The boards' logs in the logs folder: korvane writes each into a working
// file of its slot, which becomes, once the board is done, a file named
// from the board's serial (or its slot) and its UTC start time. A log is
// never overwritten: a name taken already gets "-2", "-3", ... before ".log".
#pragma once

#include <string>

// Makes the folder when missing and proves that a file can be made in it.
bool logs_folder_ready(const std::string &dir, std::string *why);

// Text made safe for a file name: every character but letters, digits, '.',
// '-' and '_' becomes '_'; no name begins with '.'.
std::string file_name_part(const std::string &text);

// The working file korvane logs into for this slot's cycle number `cycle`;
// each cycle has its own, so that a log that could not be placed is never
// emptied by the next board's korvane.
std::string working_log_path(const std::string &dir, const std::string &slot, long cycle);

// A station killed outright (kill -9, a power cut) leaves its working files
// behind: the empty ones, of slots that had no board yet, are removed at the
// next start, when the process named in them is gone (alive says; two
// stations may share a folder). One with a log in it is kept, since it is
// the only trace of a board that was never recorded. Returns how many went.
int tidy_working_logs(const std::string &dir, bool (*alive)(long pid));

// The log's name without folder and ".log": "SERIAL-20261209T112212Z", or
// "slot-NAME-20261209T112212Z" for a board without a serial.
std::string board_log_stem(const std::string &serial, const std::string &slot,
                           const std::string &started_compact);

// Moves the working file to dir/stem.log, or the first free name after it.
// *placed is the path it now has.
bool place_board_log(const std::string &working, const std::string &dir, const std::string &stem,
                     std::string *placed, std::string *why);
