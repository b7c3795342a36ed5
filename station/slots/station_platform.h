// What the station asks of the operating system besides its children and
// its standard input: the signals that end it, where korvane is, the host's
// name, and whether it talks to a terminal. One file per platform.
#pragma once

#include <cstddef>
#include <string>

// From now on Ctrl-C and the other requests to end (termination, a closed
// terminal) are noted instead of ending the station, which then stops every
// korvane and records the boards under test; a reader of its output that
// goes away does not end it either.
void catch_stop_signals(void);
// Whether such a request came.
bool stop_requested(void);

// The korvane program in the station's own folder.
std::string korvane_beside_station(const char *argv0);

// Whether path names a program the station can run.
bool program_runnable(const std::string &path);

// Whether a process of that id runs on this machine.
bool process_alive(long pid);

// The host's name, or "unknown": the name the network knows it by, as the
// system spells it (on Windows the DNS host name, not the upper-case
// NetBIOS name), so that both builds on one host name it alike.
std::string host_name(void);

// A slot's port as its records name it: the port as given, but on Windows a
// number n is COMn, the port korvane.exe opens for it.
std::string port_record_name(const std::string &port);

bool output_is_terminal(void);
// The terminal's width in columns; 0 when unknown.
size_t terminal_columns(void);
// Its height in lines; 0 when unknown.
size_t terminal_lines(void);
bool input_is_terminal(void);
