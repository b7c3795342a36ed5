#include "pty_link.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What stands at a path: "-" nothing, "file", or "-> target" for a link.
std::string what_is_at(const std::string &path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return "-";
  if (!S_ISLNK(st.st_mode)) return "file";
  char target[PATH_MAX];
  ssize_t n = readlink(path.c_str(), target, sizeof target);
  return "-> " + std::string(target, n > 0 ? size_t(n) : 0);
}

// --link may replace only a link an earlier boardsim left behind, one to a
// pseudo-terminal; whatever else stands there is someone's and stays.
TEST(PtyLink, ReplacesOnlyALeftOverLinkToAPseudoTerminal) {
  struct {
    const char *there;  // "-", "file", or a link's target
    bool opens;
  } cases[] = {
      {"-", true},          {"/dev/pts/4242", true},
      {"/dev/null", false}, {"/dev/pts/../null", false},
      {"/dev/pts/", false}, {"my-notes.txt", false},
      {"file", false},
  };
  const std::string dir = temp_dir("pty-link");
  ASSERT_NE("", dir);
  const std::string path = dir + "/board";
  for (const auto &c : cases) {
    SCOPED_TRACE(c.there);
    const std::string there = c.there;
    if (there == "file") {
      close(open(path.c_str(), O_WRONLY | O_CREAT, 0644));
    } else if (there != "-") {
      ASSERT_EQ(0, symlink(c.there, path.c_str()));
    }
    const std::string before = what_is_at(path);

    pty_link link;
    std::string why;
    EXPECT_EQ(c.opens, pty_open(&link, path.c_str(), &why));
    if (c.opens) {
      EXPECT_EQ("-> " + link.slave_path, what_is_at(path));
    } else {
      EXPECT_EQ("cannot make the link " + path + ": it exists and is no link to a pseudo-terminal",
                why);
      EXPECT_EQ(before, what_is_at(path));
    }
    pty_close(&link);
    EXPECT_EQ(c.opens ? "-" : before, what_is_at(path));
    unlink(path.c_str());
  }
  remove_tree(dir);
}

}  // namespace
