#include "station/records/record_committer.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include <sys/stat.h>

#include "korvane/thread_name.h"
#include "station/records/record_journal.h"

namespace {

struct waiting_record {
  long ticket = 0;
  board_record board;
  std::string journal;  // its journal file, "" when it could not be written
};

// What identifies the database's file: a file put in its place, or its
// name deleted, is another file (or none).
struct file_identity {
  bool exists = false;
  unsigned long long device = 0, inode = 0;
};

file_identity identity_of(const std::string &path) {
  file_identity id;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    id.exists = true;
    id.device = (unsigned long long)st.st_dev;
    id.inode = (unsigned long long)st.st_ino;
  }
  return id;
}

bool same_file(const file_identity &a, const file_identity &b) {
  // Windows gives no inode; a file SQLite holds open cannot be deleted there.
#ifdef _WIN32
  return a.exists == b.exists;
#else
  return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
#endif
}

}  // namespace

struct record_committer {
  std::mutex lock;
  std::condition_variable wake;
  std::thread thread;
  bool stopping = false;
  double retry_s = 1;

  // Used by the committing thread alone (or the caller of committer_try).
  station_db *db = nullptr;
  std::string db_path;
  file_identity db_file;

  // Under lock.
  std::string journal;
  std::deque<waiting_record> waiting;
  long last_ticket = 0;
  committer_news news;
  bool added = false;
};

namespace {

// Whether the database at db_path is still the one opened: a deleted file
// is waited for; a file put in its place is opened instead of the old one.
bool database_in_place(record_committer *c, std::string *why) {
  file_identity now = identity_of(c->db_path);
  if (same_file(now, c->db_file)) return true;
  if (!now.exists) {
    *why = "the database " + c->db_path + " was deleted under the station";
    return false;
  }
  station_db *reopened = station_db_open(c->db_path, why);
  if (!reopened) {
    *why = "the database " + c->db_path + " was replaced under the station; " + *why;
    return false;
  }
  station_db_close(c->db);
  c->db = reopened;
  c->db_file = identity_of(c->db_path);
  return true;
}

// One record's commit; a record a previous run left may be in already.
bool commit_one(record_committer *c, waiting_record *r, std::string *why) {
  if (!c->db || !database_in_place(c, why)) return false;
  if (r->ticket == 0) {
    bool held = false;
    if (!station_db_holds(c->db, r->board, &held, why)) return false;
    if (held) return true;
  }
  return station_db_commit(c->db, &r->board, why);
}

}  // namespace

record_committer *committer_open(station_db *db, const std::string &db_path,
                                 const std::string &journal) {
  record_committer *c = new record_committer;
  c->db = db;
  c->db_path = db_path;
  c->db_file = identity_of(db_path);
  c->journal = journal;
  std::string why;
  for (journal_entry &e : journal_read(journal, &why)) {
    if (journal_left_over(e, db_path)) c->waiting.push_back({0, e.board, e.path});
  }
  c->news.waiting = c->waiting.size();
  if (!why.empty()) c->news.journal_problem = why;
  return c;
}

long committer_add(record_committer *c, const board_record &board) {
  waiting_record r;
  r.board = board;
  std::string why;
  bool journaled = journal_write(c->journal, c->db_path, board, &r.journal, &why);
  std::lock_guard<std::mutex> hold(c->lock);
  r.ticket = ++c->last_ticket;
  if (!journaled) c->news.journal_problem = why;
  c->waiting.push_back(r);
  c->news.waiting = c->waiting.size();
  c->added = true;
  c->wake.notify_one();
  return r.ticket;
}

void committer_try(record_committer *c) {
  for (;;) {
    waiting_record r;
    {
      std::lock_guard<std::mutex> hold(c->lock);
      c->added = false;
      if (c->waiting.empty()) return;
      r = c->waiting.front();
    }
    std::string why;
    bool committed = commit_one(c, &r, &why);
    if (committed && !r.journal.empty()) std::remove(r.journal.c_str());
    std::lock_guard<std::mutex> hold(c->lock);
    if (!committed) {
      c->news.problem = why;
      return;
    }
    c->waiting.pop_front();
    c->news.waiting = c->waiting.size();
    c->news.problem.clear();
    if (c->waiting.empty()) c->news.journal_problem.clear();
    c->news.committed.push_back({r.ticket, r.board});
  }
}

void committer_run(record_committer *c, double retry_s) {
  c->retry_s = retry_s;
  c->thread = std::thread([c] {
    name_this_thread("records");
    std::unique_lock<std::mutex> hold(c->lock);
    while (!c->stopping) {
      hold.unlock();
      committer_try(c);
      hold.lock();
      if (c->stopping || c->added) continue;
      if (c->waiting.empty()) {
        c->wake.wait(hold, [c] { return c->stopping || c->added; });
      } else {
        c->wake.wait_for(hold, std::chrono::duration<double>(c->retry_s),
                         [c] { return c->stopping || c->added; });
      }
    }
  });
}

committer_news committer_take(record_committer *c) {
  std::lock_guard<std::mutex> hold(c->lock);
  committer_news out = c->news;
  c->news.committed.clear();
  return out;
}

std::vector<board_record> committer_close(record_committer *c, committer_news *last) {
  if (c->thread.joinable()) {
    {
      std::lock_guard<std::mutex> hold(c->lock);
      c->stopping = true;
      c->wake.notify_one();
    }
    c->thread.join();
  }
  committer_try(c);
  *last = committer_take(c);
  std::vector<board_record> left;
  for (const waiting_record &r : c->waiting) left.push_back(r.board);
  station_db_close(c->db);
  delete c;
  return left;
}
