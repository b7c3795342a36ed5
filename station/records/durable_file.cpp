#include "station/records/durable_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "korvane/why.h"

namespace {

// Not inherited by the korvane children: "e" (O_CLOEXEC), or the Windows
// run-time's "N".
#ifdef _WIN32
const char WRITE_PRIVATE[] = "wbN";
#else
const char WRITE_PRIVATE[] = "wbe";
#endif

#ifndef _WIN32
// A rename is durable once the folder that holds the name is.
void sync_folder_of(const std::string &path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}
#endif

}  // namespace

bool sync_file(int fd) {
#ifdef _WIN32
  return _commit(fd) == 0;
#else
  return fsync(fd) == 0;
#endif
}

bool replace_file_durably(const std::string &path, const std::string &contents, std::string *why) {
  std::string temporary = path + ".tmp";
  FILE *out = fopen(temporary.c_str(), WRITE_PRIVATE);
  if (!out) return set_why(why, "cannot write %s: %s", path.c_str(), strerror(errno));
  bool written = fwrite(contents.data(), 1, contents.size(), out) == contents.size() &&
                 fflush(out) == 0 && sync_file(fileno(out));
  int error = errno;
  if (fclose(out) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written) {
#ifdef _WIN32
    written = MoveFileExA(temporary.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!written) error = EACCES;
#else
    written = rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) error = errno;
    if (written) sync_folder_of(path);
#endif
  }
  if (!written) {
    remove(temporary.c_str());
    set_why(why, "cannot write %s: %s", path.c_str(), strerror(error));
  }
  return written;
}
