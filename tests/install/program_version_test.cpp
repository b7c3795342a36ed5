// Every program but korvane (whose command line is fixed, its version in its
// usage text) answers --version with its name and the release in VERSION.
#include "child_process.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The release as the tree keeps it: the first line of VERSION.
std::string release() {
  std::string text = read_file(VERSION_FILE);
  return text.substr(0, text.find('\n'));
}

TEST(ProgramVersion, EveryProgramPrintsItsNameAndTheRelease) {
  const struct {
    const char *name;
    const char *path;
  } programs[] = {
      {"korvane-diagnose", DIAGNOSE_PROGRAM},
      {"korvane-image", IMAGE_PROGRAM},
      {"boardsim", BOARDSIM_PROGRAM},
#ifdef STATION_PROGRAM  // a build without SQLite or Boost has no station
      {"korvane-station", STATION_PROGRAM},
#endif
  };
  ASSERT_NE("", release());
  for (const auto &p : programs) {
    SCOPED_TRACE(p.name);
    child_result r = finish_child(start_child({p.path, "--version"}, p.name), p.name, 10.0);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(std::string(p.name) + " " + release() + "\n", r.out);
    EXPECT_EQ("", r.err);
  }
}

}  // namespace
