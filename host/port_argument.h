// The argument of -p when it is no device path: a port number read as atoi
// reads it (blanks, a sign, then the digits up to the first other
// character), so "12abc" is COM12, "abc" COM0 and "-3" COM-3. Two kinds of
// text are refused before anything is opened: a number out of the range of
// int, which atoi would wrap into some other port (4294967297 into COM1),
// and a name with no number in it, most often a device given without its
// directory.
#pragma once

enum port_number_reading {
  PORT_NUMBER,        // *number holds it
  PORT_NO_NUMBER,     // no digits: *number is 0, as atoi gives
  PORT_OUT_OF_RANGE,  // digits beyond int: *number is 0
};

port_number_reading read_port_number(const char *text, int *number);

// False, after printing why, when text names no port worth opening.
bool port_argument_usable(const char *text);
