// A korvane child on Linux: what it wrote and how it ended reach the
// station, and a program that cannot be run is said with the system's reason
// instead of a child that never was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "station/slots/station_child.h"
#include "test_files.h"

namespace {

TEST(ChildPosix, StartsOrSaysWhyNot) {
  std::string dir = temp_dir("child-posix");
  std::string plain = dir + "/not-a-program";
  std::ofstream(plain) << "#!/bin/sh\n";
  chmod(plain.c_str(), 0644);
  struct {
    std::string program;
    std::vector<std::string> args;
    int status;
    std::string out, err, why;
  } const cases[] = {
      // Its own group, stdin at its end, its streams apart.
      {"/bin/sh",
       {"-c",
        "test $(cut -d\" \" -f5 /proc/$$/stat) -eq $$ && cat && echo out && echo err >&2; exit 3"},
       3,
       "out\n",
       "err\n",
       ""},
      {plain, {}, -1, "", "", "cannot run " + plain + ": " + std::strerror(EACCES)},
  };
  for (const auto &c : cases) {
    std::string why, out, err;
    station_child *child = child_start(c.program, c.args, &why);
    EXPECT_EQ(c.why, why) << c.program;
    if (!child) continue;
    int status = -1;
    while (child_read(child, &out, &err) || !child_exited(child, &status)) {
    }
    child_end(child);
    EXPECT_EQ(c.status, status) << c.program;
    EXPECT_EQ(c.out, out) << c.program;
    EXPECT_EQ(c.err, err) << c.program;
  }
  remove_tree(dir);
}

}  // namespace
