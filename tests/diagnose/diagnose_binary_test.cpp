// The built korvane-diagnose, native or korvane-diagnose.exe under Wine, on
// a table of logs: what it prints on each stream and its exit status, byte
// for byte the same for both builds. The logs are the fuzzer's seeds (logs
// of korvane -v -l against boardsim) and variants of them.
#include "child_process.h"
#include "korvane_program.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::string corpus_log(const std::string &name) {
  return read_file(std::string(DIAGNOSE_CORPUS) + "/" + name);
}

// Every line end made CR LF, as a Windows editor saves the log.
std::string crlf_only(const std::string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

// Every line end made LF, as a Unix tool rewrites the log.
std::string lf_only(const std::string &text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

const std::string USAGE_LINE =
    "Usage: korvane-diagnose [--json | --junit] [--exit-status] [LOGFILE]\n";

TEST(DiagnoseBinary, PrintsTheSameOnEveryBuild) {
  const std::string sound = corpus_log("sound");
  ASSERT_FALSE(sound.empty()) << "no seed logs in " << DIAGNOSE_CORPUS;
  const std::string sound_report = "SDRAM: sound\nFLASH: sound\n";
  struct diagnose_case {
    const char *name;
    std::string log;                // written to a file that @LOG@ names
    std::vector<std::string> args;  // @LOG@ is the log's path
    std::string out, err;           // @LOG@ is the log's path here too
    int status;
  } cases[] = {
      {"sound", sound, {"@LOG@"}, sound_report, "", 0},
      {"data line stuck",
       corpus_log("data_stuck"),
       {"@LOG@"},
       "SDRAM: data line 12 stuck at 1\nFLASH: fourth ID byte 0x95 is not 0x1d, as maker 0x20 "
       "has\n",
       "",
       0},
      {"verdict as the status",
       corpus_log("data_stuck"),
       {"--exit-status", "@LOG@"},
       "SDRAM: data line 12 stuck at 1\nFLASH: fourth ID byte 0x95 is not 0x1d, as maker 0x20 "
       "has\n",
       "",
       24},
      {"flash never ready",
       corpus_log("never_ready"),
       {"@LOG@"},
       "FLASH: never became ready (status 0x80 after the reset)\n",
       "",
       0},
      {"CR LF line ends", crlf_only(sound), {"@LOG@"}, sound_report, "", 0},
      {"LF line ends", lf_only(sound), {"@LOG@"}, sound_report, "", 0},
      {"continuous run cut short",
       corpus_log("continuous_cut"),
       {"@LOG@"},
       "SDRAM: sound in all 2 passes\nFLASH: sound in all 2 passes\n",
       "korvane-diagnose: @LOG@: the last pass was cut short: its SDRAM test, from line 481, is "
       "left "
       "out\n",
       0},
      {"foreign log",
       "# shopping\r\nmilk\r\n",
       {"@LOG@"},
       "",
       "korvane-diagnose: @LOG@: line 1: expected \"Testing SDRAM...\" or \"Testing FLASH...\", "
       "found \"# shopping\"\n",
       1},
      {"bad option", "", {"-x"}, "", "korvane-diagnose: unknown option: -x\n" + USAGE_LINE, 2},
      {"two logs",
       sound,
       {"@LOG@", "@LOG@"},
       "",
       "korvane-diagnose: more than one log file: @LOG@\n" + USAGE_LINE,
       2},
  };

  const std::string dir = temp_dir("diagnose_binary");
  ASSERT_NE("", dir);
  int index = 0;
  for (const diagnose_case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string log_path = dir + "/log" + std::to_string(index++) + ".txt";
    std::ofstream(log_path, std::ios::binary) << c.log;
    auto with_path = [&](std::string s) {
      for (std::size_t at; (at = s.find("@LOG@")) != std::string::npos;) s.replace(at, 5, log_path);
      return s;
    };
    std::vector<std::string> args;
    for (const std::string &a : c.args) args.push_back(with_path(a));
    child_result r = finish_child(
        start_child(program_command(tested_program::diagnose, args), "diagnose"), "diagnose", 20.0);
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ(with_path(c.err), r.err);
  }
  remove_tree(dir);
}

// The help text is several lines on standard output: no CR may creep in.
TEST(DiagnoseBinary, HelpIsPlainLinesOnStandardOutput) {
  child_result r = finish_child(
      start_child(program_command(tested_program::diagnose, {"--help"}), "help"), "help", 20.0);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(0u, r.out.rfind(USAGE_LINE, 0));
  EXPECT_EQ(std::string::npos, r.out.find('\r'));
}

}  // namespace
