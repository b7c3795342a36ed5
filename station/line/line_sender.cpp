#include "station/line/line_sender.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include "korvane/why.h"
#include "korvane/thread_name.h"
#include "station/line/line_answer.h"
#include "station/line/line_http.h"
#include "station/records/board_json.h"
#include "station/records/board_fetch.h"
#include "station/records/outbox_rows.h"
#include "station/records/station_database.h"

using steady = std::chrono::steady_clock;

namespace {

// How long one request may take before the server counts as not answering.
const double POST_TIMEOUT_S = 5;
// How often the station's state goes to the line while it answers; the line
// page shows a station silent for three of these as silent.
const double HEARTBEAT_S = 3;
// The station is asked for its state this long before a heartbeat is due.
const double STATE_LEAD_S = 0.5;
const double STATE_AGAIN_S = 1;
// The outbox's counts are read again at most this often while records flow.
const double COUNT_S = 0.25;

double seconds_since(steady::time_point t) {
  return std::chrono::duration<double>(steady::now() - t).count();
}

}  // namespace

struct line_sender {
  line_settings settings;
  sqlite3 *db = nullptr;
  line_connection *connection = nullptr;
  std::thread thread;
  std::mt19937 random{std::random_device()()};

  std::mutex mutex;  // guards what follows
  std::condition_variable wake;
  bool woken = false;
  bool finishing = false;
  steady::time_point deadline;
  std::string state_json;
  // The next heartbeat's state is asked for from state_due on, and again
  // each STATE_AGAIN_S while no heartbeat takes it (the line does not answer).
  steady::time_point state_due = steady::now();
  steady::time_point state_made;
  line_status status;
  unsigned long long changes = 1;  // counts the changes to status, for the station's loop
  std::string oldest;  // the oldest waiting record's queued time; its age is taken when asked

  // The thread's own.
  int failures = 0;  // tries in a row that failed
  steady::time_point due = steady::now();
  steady::time_point next_heartbeat = steady::now();
  steady::time_point counted;
  // A park since the last count: the parked entries must be counted again.
  // Otherwise an outbox with none waiting needs no count.
  bool parked_since = true;
  outbox_statements outbox;
  board_fetch_statements fetch;
  db_statement read_begin, read_end;  // around the look at the next record
};

