#include "station/line/line_attempts.h"

#include <cctype>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "korvane/why.h"
#include "korvane/thread_name.h"
#include "station/line/line_answer.h"
#include "station/line/line_http.h"

bool line_failures_parse(const std::string &body, line_failures *out, std::string *why) {
  *out = line_failures();
  nlohmann::json doc = nlohmann::json::parse(body, nullptr, false);
  if (!doc.is_object() || !doc.contains("failed") || !doc["failed"].is_number_integer() ||
      doc["failed"].get<long long>() < 0 || !doc.contains("attempts") ||
      !doc["attempts"].is_array())
    return set_why(why, "the line's answer is not a serial's attempts");
  out->failed = doc["failed"].get<long long>();
  for (const nlohmann::json &a : doc["attempts"]) {
    if (!a.is_object() || a.value("outcome", "") != "failed") continue;
    auto text = [&a](const char *name) {
      return a.contains(name) && a[name].is_string() ? a[name].get<std::string>() : "";
    };
    out->newest.push_back({text("uid"), text("started"), text("fault")});
  }
  return true;
}

failed_attempts line_failures_with(const line_failures &line,
                                   const std::vector<failed_attempt> &unsent) {
  failed_attempts out;
  out.count = line.failed;
  std::set<std::string> known;
  for (const failed_attempt &a : line.newest) known.insert(a.uid);
  std::string newest;
  auto name = [&](const failed_attempt &a) {
    if (!a.fault.empty() && (out.last_fault.empty() || a.started > newest)) {
      out.last_fault = a.fault;
      newest = a.started;
    }
  };
  for (const failed_attempt &a : line.newest) name(a);
  for (const failed_attempt &a : unsent) {
    if (known.count(a.uid)) continue;
    out.count++;
    name(a);
  }
  return out;
}

struct line_attempts {
  line_settings settings;
  line_connection *connection = nullptr;
  std::thread thread;
  std::mutex mutex;  // guards what follows
  std::condition_variable wake;
  bool stopping = false;
  std::deque<line_attempts_reply> asked;
  std::vector<line_attempts_reply> answered;
};

namespace {

// A serial as a path segment: everything but the unreserved characters
// percent-encoded.
std::string path_segment(const std::string &text) {
  static const char HEX[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += (char)c;
    } else {
      out += '%';
      out += HEX[c >> 4];
      out += HEX[c & 15];
    }
  }
  return out;
}

void ask_line(line_attempts *a, line_attempts_reply *r) {
  line_reply reply;
  std::string why;
  if (!line_get(a->connection, "/api/v1/serials/" + path_segment(r->serial),
                {{"Authorization", "Bearer " + a->settings.token}}, LINE_ATTEMPTS_TIMEOUT_S, &reply,
                &why)) {
    r->why = why;
  } else if (reply.status != 200) {
    r->why = reply.status == 401 ? "token refused" : line_reason_of(reply.status, reply.body);
  } else {
    r->answered = line_failures_parse(reply.body, &r->line, &r->why);
  }
}

void run(line_attempts *a) {
  name_this_thread("line-attempts");
  std::unique_lock<std::mutex> lock(a->mutex);
  for (;;) {
    a->wake.wait(lock, [a] { return a->stopping || !a->asked.empty(); });
    if (a->stopping) return;
    line_attempts_reply r = a->asked.front();
    a->asked.pop_front();
    lock.unlock();
    ask_line(a, &r);
    lock.lock();
    a->answered.push_back(r);
    // The questions that waited behind one the line did not answer are
    // not asked again now: their slots would wait a time-out each.
    while (!r.answered && !a->asked.empty()) {
      a->asked.front().why = r.why;
      a->answered.push_back(a->asked.front());
      a->asked.pop_front();
    }
  }
}

}  // namespace

line_attempts *line_attempts_start(const line_settings &settings) {
  line_attempts *a = new line_attempts;
  a->settings = settings;
  a->connection = line_connection_new(settings.url, settings.tls);
  a->thread = std::thread(run, a);
  return a;
}

void line_attempts_ask(line_attempts *a, size_t tag, const std::string &serial) {
  std::lock_guard<std::mutex> lock(a->mutex);
  line_attempts_reply r;
  r.tag = tag;
  r.serial = serial;
  a->asked.push_back(r);
  a->wake.notify_one();
}

std::vector<line_attempts_reply> line_attempts_take(line_attempts *a) {
  std::vector<line_attempts_reply> out;
  if (!a) return out;
  std::lock_guard<std::mutex> lock(a->mutex);
  out.swap(a->answered);
  return out;
}

void line_attempts_stop(line_attempts *a) {
  if (!a) return;
  {
    std::lock_guard<std::mutex> lock(a->mutex);
    a->stopping = true;
    a->wake.notify_one();
  }
  a->thread.join();
  line_connection_free(a->connection);
  delete a;
}
