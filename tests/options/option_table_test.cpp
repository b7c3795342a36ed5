// The option tables' shared parse and usage layout, on a table of its own:
// what each kind of argument becomes and where a fault is said to lie.
#include "korvane/option_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct record {
  std::string name;
  std::string level;
  bool flag = false;
  bool fast = false;
  bool fat = false;
  bool fatal = false;
  bool help = false;
  std::string plain;  // the plain arguments, "," after each
};

const option_row<record> ROWS[] = {
    {"--name", "NAME", "the name", option_text<&record::name>, 0, false, "-n"},
    {"--level", "N", "a level from 1\nto 9",
     [](record *r, const char *value, std::string *why) {
       if (value[0] < '1' || value[0] > '9' || value[1]) {
         *why = "bad level";
         return false;
       }
       r->level = value;
       return true;
     }},
    {"-f, --flag", nullptr, "a flag", option_flag<&record::flag>, 0, false, nullptr, "Flags:\n"},
    {"--fast", nullptr, "fast", option_flag<&record::fast>},
    {"--fat", nullptr, "fat", option_flag<&record::fat>},
    {"--fatal", nullptr, "fatal", option_flag<&record::fatal>},
    {"--quiet-but-for-a-long-name", nullptr, nullptr, option_flag<&record::fast>},
    {"--help", nullptr, "help", option_flag<&record::help>, 0, true, nullptr, "\n"},
};

bool take_plain(record *r, const char *text, std::string *why) {
  if (std::string(text) == "refused") {
    *why = "no such thing";
    return false;
  }
  r->plain += std::string(text) + ",";
  return true;
}

struct parse_case {
  const char *what;
  std::vector<std::string> args;
  bool abbreviations;
  option_fault fault;
  int arg, last;      // where the fault lies
  const char *name;   // the option as written, at a fault
  const char *why;    // the setter's or the handler's reason
  const char *taken;  // what the record holds: name|level|flags|plain
};

std::string taken(const record &r) {
  return r.name + "|" + r.level + "|" + (r.flag ? "f" : "") + (r.fast ? "s" : "") +
         (r.fat ? "t" : "") + (r.fatal ? "l" : "") + (r.help ? "h" : "") + "|" + r.plain;
}

TEST(OptionTable, ParseTakesEachKindOfArgumentAndSaysWhereAFaultLies) {
  const option_fault NONE = option_fault::none, UNKNOWN = option_fault::unknown,
                     MISSING = option_fault::missing_value, UNWANTED = option_fault::unwanted_value,
                     VALUE = option_fault::refused_value, ARGUMENT = option_fault::refused_argument;
  const parse_case cases[] = {
      {"value apart", {"--name", "x"}, false, NONE, 0, 0, "", "", "x|||"},
      {"value joined", {"--name=x=y"}, false, NONE, 0, 0, "", "", "x=y|||"},
      {"empty value joined", {"--name=", "-f"}, false, NONE, 0, 0, "", "", "||f|"},
      {"value that looks like an option",
       {"--name", "--flag"},
       false,
       NONE,
       0,
       0,
       "",
       "",
       "--flag|||"},
      {"unlisted name", {"-n", "x"}, false, NONE, 0, 0, "", "", "x|||"},
      {"short and long name", {"-f", "--flag"}, false, NONE, 0, 0, "", "", "||f|"},
      {"plain arguments in order",
       {"a", "-", "--", "--flag", "--"},
       false,
       NONE,
       0,
       0,
       "",
       "",
       "|||a,-,--flag,--,"},
      {"value missing", {"-f", "--name"}, false, MISSING, 2, 2, "--name", "", "||f|"},
      {"value to a flag", {"--flag=1"}, false, UNWANTED, 1, 1, "--flag", "", "|||"},
      {"short name never joined", {"-f=1"}, false, UNKNOWN, 1, 1, "-f=1", "", "|||"},
      {"unknown name without its value", {"--bogus=3"}, false, UNKNOWN, 1, 1, "--bogus", "", "|||"},
      {"nothing before =", {"--=3"}, true, UNKNOWN, 1, 1, "--", "", "|||"},
      {"value refused apart",
       {"a", "--level", "0"},
       false,
       VALUE,
       2,
       3,
       "--level",
       "bad level",
       "|||a,"},
      {"value refused joined", {"--level=10"}, false, VALUE, 1, 1, "--level", "bad level", "|||"},
      {"plain argument refused",
       {"-f", "refused", "x"},
       false,
       ARGUMENT,
       2,
       2,
       "refused",
       "no such thing",
       "||f|"},
      {"no cut names unless asked", {"--nam", "x"}, false, UNKNOWN, 1, 1, "--nam", "", "|||"},
      {"cut name", {"--nam", "x", "--le=5"}, true, NONE, 0, 0, "", "", "x|5||"},
      {"cut name two rows share", {"--fa"}, true, UNKNOWN, 1, 1, "--fa", "", "|||"},
      {"cut name one row has", {"--fas"}, true, NONE, 0, 0, "", "", "||s|"},
      {"whole name before a longer one", {"--fat"}, true, NONE, 0, 0, "", "", "||t|"},
      {"short names are never cut", {"-"}, true, NONE, 0, 0, "", "", "|||-,"},
      {"a stopping row ends the parse",
       {"-f", "--help", "--bogus"},
       false,
       NONE,
       0,
       0,
       "",
       "",
       "||fh|"},
  };
  for (const parse_case &c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "program");
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    option_rules rules;
    rules.abbreviations = c.abbreviations;
    record r;
    option_outcome outcome;
    bool ok = option_parse(int(args.size()), argv.data(), ROWS, rules, take_plain, &r, &outcome);
    EXPECT_EQ(c.fault == NONE, ok);
    EXPECT_EQ(c.fault, outcome.fault);
    if (!ok) {
      EXPECT_EQ(c.arg, outcome.arg);
      EXPECT_EQ(c.last, outcome.last);
      EXPECT_EQ(c.name, outcome.name);
    }
    EXPECT_EQ(c.why, outcome.why);
    EXPECT_EQ(c.taken, taken(r));
  }
}

TEST(OptionTable, ParseCountsEachRowGiven) {
  std::vector<std::string> args = {"program", "-f", "--flag", "--name", "x", "plain"};
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(&a[0]);
  record r;
  option_outcome outcome;
  ASSERT_TRUE(
      option_parse(int(args.size()), argv.data(), ROWS, option_rules(), take_plain, &r, &outcome));
  EXPECT_EQ((std::vector<int>{1, 0, 2, 0, 0, 0, 0, 0}), outcome.given);
}

TEST(OptionTable, UsageListsEachRowWithItsHelpInOneColumn) {
  EXPECT_EQ(
      "  --name NAME   the name\n"
      "  --level N     a level from 1\n"
      "                to 9\n"
      "Flags:\n"
      "  -f, --flag    a flag\n"
      "  --fast        fast\n"
      "  --fat         fat\n"
      "  --fatal       fatal\n"
      "\n"
      "  --help        help\n",
      option_usage(ROWS, 16));
  EXPECT_EQ(
      "  --name NAME\n"
      "        the name\n",
      option_usage(std::vector<option_spec>{{"--name", "NAME", "the name", nullptr, nullptr}}, 8));
}

}  // namespace
