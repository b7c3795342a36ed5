#include "line/line_api.h"

#include <cctype>
#include <ctime>

#include "line/line_page.h"
#include "station/slots/station_clock.h"

line_response line_error(int status, const std::string &reason) {
  line_response r;
  r.status = status;
  r.body = nlohmann::json({{"error", reason}})
               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return r;
}

bool line_url_decode(const std::string &text, std::string *out) {
  out->clear();
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] != '%') {
      *out += text[i];
      continue;
    }
    if (i + 2 >= text.size() || !std::isxdigit((unsigned char)text[i + 1]) ||
        !std::isxdigit((unsigned char)text[i + 2]))
      return false;
    *out += (char)std::stoi(text.substr(i + 1, 2), nullptr, 16);
    i += 2;
  }
  return true;
}

namespace {

const char SERIALS_PATH[] = "/api/v1/serials/";

// The station of the request's token, "" when it has none the line knows.
std::string caller(line_service *service, const line_request &request) {
  const std::string bearer = "Bearer ";
  if (request.authorization.compare(0, bearer.size(), bearer) != 0) return "";
  return line_token_station(service->tokens, request.authorization.substr(bearer.size()));
}

line_response take_record(line_service *service, const line_request &request) {
  std::string station = caller(service, request);
  if (station.empty()) return line_error(401, "unknown token");
  line_record record;
  std::string why;
  if (!line_record_parse(request.body, &record, &why)) return line_error(400, why);
  if (record.board.station != station)
    return line_error(403, "a record of station " + record.board.station + " sent by " + station);
  if (!request.idempotency_key.empty() && request.idempotency_key != record.board.uid)
    return line_error(400, "Idempotency-Key is not the record's uid");
  line_response r;
  switch (line_store_put(service->store, record, utc_text(std::time(nullptr)), &why)) {
    case line_put::stored:
      line_stations_stored(service->stations, record.board);
      r.status = 201;
      r.body = "{\"stored\":true}";
      return r;
    case line_put::same:
      r.status = 200;
      r.body = "{\"stored\":true}";
      return r;
    case line_put::clash:
      return line_error(409, "uid " + record.board.uid + " is stored with other content");
    case line_put::unavailable:
      break;
  }
  r = line_error(503, "the database is unavailable: " + why);
  r.retry_after = LINE_RETRY_AFTER_S;
  return r;
}

line_response take_heartbeat(line_service *service, const line_request &request) {
  std::string station = caller(service, request);
  if (station.empty()) return line_error(401, "unknown token");
  nlohmann::json beat = nlohmann::json::parse(request.body, nullptr, false);
  if (!beat.is_object() || !beat.contains("station") || !beat["station"].is_string())
    return line_error(400, "not a heartbeat");
  if (beat["station"].get<std::string>() != station)
    return line_error(403, "a heartbeat of another station");
  line_stations_heard(service->stations, station, beat);
  line_response r;
  r.status = 204;
  return r;
}

// Any station of the line may read any serial's attempts: a board moves
// between stations.
line_response give_serial(line_service *service, const line_request &request) {
  if (caller(service, request).empty()) return line_error(401, "unknown token");
  std::string path = request.target.substr(sizeof SERIALS_PATH - 1);
  path = path.substr(0, path.find('?'));
  std::string serial;
  if (!line_url_decode(path, &serial) || serial.empty() || serial.find('\0') != std::string::npos)
    return line_error(400, "no serial in the path");
  line_serial_attempts attempts;
  std::string why;
  if (!line_store_serial(service->store, serial, &attempts, &why)) {
    line_response r = line_error(503, "the database is unavailable: " + why);
    r.retry_after = LINE_RETRY_AFTER_S;
    return r;
  }
  nlohmann::json list = nlohmann::json::array();
  for (const line_attempt &a : attempts.newest)
    list.push_back({{"uid", a.uid},
                    {"station", a.station},
                    {"slot", a.slot},
                    {"started", a.started},
                    {"ended", a.ended},
                    {"outcome", a.outcome},
                    {"fault", a.fault}});
  line_response r;
  r.body = nlohmann::json({{"serial", serial},
                           {"total", attempts.total},
                           {"failed", attempts.failed},
                           {"attempts", list}})
               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return r;
}

}  // namespace

line_response line_answer(line_service *service, const line_request &request) {
  const std::string &t = request.target;
  if (t == "/api/v1/records" || t == "/api/v1/stations/state") {
    if (request.method != "POST") return line_error(405, "POST only");
    return t == "/api/v1/records" ? take_record(service, request)
                                  : take_heartbeat(service, request);
  }
  if (request.method != "GET" && request.method != "HEAD") return line_error(405, "GET only");
  if (t.compare(0, sizeof SERIALS_PATH - 1, SERIALS_PATH) == 0)
    return give_serial(service, request);
  line_response r;
  if (t == "/" || t == "/index.html") {
    r.content_type = "text/html; charset=utf-8";
    r.body = LINE_PAGE_HTML;
  } else if (t == "/api/v1/line") {
    r.body = line_stations_json(service->stations);
  } else {
    return line_error(404, "no such page");
  }
  return r;
}
