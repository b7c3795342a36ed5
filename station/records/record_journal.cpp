#include "station/records/record_journal.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <signal.h>
#include <unistd.h>
#endif

#include "korvane/whole_file.h"
#include "korvane/why.h"
#include "station/records/board_json.h"
#include "station/records/board_logs.h"

namespace fs = std::filesystem;

namespace {

const char SUFFIX[] = ".record.json";

// Names sort by when they were written: the time, then a count that no
// other record of this process shares, then the process.
std::string entry_name(const board_record &b) {
  static std::atomic<unsigned long> written{0};
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%012lld-%08lu-%ld", (long long)std::time(nullptr), ++written,
                (long)getpid());
  return std::string(stamp) + "-" + file_name_part(b.slot) + SUFFIX;
}

}  // namespace

std::string journal_folder(const std::string &logs) {
  return (fs::path(logs) / ".journal").string();
}

bool journal_write(const std::string &folder, const std::string &database,
                   const board_record &board, std::string *path, std::string *why) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return set_why(why, "cannot make the journal folder " + folder + ": " + ec.message());
  std::string target = (fs::path(folder) / entry_name(board)).string();
  nlohmann::json doc = board_record_json(board);
  doc["journal_database"] = database;
  doc["journal_writer"] = (long)getpid();
  std::string text = doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::string reason;
  if (!write_whole_file(target, text + "\n", &reason))
    return set_why(why, "cannot write " + target + ": " + reason);
  *path = target;
  return true;
}

std::vector<journal_entry> journal_read(const std::string &folder, std::string *why) {
  std::vector<std::string> paths;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() > sizeof SUFFIX - 1 &&
        name.compare(name.size() - (sizeof SUFFIX - 1), std::string::npos, SUFFIX) == 0)
      paths.push_back(it->path().string());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<journal_entry> out;
  for (const std::string &path : paths) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    journal_entry e;
    e.path = path;
    nlohmann::json doc = nlohmann::json::parse(text.str(), nullptr, false);
    if (doc.is_object()) {
      e.database = doc.value("journal_database", "");
      e.writer = doc.value("journal_writer", 0L);
    }
    if (board_record_from_json(doc, &e.board)) {
      out.push_back(e);
    } else {
      set_why(why, "the journal file " + path + " holds no record");
    }
  }
  return out;
}

bool journal_left_over(const journal_entry &entry, const std::string &database) {
  std::error_code ec;
  fs::path mine = fs::absolute(database, ec).lexically_normal();
  fs::path its = fs::absolute(entry.database, ec).lexically_normal();
  if (mine != its) return false;
#ifndef _WIN32
  // A station still running keeps its own; a process number taken by
  // another program since leaves the entry to a later start.
  if (entry.writer > 0 && entry.writer != (long)getpid() && kill((pid_t)entry.writer, 0) == 0)
    return false;
#endif
  return true;
}
