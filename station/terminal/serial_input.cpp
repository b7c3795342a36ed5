#include "station/terminal/serial_input.h"

#include "station/terminal/serial_rules.h"
#include "korvane/why.h"

serial_line read_serial_line(const std::string &line, const std::vector<std::string> &slot_names,
                             const std::vector<bool> &takes_bare, size_t *slot, std::string *serial,
                             std::string *why) {
  std::string text = line;
  // A scanner on a Windows console or a serial line ends its lines in CR LF.
  while (!text.empty() && text.back() == '\r') text.pop_back();
  if (text.empty()) return serial_line::empty;

  size_t target = slot_names.size();
  const std::string RETRY = "retry ";
  if (text.compare(0, RETRY.size(), RETRY) == 0) {
    std::string name = text.substr(RETRY.size());
    for (size_t i = 0; i < slot_names.size(); i++) {
      if (slot_names[i] == name) target = i;
    }
    if (target == slot_names.size()) {
      set_why(why, "no slot named " + name + " to retry");
      return serial_line::refused;
    }
    *slot = target;
    return serial_line::retry;
  }
  size_t eq = text.find('=');
  if (eq != std::string::npos) {
    std::string name = text.substr(0, eq);
    for (size_t i = 0; i < slot_names.size(); i++) {
      if (slot_names[i] == name) target = i;
    }
    if (target == slot_names.size()) {
      set_why(why, "no slot named " + name + " for serial " + text.substr(eq + 1));
      return serial_line::refused;
    }
    text.erase(0, eq + 1);
  }
  if (!serial_is_acceptable(text, why)) return serial_line::refused;
  if (target == slot_names.size()) {
    for (size_t i = 0; i < slot_names.size() && target == slot_names.size(); i++) {
      if (i < takes_bare.size() && takes_bare[i]) target = i;
    }
    if (target == slot_names.size()) {
      set_why(why, "no slot takes a serial now; give NAME=SERIAL for " + text);
      return serial_line::refused;
    }
  }
  *slot = target;
  *serial = text;
  return serial_line::assigned;
}
