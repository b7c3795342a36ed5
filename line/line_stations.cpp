#include "line/line_stations.h"

#include <chrono>
#include <ctime>
#include <map>
#include <mutex>

#include "station/slots/station_clock.h"

using steady = std::chrono::steady_clock;

namespace {

struct station_seen {
  bool heard = false;
  steady::time_point at;
  nlohmann::json beat;
};

}  // namespace

struct line_stations {
  line_store *store = nullptr;
  std::mutex mutex;
  std::map<std::string, station_seen> seen;
  std::string day;  // the day the counts are of
  std::map<std::string, line_day_counts> counts;
};

namespace {

// The counts start again from the database at each new day.
void count_day(line_stations *s) {
  std::string today = utc_text(std::time(nullptr)).substr(0, 10);  // YYYY-MM-DD
  if (today == s->day) return;
  std::map<std::string, line_day_counts> counts;
  std::string why;
  if (!line_store_day(s->store, today, &counts, &why)) return;
  s->day = today;
  s->counts = counts;
}

}  // namespace

line_stations *line_stations_new(const std::vector<line_token> &tokens, line_store *store) {
  line_stations *s = new line_stations;
  s->store = store;
  for (const line_token &t : tokens) s->seen[t.station];
  count_day(s);
  return s;
}

void line_stations_free(line_stations *stations) { delete stations; }

void line_stations_heard(line_stations *s, const std::string &station, const nlohmann::json &beat) {
  std::lock_guard<std::mutex> lock(s->mutex);
  station_seen &seen = s->seen[station];
  seen.heard = true;
  seen.at = steady::now();
  seen.beat = beat;
}

void line_stations_stored(line_stations *s, const board_record &board) {
  std::lock_guard<std::mutex> lock(s->mutex);
  if (board.started.compare(0, s->day.size(), s->day) == 0 && !s->day.empty())
    line_day_add(&s->counts, board.station, board_outcome_name(board.outcome), 1);
}

std::string line_stations_json(line_stations *s) {
  std::lock_guard<std::mutex> lock(s->mutex);
  count_day(s);
  nlohmann::json list = nlohmann::json::array();
  for (const auto &entry : s->seen) {
    const station_seen &seen = entry.second;
    const line_day_counts &c = s->counts[entry.first];
    double heard = std::chrono::duration<double>(steady::now() - seen.at).count();
    const nlohmann::json none;
    auto member = [&](const char *name) {
      return seen.beat.is_object() && seen.beat.contains(name) ? seen.beat[name] : none;
    };
    nlohmann::json row = {
        {"station", entry.first},
        {"heard_s", seen.heard ? nlohmann::json((long long)heard) : none},
        {"silent", !seen.heard || heard > LINE_SILENT_S},
        {"waiting", member("waiting")},
        {"parked", member("parked")},
        {"release", member("release")},
        {"tested", c.tested},
        {"passed", c.passed},
        {"failed", c.failed},
        {"yield", c.tested ? nlohmann::json((double)c.passed / (double)c.tested) : none},
        {"state", member("state")},
    };
    list.push_back(row);
  }
  long long ms = (long long)std::time(nullptr) * 1000;
  nlohmann::json document = {{"time_ms", ms}, {"stations", list}};
  return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
