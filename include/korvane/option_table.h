// A program's command line as one table: a row per option (its names, its
// value, its help text, what it sets), from which both the usage text and the
// parsing follow, so that an option is spelled once. korvane-diagnose,
// boardsim and korvane-station read their command lines through it.
//
// Principles of operation
// - An argument that starts with '-' and is longer than "-" is an option
//   until "--", after which every argument is a plain argument. A long name
//   takes its value as "--name VALUE" or "--name=VALUE"; a short name only
//   as "-n VALUE".
// - A row's setter gets the value (nullptr for a flag) and may refuse it with
//   a reason; plain arguments go, in order, to the program's own handler.
// - The parse never prints: it says what went wrong and where, and the
//   program words it, each in its own texts.
// - One contract for a program's own parse over its table: it returns true
//   to go on, or false with its one-line reason in a `std::string *why` that
//   may be null; --help and --version are fields of its options record, which
//   its main file acts on (usage or version printed, status 0).
//
// Summary
//   option_parse  read a command line through a table into an options record
//   option_usage  the table's part of the usage text
//   option_synopsis  a command's usage line made from its table
//   option_fault_words  the words for a bad command line, one set for all
//   option_text   the setter of a row whose value is kept as given
//   option_word   the same, refusing an empty value
//   option_flag   the setter of a flag
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One option of a program whose options record is T.
template <typename T>
struct option_row {
  const char *names;     // as the usage shows them, ", " between: "-h, --help"
  const char *argument;  // the value's name in the usage; nullptr for a flag
  const char *help;      // may hold line breaks, each further line indented;
                         // nullptr where the usage is a synopsis alone
  bool (*set)(T *options, const char *value, std::string *why);  // false: refused
  int group = 0;                  // the program's own sorting of its options
  bool stops = false;             // the parse ends after it (--help where it acts at once)
  const char *also = nullptr;     // one more name, taken but not shown in the usage
  const char *heading = nullptr;  // text before the row in the usage: a section's title
};

template <typename M>
struct option_member;
template <typename T, typename V>
struct option_member<V T::*> {
  using owner = T;
};

// option_text<&record::field>: the value kept as given, in a std::string or
// const char * field.
template <auto field>
bool option_text(typename option_member<decltype(field)>::owner *options, const char *value,
                 std::string *) {
  options->*field = value;
  return true;
}

// option_word<&record::field>: the same, refused when empty (a path, a
// name), with no reason: the program words the refusal.
template <auto field>
bool option_word(typename option_member<decltype(field)>::owner *options, const char *value,
                 std::string *) {
  options->*field = value;
  return *value != '\0';
}

// option_flag<&record::field>: a bool field set.
template <auto field>
bool option_flag(typename option_member<decltype(field)>::owner *options, const char *,
                 std::string *) {
  options->*field = true;
  return true;
}

// How a program reads what its table does not say.
struct option_rules {
  bool abbreviations = false;  // a long name may be cut to any start no other shares
};

enum class option_fault {
  none,
  unknown,           // no row has that name (or more than one starts with it)
  missing_value,     // the row takes a value, and the option is the last argument
  unwanted_value,    // "--name=VALUE" for a flag
  refused_value,     // the row's setter refused the value
  refused_argument,  // the program's handler refused a plain argument
};

// What the parse found. Indices are into argv.
struct option_outcome {
  option_fault fault = option_fault::none;
  int row = -1;            // the row of the option at fault; -1 for none
  int arg = 0;             // the option or plain argument at fault
  int last = 0;            // the last argument it took: its value's, when given apart
  std::string name;        // the option as written, without "=VALUE"
  const char *value = "";  // the value given, or the plain argument
  std::string why;         // the setter's or the handler's reason
  std::vector<int> given;  // for each row, how many times it was given
};

// The table's rows without their setters, for what does not need them.
struct option_entry {
  const char *names;
  const char *argument;
  const char *help;
  const char *also;
  const char *heading;
  bool stops;
};

// Where a parse stands: the next argument, and whether "--" was passed.
struct option_cursor {
  int next = 1;
  bool ended = false;
};

enum class option_step { row, argument, end, fault };

// One step of the parse: the next option (its row in outcome->row, its value
// in outcome->value), plain argument (in outcome->value), the end, or a fault
// in outcome.
option_step option_next(int argc, char **argv, const std::vector<option_entry> &entries,
                        const option_rules &rules, option_cursor *cursor, option_outcome *outcome);

// The usage lines of the rows that have a help text, each row's help
// starting at help_column (on a line of its own when the names reach it).
std::string option_usage(const std::vector<option_entry> &entries, size_t help_column);

// lead, then "[--name VALUE]" or "[--flag]" for each row that does not stop
// the parse, lines broken before width columns, each further line indented
// under the first option: "Usage: prog cmd [--db PATH] [--csv]\n".
std::string option_synopsis(const std::vector<option_entry> &entries, const std::string &lead,
                            size_t width);

// The words for a bad command line, the same in every program that reads
// its options through a table: "unknown option --x", "--x needs its VALUE"
// (missing, or refused empty), "--x takes no value", "bad value 'V' for
// --x", "unexpected argument: A"; a setter's or handler's own reason as it
// gave it.
std::string option_fault_words(const option_outcome &outcome,
                               const std::vector<option_entry> &entries);

// "unexpected argument: A", for a program that refuses plain arguments
// after the parse.
std::string option_stray_words(const std::string &argument);

template <typename T, size_t N>
std::vector<option_entry> option_entries(const option_row<T> (&rows)[N]) {
  std::vector<option_entry> entries;
  for (const option_row<T> &r : rows)
    entries.push_back({r.names, r.argument, r.help, r.also, r.heading, r.stops});
  return entries;
}

// Reads argv[1..argc-1] into *options: each option through its row's setter,
// each plain argument through argument(options, text, why). True when every
// argument was taken or a row that stops the parse was reached; false with
// outcome->fault and where it lies. outcome->given is filled either way.
template <typename T, size_t N>
bool option_parse(int argc, char **argv, const option_row<T> (&rows)[N], const option_rules &rules,
                  bool (*argument)(T *options, const char *text, std::string *why), T *options,
                  option_outcome *outcome) {
  const std::vector<option_entry> entries = option_entries(rows);
  outcome->given.assign(N, 0);
  option_cursor cursor;
  for (;;) {
    switch (option_next(argc, argv, entries, rules, &cursor, outcome)) {
      case option_step::end:
        return true;
      case option_step::fault:
        return false;
      case option_step::argument:
        if (!argument(options, outcome->value, &outcome->why)) {
          outcome->fault = option_fault::refused_argument;
          return false;
        }
        break;
      case option_step::row: {
        const option_row<T> &row = rows[outcome->row];
        outcome->given[size_t(outcome->row)]++;
        if (!row.set(options, row.argument ? outcome->value : nullptr, &outcome->why)) {
          outcome->fault = option_fault::refused_value;
          return false;
        }
        if (row.stops) return true;
        break;
      }
    }
  }
}

template <typename T, size_t N>
std::string option_usage(const option_row<T> (&rows)[N], size_t help_column) {
  return option_usage(option_entries(rows), help_column);
}

template <typename T, size_t N>
std::string option_synopsis(const option_row<T> (&rows)[N], const std::string &lead, size_t width) {
  return option_synopsis(option_entries(rows), lead, width);
}

template <typename T, size_t N>
std::string option_fault_words(const option_outcome &outcome, const option_row<T> (&rows)[N]) {
  return option_fault_words(outcome, option_entries(rows));
}
