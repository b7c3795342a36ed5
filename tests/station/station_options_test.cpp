// korvane-station's command line: what it takes and what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/station_options.h"

namespace {

struct options_case {
  const char *name;
  std::vector<std::string> args;
  bool ok;
  std::string why;    // the reason when refused
  std::string slots;  // "name=port,..." when taken
};

std::string slots_text(const station_options &o) {
  std::string out;
  for (const station_slot &s : o.slots) out += (out.empty() ? "" : ",") + s.name + "=" + s.port;
  return out;
}

bool parse(std::vector<std::string> args, station_options *o, std::string *why) {
  args.insert(args.begin(), "korvane-station");
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  return parse_station_options((int)args.size(), argv.data(), o, why);
}

TEST(StationOptions, TakesSlotsAndRefusesBadOnes) {
  const options_case cases[] = {
      {"port alone names its slot", {"/dev/ttyUSB0"}, true, "", "/dev/ttyUSB0=/dev/ttyUSB0"},
      {"named slots in order", {"B=/dev/b", "A=/dev/a"}, true, "", "B=/dev/b,A=/dev/a"},
      {"port with = kept whole", {"A=x=y"}, true, "", "A=x=y"},
      {"no slot", {"--once"}, false, "no slot given", ""},
      {"same name twice", {"A=/dev/a", "A=/dev/b"}, false, "two slots named A", ""},
      {"same port twice", {"A=/dev/a", "B=/dev/a"}, false, "two slots on port /dev/a", ""},
      {"port alone and named on the same port",
       {"/dev/a", "B=/dev/a"},
       false,
       "two slots on port /dev/a",
       ""},
      {"empty name", {"=/dev/a"}, false, "a slot is NAME=PORT or PORT: =/dev/a", ""},
      {"empty port", {"A="}, false, "a slot is NAME=PORT or PORT: A=", ""},
      {"unknown option", {"--fast", "A=/dev/a"}, false, "unknown option --fast", ""},
      {"missing value", {"A=/dev/a", "--db"}, false, "--db needs its PATH", ""},
      {"flag with a value", {"--once=yes", "A=/dev/a"}, false, "--once takes no value", ""},
      {"passes zero",
       {"--passes", "0", "A"},
       false,
       "--passes takes a whole number from 1 to 1000000: 0",
       ""},
      {"passes not a number",
       {"--passes", "3x", "A"},
       false,
       "--passes takes a whole number from 1 to 1000000: 3x",
       ""},
      {"passes negative",
       {"--passes=-2", "A"},
       false,
       "--passes takes a whole number from 1 to 1000000: -2",
       ""},
      {"minutes zero",
       {"--minutes", "0", "A"},
       false,
       "--minutes takes a number of minutes above 0: 0",
       ""},
      {"passes and minutes",
       {"--passes", "2", "--minutes", "1", "A"},
       false,
       "--passes and --minutes exclude each other",
       ""},
      {"bad test", {"--test", "nand", "A"}, false, "--test takes sdram or flash: nand", ""},
      {"serial rules",
       {"--require-serial", "--serial-pattern", "KV-[0-9]{4}", "A"},
       true,
       "",
       "A=A"},
      {"pattern that is none",
       {"--serial-pattern", "KV-[0-9", "A"},
       false,
       "--serial-pattern takes a regular expression: KV-[0-9",
       ""},
      {"max attempts zero",
       {"--max-attempts", "0", "A"},
       false,
       "--max-attempts takes a whole number from 1 to 1000: 0",
       ""},
      {"after -- a slot may look like an option", {"--", "--x"}, true, "", "--x=--x"},
      {"page certificate without its key",
       {"--web", "0", "--web-cert", "c.pem", "A"},
       false,
       "--web-cert and --web-key go together",
       ""},
      {"page certificate without a page",
       {"--web-cert", "c.pem", "--web-key", "k.pem", "A"},
       false,
       "--web-cert and --web-key need --web",
       ""},
  };
  for (const options_case &c : cases) {
    SCOPED_TRACE(c.name);
    station_options o;
    std::string why;
    EXPECT_EQ(c.ok, parse(c.args, &o, &why));
    EXPECT_EQ(c.why, why);
    if (c.ok) {
      EXPECT_EQ(c.slots, slots_text(o));
    }
  }
}

TEST(StationOptions, ValuesReachTheirFields) {
  station_options o;
  std::string why;
  ASSERT_TRUE(parse({"--passes", "10", "--test=flash", "--db", "x.db", "--logs", "l", "--station",
                     "bench 3", "--operator", "Ana", "--once", "--junit", "r.xml", "--json",
                     "r.json", "--korvane", "/opt/korvane", "A=/dev/a"},
                    &o, &why))
      << why;
  EXPECT_EQ(10, o.passes);
  EXPECT_EQ("flash", o.test);
  EXPECT_EQ("x.db", o.db);
  EXPECT_EQ("l", o.logs);
  EXPECT_EQ("bench 3", o.station);
  EXPECT_EQ("Ana", o.operator_name);
  EXPECT_TRUE(o.once);
  EXPECT_EQ("r.xml", o.junit);
  EXPECT_EQ("r.json", o.json);
  EXPECT_EQ("/opt/korvane", o.korvane);

  station_options m;
  ASSERT_TRUE(parse({"--minutes", "0.5", "A"}, &m, &why));
  EXPECT_EQ(0.5, m.minutes);
  station_options d;
  ASSERT_TRUE(parse({"A"}, &d, &why));
  EXPECT_EQ("korvane-station.db", d.db);
  EXPECT_EQ("korvane-logs", d.logs);
}

// How the line is reached: nothing leaves this PC unencrypted unless asked,
// and an https:// line's checks come with an https:// line alone.
TEST(StationOptions, LineIsCheckedOrStaysOnThisPc) {
  const std::string pin = "3fa4b2c0d1e2f30415263748596a7b8c9dae0f1021324354657687980a1b2c3d";
  std::string printed_pin;  // upper case, colons between the bytes
  for (size_t i = 0; i < pin.size(); i += 2)
    printed_pin += (i ? ":" : "") + std::string{(char)toupper(pin[i]), (char)toupper(pin[i + 1])};
  const struct {
    const char *name;
    std::vector<std::string> args;
    std::string why;  // "" when taken
  } cases[] = {
      {"a pin as tools print it", {"--line", "https://line", "--line-pin", printed_pin}, ""},
      {"http beyond this PC when asked", {"--line", "http://10.0.0.5", "--line-insecure"}, ""},
      {"http beyond this PC",
       {"--line", "http://10.0.0.5"},
       "--line http://10.0.0.5 would send the token and the records unencrypted: give "
       "https:// or --line-insecure"},
      {"a short pin",
       {"--line", "https://line", "--line-pin", "3fa4"},
       "--line-pin takes a SHA-256 in 64 hex digits: 3fa4"},
      {"a CA file for http",
       {"--line", "http://127.0.0.1", "--line-ca", "ca.pem"},
       "--line-ca and --line-pin go with an https:// line"},
      {"a CA file and a pin",
       {"--line", "https://line", "--line-ca", "ca.pem", "--line-pin", pin},
       "--line-ca and --line-pin exclude each other"},
      {"insecure https",
       {"--line", "https://line", "--line-insecure"},
       "--line-insecure is for an http:// line; an https:// one is always checked"},
      {"a CA file without a line",
       {"--line-ca", "ca.pem"},
       "--line-ca, --line-pin and --line-insecure go with --line"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = c.args;
    if (args[0] == "--line") args.insert(args.end(), {"--line-token", "t"});
    args.push_back("A");
    station_options o;
    std::string why;
    EXPECT_EQ(c.why.empty(), parse(args, &o, &why));
    EXPECT_EQ(c.why, why);
    if (c.why.empty() && !o.line_pin.empty()) {
      EXPECT_EQ(pin, o.line_pin);
    }
  }
}

TEST(StationOptions, HelpNeedsNoSlotAndNamesEveryOption) {
  station_options o;
  std::string why;
  ASSERT_TRUE(parse({"--help"}, &o, &why));
  EXPECT_TRUE(o.help);
  std::string usage = station_usage();
  for (const char *name : {"--passes N", "--minutes M", "--test sdram|flash", "--db PATH",
                           "--logs DIR", "--station NAME", "--operator NAME", "--once",
                           "--junit FILE", "--json FILE", "--korvane PATH", "--line URL",
                           "--line-ca FILE", "--line-pin SHA256", "--line-insecure", "--help"}) {
    EXPECT_NE(std::string::npos, usage.find(name)) << name;
  }
  size_t start = 0;
  while (start < usage.size()) {
    size_t end = usage.find('\n', start);
    EXPECT_LE(end - start, size_t(80)) << usage.substr(start, end - start);
    start = end + 1;
  }
}

}  // namespace
