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
  const char *fault;  // "FAULT ARG-LAST NAME: WHY", "" when the parse goes through
  const char *taken;  // what the record holds: name|level|flags|plain arguments
};

std::string taken(const record &r) {
  return r.name + "|" + r.level + "|" + (r.flag ? "f" : "") + (r.fast ? "s" : "") +
         (r.fat ? "t" : "") + (r.fatal ? "l" : "") + (r.help ? "h" : "") + "|" + r.plain;
}

std::string fault(const option_outcome &o) {
  const char *names[] = {"none",           "unknown",       "missing_value",
                         "unwanted_value", "refused_value", "refused_argument"};
  return std::string(names[int(o.fault)]) + " " + std::to_string(o.arg) + "-" +
         std::to_string(o.last) + " " + o.name + ": " + o.why;
}

// Parses args (argv[0] added) through ROWS; "" when it goes through, else the
// fault.
std::string parse(std::vector<std::string> args, bool abbreviations, record *r,
                  option_outcome *outcome) {
  args.insert(args.begin(), "program");
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  option_rules rules;
  rules.abbreviations = abbreviations;
  bool ok = option_parse(int(args.size()), argv.data(), ROWS, rules, take_plain, r, outcome);
  EXPECT_EQ(ok, outcome->fault == option_fault::none);
  return ok ? "" : fault(*outcome);
}

TEST(OptionTable, ParseTakesEachKindOfArgumentAndSaysWhereAFaultLies) {
  const parse_case cases[] = {
      {"value apart", {"--name", "x"}, false, "", "x|||"},
      {"value joined", {"--name=x=y"}, false, "", "x=y|||"},
      {"empty value joined", {"--name=", "-f"}, false, "", "||f|"},
      {"value that looks like an option", {"--name", "--flag"}, false, "", "--flag|||"},
      {"unlisted name", {"-n", "x"}, false, "", "x|||"},
      {"short and long name", {"-f", "--flag"}, false, "", "||f|"},
      {"plain arguments", {"a", "-", "--", "--flag", "--"}, false, "", "|||a,-,--flag,--,"},
      {"value missing", {"-f", "--name"}, false, "missing_value 2-2 --name: ", "||f|"},
      {"value to a flag", {"--flag=1"}, false, "unwanted_value 1-1 --flag: ", "|||"},
      {"short name never joined", {"-f=1"}, false, "unknown 1-1 -f=1: ", "|||"},
      {"unknown, without its value", {"--bogus=3"}, false, "unknown 1-1 --bogus: ", "|||"},
      {"nothing before =", {"--=3"}, true, "unknown 1-1 --: ", "|||"},
      {"value refused apart",
       {"a", "--level", "0"},
       false,
       "refused_value 2-3 --level: bad level",
       "|||a,"},
      {"value refused joined",
       {"--level=10"},
       false,
       "refused_value 1-1 --level: bad level",
       "|||"},
      {"plain argument refused",
       {"-f", "refused", "x"},
       false,
       "refused_argument 2-2 refused: no such thing",
       "||f|"},
      {"no cut names unless asked", {"--nam", "x"}, false, "unknown 1-1 --nam: ", "|||"},
      {"cut name", {"--nam", "x", "--le=5"}, true, "", "x|5||"},
      {"cut name two rows share", {"--fa"}, true, "unknown 1-1 --fa: ", "|||"},
      {"cut name one row has", {"--fas"}, true, "", "||s|"},
      {"whole name before a longer one", {"--fat"}, true, "", "||t|"},
      {"a lone dash is plain", {"-"}, true, "", "|||-,"},
      {"a stopping row ends the parse", {"-f", "--help", "--bogus"}, false, "", "||fh|"},
  };
  for (const parse_case &c : cases) {
    SCOPED_TRACE(c.what);
    record r;
    option_outcome outcome;
    EXPECT_EQ(c.fault, parse(c.args, c.abbreviations, &r, &outcome));
    EXPECT_EQ(c.taken, taken(r));
  }
}

TEST(OptionTable, FaultsInTheWordsEveryProgramShares) {
  const struct {
    std::vector<std::string> args;
    const char *words;
  } cases[] = {
      {{"--bogus=3"}, "unknown option --bogus"},
      {{"--name"}, "--name needs its NAME"},
      {{"--flag=1"}, "--flag takes no value"},
      {{"--level", "0"}, "bad level"},
      {{"refused"}, "no such thing"},
  };
  for (const auto &c : cases) {
    record r;
    option_outcome outcome;
    parse(c.args, false, &r, &outcome);
    EXPECT_EQ(c.words, option_fault_words(outcome, ROWS)) << c.args[0];
  }
  EXPECT_EQ("unexpected argument: x", option_stray_words("x"));
}

TEST(OptionTable, SynopsisListsTheRowsThatDoNotStopWithinItsWidth) {
  EXPECT_EQ(
      "prog run [--name NAME] [--level N]\n"
      "         [-f, --flag] [--fast] [--fat]\n"
      "         [--fatal]\n"
      "         [--quiet-but-for-a-long-name]\n",
      option_synopsis(ROWS, "prog run", 38));
}

TEST(OptionTable, ParseCountsEachRowGiven) {
  record r;
  option_outcome outcome;
  ASSERT_EQ("", parse({"-f", "--flag", "--name", "x", "plain"}, false, &r, &outcome));
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
      option_usage(
          std::vector<option_entry>{{"--name", "NAME", "the name", nullptr, nullptr, false}}, 8));
}

}  // namespace
