#include "korvane/whole_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "korvane/why.h"

namespace {

bool fail(std::string *why, whole_file_step *step, whole_file_step failed, int error) {
  if (step) *step = failed;
  return set_why(why, "%s", std::strerror(error));
}

// Writes all of data to fd and makes it durable. Returns 0, or the errno of
// the failure.
int write_all(int fd, const unsigned char *data, size_t size) {
  size_t done = 0;
  while (done < size) {
#if defined(_WIN32)
    unsigned chunk = size - done > (1u << 30) ? (1u << 30) : unsigned(size - done);
    int n = _write(fd, data + done, chunk);
#else
    ssize_t n = write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n <= 0) return n < 0 ? errno : EIO;
    done += size_t(n);
  }
#if defined(_WIN32)
  return _commit(fd) != 0 ? errno : 0;
#else
  return fsync(fd) != 0 ? errno : 0;
#endif
}

// The file that will be replaced (a link's target) and the permissions the
// new one takes; false with the reason for a path that may not be.
bool target_of(const std::string &path, std::string *target, int *mode, int *error) {
  *target = path;
  struct stat st;
#if defined(_WIN32)
  bool exists = stat(path.c_str(), &st) == 0;
#else
  bool exists = lstat(path.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    char *resolved = realpath(path.c_str(), nullptr);
    if (!resolved) {
      *error = errno;
      return false;
    }
    *target = resolved;
    std::free(resolved);
    exists = stat(target->c_str(), &st) == 0;
  }
#endif
  if (!exists) {
#if defined(_WIN32)
    *mode = _S_IREAD | _S_IWRITE;
#else
    mode_t mask = umask(0);
    umask(mask);
    *mode = int(0666 & ~mask);
#endif
    return true;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = -1;
    return false;
  }
#if !defined(_WIN32)
  // Write bits are looked at as well as access(): it lets root write anything.
  if (access(target->c_str(), W_OK) != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    *error = EACCES;
    return false;
  }
#endif
  *mode = int(st.st_mode & 07777);
  return true;
}

#if defined(_WIN32)
// The system's own words for a Windows error, without the line end.
std::string windows_reason(DWORD code) {
  char text[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.')) text[--n] = 0;
  return n ? std::string(text) : "error " + std::to_string(code);
}
#endif

}  // namespace

bool write_whole_file(const std::string &path, const void *data, size_t size, std::string *why,
                      whole_file_step *step) {
  std::string target;
  int mode = 0, error = 0;
  if (!target_of(path, &target, &mode, &error)) {
    if (step) *step = whole_file_step::write;
    return error < 0 ? set_why(why, "not a regular file")
                     : set_why(why, "%s", std::strerror(error));
  }
#if defined(_WIN32)
  std::string temporary = target + ".part";
  int fd = _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, mode);
  if (fd < 0) return fail(why, step, whole_file_step::create, errno);
#else
  std::string pattern = target + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return fail(why, step, whole_file_step::create, errno);
  std::string temporary = name.data();
  error = fchmod(fd, mode_t(mode)) != 0 ? errno : 0;
#endif
  if (!error) error = write_all(fd, static_cast<const unsigned char *>(data), size);
#if defined(_WIN32)
  if (_close(fd) != 0 && !error) error = errno;
  if (!error) {
    // rename refuses to replace a file on Windows.
    if (!MoveFileExA(temporary.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      std::string reason = windows_reason(GetLastError());
      _unlink(temporary.c_str());
      if (step) *step = whole_file_step::write;
      return set_why(why, reason);
    }
  }
#else
  if (close(fd) != 0 && !error) error = errno;
  if (!error && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
#endif
  if (error) {
    std::remove(temporary.c_str());
    return fail(why, step, whole_file_step::write, error);
  }
  return true;
}
