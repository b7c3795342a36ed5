#include "test_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

static std::string temp_template(const std::string &stem) {
  const char *tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + "-XXXXXX";
}

std::string temp_dir(const std::string &stem) {
  std::string path = temp_template(stem);
  return mkdtemp(&path[0]) ? path : "";
}

std::string temp_file(const std::string &stem) {
  std::string path = temp_template(stem);
  int fd = mkstemp(&path[0]);
  if (fd < 0) return "";
  close(fd);
  return path;
}

void remove_tree(const std::string &path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}
