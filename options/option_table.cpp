#include "korvane/option_table.h"

#include <cstring>

namespace {

// Whether written is one of the row's names: "exact", or for a long name cut
// short, "start".
enum class name_match { none, start, exact };

name_match match_one(const std::string &written, const char *name, size_t length,
                     bool abbreviations) {
  if (written.size() == length && written.compare(0, length, name, length) == 0)
    return name_match::exact;
  bool long_name = length > 2 && name[0] == '-' && name[1] == '-';
  if (abbreviations && long_name && written.size() > 2 && written.size() < length &&
      written.compare(0, written.size(), name, written.size()) == 0)
    return name_match::start;
  return name_match::none;
}

name_match match_row(const std::string &written, const option_entry &entry, bool abbreviations) {
  name_match best = name_match::none;
  for (const char *p = entry.names; *p;) {
    const char *end = std::strstr(p, ", ");
    size_t length = end ? size_t(end - p) : std::strlen(p);
    name_match m = match_one(written, p, length, abbreviations);
    if (m > best) best = m;
    p += end ? length + 2 : length;
  }
  if (entry.also) {
    name_match m = match_one(written, entry.also, std::strlen(entry.also), abbreviations);
    if (m > best) best = m;
  }
  return best;
}

// The row that written names, or -1 for none or for a start that more than
// one row shares.
int find_row(const std::string &written, const std::vector<option_entry> &entries,
             bool abbreviations) {
  int started = -1, starts = 0;
  for (size_t i = 0; i < entries.size(); i++) {
    name_match m = match_row(written, entries[i], abbreviations);
    if (m == name_match::exact) return int(i);
    if (m == name_match::start) {
      started = int(i);
      starts++;
    }
  }
  return starts == 1 ? started : -1;
}

}  // namespace

option_step option_next(int argc, char **argv, const std::vector<option_entry> &entries,
                        const option_rules &rules, option_cursor *cursor, option_outcome *outcome) {
  for (;;) {
    if (cursor->next >= argc) return option_step::end;
    int i = cursor->next++;
    const char *arg = argv[i];
    outcome->row = -1;
    outcome->arg = outcome->last = i;
    outcome->name = arg;
    outcome->value = arg;
    if (!cursor->ended && std::strcmp(arg, "--") == 0) {
      cursor->ended = true;
      continue;
    }
    if (cursor->ended || arg[0] != '-' || arg[1] == '\0') return option_step::argument;
    const char *value = nullptr;
    const char *eq = arg[1] == '-' ? std::strchr(arg, '=') : nullptr;
    if (eq) {
      outcome->name.assign(arg, size_t(eq - arg));
      value = eq + 1;
    }
    outcome->row = find_row(outcome->name, entries, rules.abbreviations);
    if (outcome->row < 0) {
      outcome->fault = option_fault::unknown;
      return option_step::fault;
    }
    const option_entry &entry = entries[size_t(outcome->row)];
    if (!entry.argument && value) {
      outcome->fault = option_fault::unwanted_value;
      return option_step::fault;
    }
    if (entry.argument && !value) {
      if (cursor->next >= argc) {
        outcome->fault = option_fault::missing_value;
        return option_step::fault;
      }
      outcome->last = cursor->next;
      value = argv[cursor->next++];
    }
    outcome->value = value ? value : "";
    return option_step::row;
  }
}

std::string option_usage(const std::vector<option_entry> &entries, size_t help_column) {
  std::string text;
  const std::string indent(help_column, ' ');
  for (const option_entry &s : entries) {
    if (!s.help) continue;
    if (s.heading) text += s.heading;
    std::string head =
        std::string("  ") + s.names + (s.argument ? std::string(" ") + s.argument : "");
    if (head.size() + 1 > help_column) {
      text += head + "\n" + indent;
    } else {
      text += head + std::string(help_column - head.size(), ' ');
    }
    for (const char *c = s.help; *c; c++) {
      text += *c;
      if (*c == '\n') text += indent;
    }
    text += "\n";
  }
  return text;
}

std::string option_synopsis(const std::vector<option_entry> &entries, const std::string &lead,
                            size_t width) {
  std::string text = lead;
  size_t line = lead.size();
  const std::string indent(lead.size() + 1, ' ');
  for (const option_entry &e : entries) {
    if (e.stops) continue;
    std::string item =
        std::string("[") + e.names + (e.argument ? std::string(" ") + e.argument : "") + "]";
    if (line + 1 + item.size() > width) {
      text += "\n" + indent + item;
      line = indent.size() + item.size();
    } else {
      text += " " + item;
      line += 1 + item.size();
    }
  }
  return text + "\n";
}

std::string option_fault_words(const option_outcome &outcome,
                               const std::vector<option_entry> &entries) {
  const char *argument = outcome.row >= 0 ? entries[size_t(outcome.row)].argument : nullptr;
  switch (outcome.fault) {
    case option_fault::unknown:
      return "unknown option " + outcome.name;
    case option_fault::missing_value:
      return outcome.name + " needs its " + argument;
    case option_fault::unwanted_value:
      return outcome.name + " takes no value";
    case option_fault::refused_value:
      if (!outcome.why.empty()) return outcome.why;
      if (!*outcome.value) return outcome.name + " needs its " + argument;
      return std::string("bad value '") + outcome.value + "' for " + outcome.name;
    case option_fault::refused_argument:
      return outcome.why.empty() ? option_stray_words(outcome.value) : outcome.why;
    case option_fault::none:
      break;
  }
  return outcome.why;
}

std::string option_stray_words(const std::string &argument) {
  return "unexpected argument: " + argument;
}
