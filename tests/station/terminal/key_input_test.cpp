// The terminal's keys as they come, one by one: what becomes a serial, what
// ends the station, and what is dropped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/terminal/key_input.h"

namespace {

struct keys_at {
  double at;  // steady seconds
  std::string bytes;
};

TEST(KeyInput, KeysBecomeLinesOrEndTheStation) {
  const struct {
    const char *name;
    std::vector<keys_at> typed;
    std::vector<std::string> lines;
    bool quit;
    std::string left;     // still being typed
    std::string dropped;  // stray keys dropped
  } cases[] = {
      {"a scan", {{0, "KV-0007\r"}}, {"KV-0007"}, false, "", ""},
      {"CR LF is one end", {{0, "KV-1\r\nKV-2\n"}}, {"KV-1", "KV-2"}, false, "", ""},
      // A person's q: nothing follows it at once. A scanner's: a burst.
      {"q alone ends once nothing followed", {{0, "q"}, {SCAN_GAP_S + 0.01, ""}}, {}, true, "", ""},
      {"qq typed is no serial", {{0, "q"}, {0.2, "q"}, {0.4, "\n"}}, {}, true, "", ""},
      {"q and Enter at once end", {{0, "q\r"}}, {}, true, "", ""},
      {"a scan read in parts", {{0, "q"}, {0.03, "a-0"}, {0.06, "1\r"}}, {"qa-01"}, false, "", ""},
      {"a scan without Enter", {{0, "qa-1"}, {1, ""}}, {}, false, "qa-1", ""},
      {"q inside a serial is a letter", {{0, "A=qx\n"}}, {"A=qx"}, false, "", ""},
      {"backspace takes back a character, UTF-8 whole",
       {{0,
         "KV-\xc3\xa9\x7f"
         "1\x08"
         "2\n"}},
       {"KV-2"},
       false,
       "",
       ""},
      {"Ctrl-U clears the line", {{0, "junk\x15KV-3\n"}}, {"KV-3"}, false, "", ""},
      {"arrow and function keys dropped whole",
       {{0, "\x1b[A\x1b[15~\x1bOPKV-4\x1b[D\n"}},
       {"KV-4"},
       false,
       "",
       ""},
      {"control keys dropped", {{0, "KV\t-5\x01\n"}}, {"KV-5"}, false, "", ""},
      {"stray keys left long are no start of the next serial",
       {{0, "jjj"}, {KEYS_STALE_S + 1, "KV-6\n"}},
       {"KV-6"},
       false,
       "",
       "jjj"},
      {"a serial typed by hand, slowly",
       {{0, "KV"}, {KEYS_STALE_S / 2, "-7\n"}},
       {"KV-7"},
       false,
       "",
       ""},
      {"a line begun", {{0, "KV-8"}}, {}, false, "KV-8", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    key_line k;
    key_outcome out;
    for (const keys_at &t : c.typed) keys_take(&k, t.bytes, t.at, &out);
    EXPECT_EQ(c.lines, out.lines);
    EXPECT_EQ(c.quit, out.quit);
    EXPECT_EQ(c.left, k.typed);
    EXPECT_EQ(c.dropped, out.dropped);
  }
}

}  // namespace
