#include "station/terminal/serial_rules.h"

#include "korvane/why.h"

namespace {

// Decodes the UTF-8 sequence at text[*at], advancing *at; false on a
// malformed, overlong or surrogate sequence. The database, the JSON report
// and the page all need text they can carry unchanged.
bool next_code_point(const std::string &text, std::size_t *at, unsigned long *code) {
  unsigned char lead = static_cast<unsigned char>(text[*at]);
  int extra = 0;
  unsigned long value = 0;
  unsigned long least = 0;
  if (lead < 0x80) {
    value = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, value = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, value = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, value = lead & 0x07, least = 0x10000;
  } else {
    return false;
  }
  if (text.size() - *at <= static_cast<std::size_t>(extra)) return false;
  for (int i = 1; i <= extra; ++i) {
    unsigned char next = static_cast<unsigned char>(text[*at + i]);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *at += extra + 1;
  *code = value;
  return true;
}

}  // namespace

bool serial_is_acceptable(const std::string &serial, std::string *why) {
  if (serial.empty()) return set_why(why, "empty serial refused");
  if (serial.front() == ' ' || serial.back() == ' ')
    return set_why(why, "serial with a space at its start or end refused");
  int characters = 0;
  for (std::size_t at = 0; at < serial.size();) {
    unsigned long code = 0;
    if (!next_code_point(serial, &at, &code))
      return set_why(why, "serial that is not UTF-8 text refused");
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
      return set_why(why, "serial holding control characters refused");
    ++characters;
  }
  if (characters > SERIAL_MAX_CHARACTERS)
    return set_why(why, "serial longer than %d characters refused", SERIAL_MAX_CHARACTERS);
  return true;
}

bool serial_pattern_make(const std::string &text, serial_pattern *pattern, std::string *why) {
  *pattern = serial_pattern();
  if (text.empty()) return true;
  try {
    pattern->compiled = std::make_shared<const std::regex>(text, std::regex::ECMAScript);
  } catch (const std::regex_error &) {
    return set_why(why, "not a regular expression: %s", text.c_str());
  }
  pattern->text = text;
  return true;
}

bool serial_matches(const serial_pattern &pattern, const std::string &serial, std::string *why) {
  if (!pattern.compiled || std::regex_match(serial, *pattern.compiled)) return true;
  return set_why(why, "serial " + serial + " does not match " + pattern.text + "; refused");
}
