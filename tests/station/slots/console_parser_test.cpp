// korvane's console text, as it comes in pieces of any size, read as the
// steps of a board's cycle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/slots/console_parser.h"

namespace {

// The events in short: "waiting", "download 42", "start sdram",
// "sdram passed", ... Percentages that came in one piece are given as the
// last alone, so a run of them is shown as its last.
std::vector<std::string> words(const std::vector<console_event> &events) {
  std::vector<std::string> out;
  for (const console_event &e : events) {
    if (e.kind == console_event_kind::downloading && !out.empty() &&
        out.back().compare(0, 9, "download ") == 0) {
      out.pop_back();
    }
    switch (e.kind) {
      case console_event_kind::waiting:
        out.push_back("waiting");
        break;
      case console_event_kind::downloading:
        out.push_back("download " + std::to_string(e.percent));
        break;
      case console_event_kind::test_started:
        out.push_back("start " + e.test);
        break;
      case console_event_kind::test_ended:
        out.push_back(e.test + (e.passed ? " passed" : " failed"));
        break;
    }
  }
  return out;
}

std::vector<std::string> parse_in_pieces(const std::string &text, size_t piece) {
  console_parser p;
  std::vector<console_event> events;
  for (size_t i = 0; i < text.size(); i += piece) console_parse(&p, text.substr(i, piece), &events);
  return words(events);
}

const std::string WAITING = "Waiting for the board to wake up...";
const std::string BLANK_WAITING = "\r" + std::string(35, ' ') + "\r";
const std::string DOWNLOAD = BLANK_WAITING + "Downloading boot code...(  0%)\b\b\b\b\b 50%)" +
                             "\b\b\b\b\b100%)" + "\r" + std::string(31, ' ') + "\r";

struct parse_case {
  const char *name;
  std::string text;
  std::vector<std::string> events;
};

TEST(ConsoleParser, FollowsTheCycleWhateverThePieces) {
  const parse_case cases[] = {
      {"nothing yet", "", {}},
      {"waiting", WAITING, {"waiting"}},
      {"logging note first", "Logging to 'x.log'\n" + WAITING, {"waiting"}},
      {"download", WAITING + DOWNLOAD, {"waiting", "download 100"}},
      {"download begun",
       WAITING + BLANK_WAITING + "Downloading boot code...(  0%)\b\b\b\b\b 10%)",
       {"waiting", "download 10"}},
      {"plain run",
       WAITING + DOWNLOAD + "Testing SDRAM... passed\nTesting FLASH... failed\n",
       {"waiting", "download 100", "start sdram", "sdram passed", "start flash", "flash failed"}},
      {"verbose run with traces",
       WAITING + DOWNLOAD + "Testing SDRAM...\nD0\r\n 0w1\r\n 0r1\r\npassed\n" +
           "Testing FLASH...\nM2c Df1 R80 P95 \r\nSe0\r\nfailed\n",
       {"waiting", "download 100", "start sdram", "sdram passed", "start flash", "flash failed"}},
      {"verdict glued to a trace line",
       "Testing FLASH...\nSe0passed\n",
       {"start flash", "flash passed"}},
      {"continuous run, second pass cut",
       "Testing FLASH...\nSe0\r\npassed\nTesting FLASH...\nSe0\r\npassed\nTesting FLASH...\nSe",
       {"start flash", "flash passed", "start flash", "flash passed", "start flash"}},
      {"words outside a test count for nothing", "passed\nfailed\n", {}},
      {"a cut test never ends", "Testing SDRAM...\nD0\r\n", {"start sdram"}},
  };
  for (const parse_case &c : cases) {
    for (size_t piece : {size_t(1), size_t(3), size_t(7), size_t(4096)}) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      EXPECT_EQ(c.events, parse_in_pieces(c.text, piece));
    }
  }
}

TEST(ConsoleParser, EndlessLineStaysBounded) {
  console_parser p;
  std::vector<console_event> events;
  std::string noise(100000, 'x');
  for (int i = 0; i < 20; i++) console_parse(&p, noise, &events);
  EXPECT_LE(p.line.size(), size_t(200000));
  console_parse(&p, "\nTesting FLASH... passed\n", &events);
  EXPECT_EQ(std::vector<std::string>({"start flash", "flash passed"}), words(events));
}

}  // namespace
