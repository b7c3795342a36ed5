// The korvane-image command line: pack and verify files, refuse bad input,
// never leave a half-written image behind.
#include "boot_image_format.h"
#include "child_process.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

class ImageTool : public ::testing::Test {
 protected:
  std::string dir;

  void SetUp() override { ASSERT_NE("", dir = temp_dir("korvane-image")); }

  void TearDown() override { remove_tree(dir); }

  std::string path(const char *name) const { return dir + "/" + name; }

  static child_result run(std::vector<std::string> args) {
    args.insert(args.begin(), KORVANE_IMAGE);
    return finish_child(start_child(args, "korvane-image"), "korvane-image", 10.0);
  }

  static void write_bytes(const std::string &p, const std::vector<std::uint8_t> &v) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char *>(v.data()), static_cast<std::streamsize>(v.size()));
  }

  static std::vector<std::uint8_t> read_bytes(const std::string &p) {
    std::string s = read_file(p);
    return std::vector<std::uint8_t>(s.begin(), s.end());
  }

  // What the directory holds, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
      while (dirent *e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
      closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

bool one_line(const std::string &s) {
  return !s.empty() && s.back() == '\n' && s.find('\n') == s.size() - 1;
}

}  // namespace

TEST_F(ImageTool, PacksAndVerifies) {
  write_bytes(path("code.bin"), std::vector<std::uint8_t>(0x783, 0xA5));
  child_result p = run({"pack", path("code.bin"), path("image.bin")});
  ASSERT_EQ(0, p.status) << p.err;
  EXPECT_TRUE(p.err.empty());
  std::vector<std::uint8_t> image = read_bytes(path("image.bin"));
  ASSERT_EQ(2440u, image.size());
  EXPECT_EQ(0xF7, image[0x1F]);
  EXPECT_EQ(0, image[0x983]);  // the padding byte

  child_result v = run({"verify", path("image.bin")});
  EXPECT_EQ(0, v.status) << v.err;
  EXPECT_NE(std::string::npos, v.out.find("0x784 (1924 bytes)")) << v.out;
  EXPECT_NE(std::string::npos, v.out.find("header sum      0xF7\n")) << v.out;
  EXPECT_NE(std::string::npos, v.out.find("extension sum   0xDA\n")) << v.out;
  EXPECT_NE(std::string::npos, v.out.find("OK")) << v.out;
}

TEST_F(ImageTool, VerifyReportsDamageInOneLine) {
  std::vector<std::uint8_t> good = boot_image_pack(std::vector<std::uint8_t>(64, 1).data(), 64);
  struct Case {
    const char *what;
    std::vector<std::uint8_t> image;
    const char *err_has;
  } cases[] = {
      {"flipped code byte", good, "code checksum at 0x240 is 0x10101010, computed 0x10101020"},
      {"truncated", std::vector<std::uint8_t>(good.begin(), good.end() - 1), "gives 580"},
      {"not an image", std::vector<std::uint8_t>(600, 0x20), "image type is 0x20"},
  };
  cases[0].image[0x210] ^= 0x10;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    write_bytes(path("image.bin"), c.image);
    child_result v = run({"verify", path("image.bin")});
    EXPECT_EQ(1, v.status);
    EXPECT_TRUE(one_line(v.err)) << v.err;
    EXPECT_NE(std::string::npos, v.err.find(c.err_has)) << v.err;
    EXPECT_EQ(std::string::npos, v.out.find("OK"));
  }
}

TEST_F(ImageTool, RefusesBadArgumentsAndInput) {
  write_bytes(path("empty.bin"), {});
  write_bytes(path("big.bin"), std::vector<std::uint8_t>(0x791, 0xEA));
  write_bytes(path("code.bin"), std::vector<std::uint8_t>(8, 0xEA));
  mkdir(path("subdir").c_str(), 0755);
  // An image from an earlier pack, which a failed one must leave as it is.
  ASSERT_EQ(0, run({"pack", path("code.bin"), path("image.bin")}).status);
  const std::vector<std::uint8_t> before = read_bytes(path("image.bin"));
  struct Case {
    std::vector<std::string> args;
    const char *err_has;
  } cases[] = {
      {{}, "usage: korvane-image"},
      {{"pack"}, "usage: korvane-image"},
      {{"verify", "a", "b"}, "usage: korvane-image"},
      {{"unpack", "a", "b"}, "usage: korvane-image"},
      {{"pack", path("missing.bin"), path("image.bin")}, "cannot open"},
      {{"pack", path("empty.bin"), path("image.bin")}, "is empty"},
      {{"pack", path("subdir"), path("image.bin")}, "cannot read"},
      {{"pack", path("big.bin"), path("image.bin")}, "too large"},
      {{"pack", path("code.bin"), path("nodir/image.bin")}, "cannot create"},
      {{"pack", path("code.bin"), path("subdir")}, "not a regular file"},
      {{"verify", path("missing.bin")}, "cannot open"},
      {{"verify", path("empty.bin")}, "is empty"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    child_result r = run(c.args);
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(c.err_has)) << r.err;
  }
  // Nothing written, no temporary file left behind.
  EXPECT_EQ((std::vector<std::string>{"big.bin", "code.bin", "empty.bin", "image.bin", "subdir"}),
            entries());
  EXPECT_EQ(before, read_bytes(path("image.bin")));
}

