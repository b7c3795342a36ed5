// The rules a board's serial number meets before a slot takes it, the same
// wherever it was typed (standard input, the web page): a scanner that
// glitches or a pasted line of junk is refused whole rather than stored.
#pragma once

#include <string>

// At most this many characters (Unicode code points, not bytes).
constexpr int SERIAL_MAX_CHARACTERS = 64;

// True when `serial` is a serial number a slot can take: not empty, valid
// UTF-8, at most SERIAL_MAX_CHARACTERS characters, and no control character
// (C0, DEL or C1). Otherwise false with the reason in *why.
bool serial_is_acceptable(const std::string &serial, std::string *why);