namespace {

double age_of(const std::string &utc) {
  std::tm t = {};
  if (utc.size() < 19 || std::sscanf(utc.c_str(), "%d-%d-%dT%d:%d:%d", &t.tm_year, &t.tm_mon,
                                     &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
    return 0;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
#if defined(_WIN32)
  std::time_t then = _mkgmtime(&t);
#else
  std::time_t then = timegm(&t);
#endif
  double age = std::difftime(std::time(nullptr), then);
  return age > 0 ? age : 0;
}

std::string time_of_day(void) {
  std::time_t now = std::time(nullptr);
  std::tm local = {};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[8];
  std::strftime(text, sizeof text, "%H:%M", &local);
  return text;
}

void count(line_sender *s, bool at_once) {
  if (!at_once && seconds_since(s->counted) < COUNT_S) return;
  s->counted = steady::now();
  outbox_counts counts;
  std::string why;
  bool ok = outbox_count(s->db, &counts, &why, &s->outbox);
  if (ok) s->parked_since = false;
  std::lock_guard<std::mutex> lock(s->mutex);
  s->changes++;
  s->status.broken = !ok;
  if (!ok) {
    s->status.problem = why;
    return;
  }
  s->status.waiting = counts.waiting;
  s->oldest = counts.oldest;
  s->status.parked = counts.parked;
  s->status.last_refusal = counts.last_reason;
}

// The outbox was just found with none waiting: without a park since the last
// count, the parked entries are as that count left them and the rest is known.
void none_waiting(line_sender *s) {
  if (s->parked_since) {
    count(s, true);
    return;
  }
  std::lock_guard<std::mutex> lock(s->mutex);
  if (s->status.broken || s->status.waiting) s->changes++;
  s->status.broken = false;
  s->status.waiting = 0;
  s->oldest.clear();
}

bool park(line_sender *s, long long id, const std::string &reason, std::string *why) {
  s->parked_since = true;
  return outbox_park(s->db, id, reason, why, &s->outbox);
}

std::vector<std::pair<std::string, std::string>> headers_of(line_sender *s,
                                                            const std::string &uid) {
  std::vector<std::pair<std::string, std::string>> headers = {
      {"Authorization", "Bearer " + s->settings.token}};
  if (!uid.empty()) headers.push_back({"Idempotency-Key", uid});
  return headers;
}

// A try that got no answer, or one to try again: the next waits its back-off.
void failed(line_sender *s, const std::string &problem, bool unreachable, double retry_after) {
  s->failures++;
  double delay = line_retry_delay(s->failures, retry_after,
                                  std::uniform_real_distribution<double>()(s->random));
  s->due = steady::now() + std::chrono::milliseconds((long long)(delay * 1000));
  std::lock_guard<std::mutex> lock(s->mutex);
  s->changes++;
  if (unreachable && !s->status.unreachable) s->status.down_since = time_of_day();
  s->status.unreachable = unreachable;
  s->status.problem = problem;
  s->status.untrusted.clear();
}

// A post that got no answer: the station refused the server, or could not
// reach it. A refused server is tried again as an unreachable one is, so
// that a certificate put right on the server is taken without a restart.
void not_answered(line_sender *s, const line_reply &reply, const std::string &why) {
  failed(s, why, !reply.untrusted, -1);
  if (!reply.untrusted) return;
  std::lock_guard<std::mutex> lock(s->mutex);
  s->changes++;
  s->status.untrusted = why;
  s->status.problem.clear();
}

void answered(line_sender *s) {
  s->failures = 0;
  std::lock_guard<std::mutex> lock(s->mutex);
  if (s->status.unreachable || !s->status.problem.empty() || !s->status.untrusted.empty())
    s->changes++;
  s->status.unreachable = false;
  s->status.problem.clear();
  s->status.untrusted.clear();
}

double post_timeout(line_sender *s) {
  std::lock_guard<std::mutex> lock(s->mutex);
  if (!s->finishing) return POST_TIMEOUT_S;
  double left = std::chrono::duration<double>(s->deadline - steady::now()).count();
  return left < 0.1 ? 0.1 : left < POST_TIMEOUT_S ? left : POST_TIMEOUT_S;
}

// The oldest waiting entry (id 0 for none) and its board, in one read of
// the database. False when the outbox cannot be read; fetched says whether
// the board could, with why.
bool read_next(line_sender *s, long long *id, board_record *board, bool *fetched,
               std::string *fetch_why, std::string *why) {
  bool begun = sqlite3_step(s->read_begin.get()) == SQLITE_DONE;
  sqlite3_reset(s->read_begin.get());
  bool ok = outbox_next(s->db, id, why, &s->outbox);
  *fetched = ok && *id && board_fetch(s->db, *id, board, fetch_why, &s->fetch);
  if (begun) {
    sqlite3_step(s->read_end.get());
    sqlite3_reset(s->read_end.get());
    // A read left open would keep the log from being checkpointed.
    if (!sqlite3_get_autocommit(s->db)) sqlite3_exec(s->db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  return ok;
}

// Sends the record of board id, read with it (fetched, else why not);
// false when the line did not take it now.
bool send_record(line_sender *s, long long id, const board_record &board, bool fetched,
                 std::string why) {
  if (!fetched) {
    // A row the station cannot read back is parked: sending the next ones
    // matters more than a retry that cannot succeed.
    park(s, id, why, &why);
    return true;
  }
  line_reply reply;
  if (!line_post(s->connection, "/api/v1/records", headers_of(s, board.uid),
                 board_record_json(board).dump(), post_timeout(s), &reply, &why)) {
    not_answered(s, reply, why);
    return false;
  }
  switch (line_verdict_of(reply.status)) {
    case line_verdict::acknowledged:
      answered(s);
      if (!outbox_ack(s->db, id, &why, &s->outbox)) failed(s, why, false, -1);
      return true;
    case line_verdict::parked:
      answered(s);
      if (!park(s, id, line_reason_of(reply.status, reply.body), &why)) failed(s, why, false, -1);
      return true;
    case line_verdict::retry:
      failed(s, reply.status == 401 ? "token refused" : line_reason_of(reply.status, reply.body),
             false, reply.retry_after);
      return false;
  }
  return false;
}

void send_heartbeat(line_sender *s) {
  s->next_heartbeat = steady::now() + std::chrono::milliseconds((long long)(HEARTBEAT_S * 1000));
  nlohmann::json beat = {{"station", s->settings.station}, {"release", KORVANE_VERSION}};
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    beat["waiting"] = s->status.waiting;
    beat["parked"] = s->status.parked;
    nlohmann::json state = nlohmann::json::parse(s->state_json, nullptr, false);
    beat["state"] = state.is_discarded() ? nlohmann::json(nullptr) : state;
    s->state_due = s->next_heartbeat - std::chrono::milliseconds((long long)(STATE_LEAD_S * 1000));
  }
  line_reply reply;
  std::string why;
  if (!line_post(s->connection, "/api/v1/stations/state", headers_of(s, ""), beat.dump(),
                 post_timeout(s), &reply, &why)) {
    not_answered(s, reply, why);
  } else if (reply.status >= 500 || reply.status == 429 || reply.status == 401) {
    failed(s, reply.status == 401 ? "token refused" : line_reason_of(reply.status, reply.body),
           false, reply.retry_after);
  } else {
    answered(s);
  }
}

void run(line_sender *s) {
  name_this_thread("line-sender");
  count(s, true);
  bool flowing = false;  // the last record found was sent
  for (;;) {
    bool finishing;
    {
      std::lock_guard<std::mutex> lock(s->mutex);
      finishing = s->finishing;
      if (finishing && steady::now() >= s->deadline) break;
    }
    steady::time_point now = steady::now();
    long long id = 0;
    std::string why;
    bool ready = finishing || now >= s->due;
    if (ready && !finishing && now >= s->next_heartbeat) {
      send_heartbeat(s);
      continue;
    }
    board_record board;
    bool fetched = false;
    std::string fetch_why;
    bool read = ready && read_next(s, &id, &board, &fetched, &fetch_why, &why);
    if (ready && !read) {
      std::lock_guard<std::mutex> lock(s->mutex);
      s->changes++;
      s->status.broken = true;
      s->status.problem = why;
    }
    if (ready && id) {
      // A record found right after one sent: records flow, and their count
      // is shown, read at most every COUNT_S. A record alone needs none:
      // the outbox is found with none waiting once it is sent.
      if (flowing) count(s, false);
      bool sent = send_record(s, id, board, fetched, fetch_why);
      if (!sent) count(s, true);
      flowing = sent;
      // The last try ends at the first record the line did not take.
      if (!sent && finishing) break;
      continue;
    }
    flowing = false;
    if (read)
      none_waiting(s);
    else
      count(s, true);
    if (finishing) break;
    // Nothing to send now: wait for a record, the heartbeat, or the back-off.
    // Nothing goes out before the back-off ends, the heartbeat neither.
    steady::time_point until = s->due > now ? s->due : s->next_heartbeat;
    std::unique_lock<std::mutex> lock(s->mutex);
    s->wake.wait_until(lock, until, [s] { return s->woken || s->finishing; });
    s->woken = false;
  }
  // What still waits, for the station's last word.
  count(s, true);
}

}  // namespace

bool line_read_token(const std::string &path, std::string *token, std::string *why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return set_why(why, "cannot read the line's token %s", path.c_str());
  std::string line;
  std::getline(in, line);
  const char *space = " \t\r\n";
  size_t first = line.find_first_not_of(space);
  size_t last = line.find_last_not_of(space);
  if (first == std::string::npos) return set_why(why, "no token in %s", path.c_str());
  *token = line.substr(first, last - first + 1);
  return true;
}

line_sender *line_sender_start(const line_settings &settings, std::string *why) {
  line_sender *s = new line_sender;
  s->settings = settings;
  std::string reason;
  s->db = db_connect(settings.db, SQLITE_OPEN_READWRITE, &reason).release();
  if (!s->db) {
    set_why(why, "cannot open the database %s for the line: %s", settings.db.c_str(),
            reason.c_str());
    delete s;
    return nullptr;
  }
  // An acknowledgement lost to a power cut only sends its record again,
  // which the line answers 200: the sender's own changes need not wait for
  // the disk (the records themselves were committed with FULL).
  sqlite3_exec(s->db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
  // The sender reads a few pages per record, and the committer's every commit
  // makes its cached pages stale anyway: a small cache keeps the station's
  // memory small, which every korvane started (a fork) pays for.
  sqlite3_exec(s->db, "PRAGMA cache_size = 32", nullptr, nullptr, nullptr);
  s->read_begin = db_prepare(s->db, "BEGIN", &reason);
  s->read_end = db_prepare(s->db, "COMMIT", &reason);
  s->connection = line_connection_new(settings.url, settings.tls);
  s->status.in_clear = !settings.url.tls && !line_host_is_loopback(settings.url.host);
  s->thread = std::thread(run, s);
  return s;
}

void line_sender_wake(line_sender *s) {
  if (!s) return;
  std::lock_guard<std::mutex> lock(s->mutex);
  s->woken = true;
  s->wake.notify_one();
}

bool line_sender_wants_state(line_sender *s) {
  std::lock_guard<std::mutex> lock(s->mutex);
  return steady::now() >= s->state_due && seconds_since(s->state_made) >= STATE_AGAIN_S;
}

void line_sender_set_state(line_sender *s, const std::string &state_json) {
  if (!s) return;
  std::lock_guard<std::mutex> lock(s->mutex);
  s->state_json = state_json;
  s->state_made = steady::now();
}

line_status line_sender_status(line_sender *s) {
  std::lock_guard<std::mutex> lock(s->mutex);
  line_status status = s->status;
  status.oldest_age_s = age_of(s->oldest);
  return status;
}

bool line_sender_status_since(line_sender *s, unsigned long long *seen, line_status *status) {
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    if (s->changes == *seen) return false;
    *seen = s->changes;
  }
  *status = line_sender_status(s);
  return true;
}

long long line_sender_finish(line_sender *s, double seconds, line_status *last) {
  if (!s) return 0;
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    s->finishing = true;
    s->deadline = steady::now() + std::chrono::milliseconds((long long)(seconds * 1000));
    s->wake.notify_one();
  }
  s->thread.join();
  long long waiting = s->status.waiting;
  if (last) *last = line_sender_status(s);
  line_connection_free(s->connection);
  // The kept statements go before the database they belong to.
  s->outbox = outbox_statements();
  s->fetch = board_fetch_statements();
  s->read_begin.reset();
  s->read_end.reset();
  sqlite3_close(s->db);
  delete s;
  return waiting;
}
