// The rules a board's serial number meets before a slot takes it, the same
// wherever it was typed (standard input, the web page): a scanner that
// glitches or a pasted line of junk is refused whole rather than stored.
#pragma once

#include <memory>
#include <regex>
#include <string>

// At most this many characters (Unicode code points, not bytes).
constexpr int SERIAL_MAX_CHARACTERS = 64;

// True when `serial` is a serial number a slot can take: not empty, valid
// UTF-8, at most SERIAL_MAX_CHARACTERS characters, and no control character
// (C0, DEL or C1), and no space at either end (a scanner's stray space, or
// one typed by hand, would make two serials of one board). Otherwise false
// with the reason in *why.
bool serial_is_acceptable(const std::string &serial, std::string *why);

// A pattern every serial must match whole (--serial-pattern): an ECMAScript
// regular expression. Empty: none.
struct serial_pattern {
  std::string text;
  std::shared_ptr<const std::regex> compiled;
};

// False with the reason when text is not a regular expression.
bool serial_pattern_make(const std::string &text, serial_pattern *pattern, std::string *why);

// True when there is no pattern or the serial matches it whole; else false
// with the reason ("serial KV-12 does not match ^KV-[0-9]{4}$; refused").
bool serial_matches(const serial_pattern &pattern, const std::string &serial, std::string *why);
