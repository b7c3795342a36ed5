#include "station/line/line_answer.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace {

const double FIRST_DELAY_S = 1;
const double LONGEST_DELAY_S = 60;
const double LONGEST_ASKED_S = 600;

}  // namespace

line_verdict line_verdict_of(int status) {
  switch (status) {
    case 200:
    case 201:
      return line_verdict::acknowledged;
    case 400:
    case 403:
    case 409:
    case 413:
      return line_verdict::parked;
    default:
      // 401 too: the token is the station's, not the record's, and an
      // administrator may yet add it to the server's file.
      return line_verdict::retry;
  }
}

double line_retry_delay(int failures, double retry_after, double random) {
  double delay = FIRST_DELAY_S;
  for (int i = 1; i < failures && delay < LONGEST_DELAY_S; i++) delay *= 2;
  delay = std::min(delay, LONGEST_DELAY_S);
  delay *= 0.5 + 0.5 * random;
  if (retry_after >= 0) delay = std::max(delay, std::min(retry_after, LONGEST_ASKED_S));
  return delay;
}

std::string line_reason_of(int status, const std::string &body) {
  nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
  if (answer.is_object() && answer.contains("error") && answer["error"].is_string())
    return answer["error"].get<std::string>();
  return "the line answered " + std::to_string(status);
}
