// The line server's requests, answered without a socket: a record POSTed by
// a station, a station's heartbeat, the line page and its state. The server
// (line_server.cpp) reads a request, hands it here and writes back the answer.
//
//   POST /api/v1/records         201 stored, 200 stored before (the same
//                                content), 409 the same uid with other
//                                content, 401 unknown token, 403 another
//                                station's record, 400 not a record (with the
//                                reason), 413 too large, 503 with
//                                Retry-After while the database cannot take it
//   POST /api/v1/stations/state  204, a station's heartbeat
//   GET /api/v1/serials/SERIAL   a serial's attempts across the line, for a
//                                station's retest limit (SERIAL
//                                percent-encoded): 200 {"serial", "total",
//                                "failed", "attempts": [{"uid", "station",
//                                "slot", "started", "ended", "outcome",
//                                "fault"}, newest first]}, 401 unknown token,
//                                400 no serial, 503 while the database
//                                cannot be read
//   GET /                        the line page; GET /api/v1/line its state
#pragma once

#include <string>
#include <vector>

#include "line/line_stations.h"
#include "line/line_store.h"
#include "line/line_tokens.h"

// How soon a station should try again while the database is unavailable.
constexpr int LINE_RETRY_AFTER_S = 2;

struct line_service {
  std::vector<line_token> tokens;
  line_store *store = nullptr;
  line_stations *stations = nullptr;
};

struct line_request {
  std::string method;
  std::string target;
  std::string authorization;    // the header as sent
  std::string idempotency_key;  // the header as sent
  std::string body;
};

struct line_response {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  int retry_after = -1;  // seconds, -1 for no Retry-After
};

line_response line_answer(line_service *service, const line_request &request);

// A JSON answer {"error": reason} with status.
line_response line_error(int status, const std::string &reason);

// Decodes a URL path's %XX escapes; false for a malformed one.
bool line_url_decode(const std::string &text, std::string *out);
