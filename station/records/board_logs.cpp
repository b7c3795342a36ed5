#include "station/records/board_logs.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include "korvane/why.h"

namespace fs = std::filesystem;

// Names are tried this many times before a log counts as unplaceable.
static const int MAX_NAME_TRIES = 1000;

bool logs_folder_ready(const std::string &dir, std::string *why) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir, ec))
    return set_why(why, "cannot make the logs folder " + dir + (ec ? ": " + ec.message() : ""));
  std::string probe = working_log_path(dir, "probe", 0);
  FILE *f = std::fopen(probe.c_str(), "wb");
  if (!f || std::fclose(f) != 0) return set_why(why, "cannot write in the logs folder " + dir);
  std::remove(probe.c_str());
  return true;
}

std::string file_name_part(const std::string &text) {
  std::string out;
  for (char c : text) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_' || (c == '.' && !out.empty());
    out += plain ? c : '_';
  }
  return out;
}

std::string working_log_path(const std::string &dir, const std::string &slot, long cycle) {
  // The station's process id keeps two stations on one folder apart.
  return (fs::path(dir) / (".korvane-station-" + std::to_string(getpid()) + "-" +
                           file_name_part(slot) + "-" + std::to_string(cycle) + ".log"))
      .string();
}

int tidy_working_logs(const std::string &dir, bool (*alive)(long pid)) {
  const std::string prefix = ".korvane-station-";
  std::error_code ec;
  int removed = 0;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    char *rest = nullptr;
    long pid = std::strtol(name.c_str() + prefix.size(), &rest, 10);
    if (pid <= 0 || *rest != '-' || alive(pid)) continue;
    std::error_code size_ec;
    if (fs::file_size(it->path(), size_ec) != 0 || size_ec) continue;
    if (fs::remove(it->path(), size_ec)) removed++;
  }
  return removed;
}

std::string board_log_stem(const std::string &serial, const std::string &slot,
                           const std::string &started_compact) {
  if (!serial.empty()) return file_name_part(serial) + "-" + started_compact;
  return "slot-" + file_name_part(slot) + "-" + started_compact;
}

bool place_board_log(const std::string &working, const std::string &dir, const std::string &stem,
                     std::string *placed, std::string *why) {
  std::error_code ec;
  for (int n = 1; n <= MAX_NAME_TRIES; n++) {
    std::string name = stem + (n > 1 ? "-" + std::to_string(n) : "") + ".log";
    fs::path target = fs::path(dir) / name;
    // A hard link is made only where no file is: a log of the same name,
    // by this station or another on the same folder, is never replaced.
    fs::create_hard_link(working, target, ec);
    if (!ec) {
      fs::remove(working, ec);
      *placed = target.string();
      return true;
    }
    if (ec != std::errc::file_exists) break;
  }
  return set_why(
      why, "cannot name the log " + stem + ".log in " + dir + (ec ? ": " + ec.message() : ""));
}