// The output is written only where a regular file may be written; what
// stands there otherwise (a FIFO, a directory, a read-only file, a link) is
// refused and left exactly as it was, a link to a regular file is written
// through, and the output keeps its permissions.
TEST_F(ImageTool, WritesOnlyWhereAnImageMayGo) {
  const std::vector<std::uint8_t> code(8, 0xEA), old_image(16, 0x55);
  write_bytes(path("code.bin"), code);
  enum { FIFO, DIRECTORY, FILE_0444, FILE_0640, LINK_TO_NULL, LINK_TO_FILE, DANGLING_LINK };
  struct Case {
    const char *what;
    int output;
    const char *err;  // after "korvane-image: cannot write <out>: "; empty: packs
    mode_t mode;      // of the file written, or 0
  } cases[] = {
      {"a FIFO", FIFO, "not a regular file", 0},
      {"a directory", DIRECTORY, "not a regular file", 0},
      {"a read-only file", FILE_0444, "Permission denied", 0444},
      {"a link to a device", LINK_TO_NULL, "not a regular file", 0},
      {"a link that leads nowhere", DANGLING_LINK, "No such file or directory", 0},
      {"a file of mode 0640", FILE_0640, "", 0640},
      {"a link to a file of mode 0640", LINK_TO_FILE, "", 0640},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = path("image.bin"), real = path("real.bin");
    switch (c.output) {
      case FIFO:
        ASSERT_EQ(0, mkfifo(out.c_str(), 0644));
        break;
      case DIRECTORY:
        ASSERT_EQ(0, mkdir(out.c_str(), 0755));
        break;
      case FILE_0444:
      case FILE_0640:
        write_bytes(out, old_image);
        chmod(out.c_str(), c.mode);
        break;
      case LINK_TO_NULL:
        ASSERT_EQ(0, symlink("/dev/null", out.c_str()));
        break;
      case DANGLING_LINK:
        ASSERT_EQ(0, symlink(real.c_str(), out.c_str()));
        break;
      case LINK_TO_FILE:
        write_bytes(real, old_image);
        chmod(real.c_str(), c.mode);
        ASSERT_EQ(0, symlink(real.c_str(), out.c_str()));
        break;
    }
    struct stat before;
    ASSERT_EQ(0, lstat(out.c_str(), &before));

    child_result r = run({"pack", path("code.bin"), out});
    struct stat after;
    ASSERT_EQ(0, lstat(out.c_str(), &after));
    EXPECT_EQ(before.st_mode, after.st_mode);
    if (*c.err || S_ISLNK(before.st_mode)) {
      EXPECT_EQ(before.st_ino, after.st_ino);  // the very same, not a copy
    }
    const std::string written = c.output == LINK_TO_FILE ? real : out;
    if (*c.err) {
      EXPECT_EQ(1, r.status);
      EXPECT_EQ("korvane-image: cannot write " + out + ": " + c.err + "\n", r.err);
      if (S_ISREG(after.st_mode)) {
        EXPECT_EQ(old_image, read_bytes(written));
      }
    } else {
      EXPECT_EQ(0, r.status) << r.err;
      EXPECT_EQ(boot_image_pack(code.data(), code.size()), read_bytes(written));
      struct stat st;
      ASSERT_EQ(0, stat(written.c_str(), &st));
      EXPECT_EQ(c.mode, st.st_mode & 07777);
    }
    // Nothing left beside what the case made: no temporary file.
    std::vector<std::string> expected = {"code.bin", "image.bin"};
    if (c.output == LINK_TO_FILE) expected.push_back("real.bin");
    EXPECT_EQ(expected, entries());
    remove_tree(out);
    remove_tree(real);
  }
}
