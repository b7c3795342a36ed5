#include "station/slots/station_clock.h"

#include <chrono>

double steady_now(void) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static std::string utc_format(std::time_t t, const char *format) {
  std::tm parts{};
#if defined(_WIN32)
  gmtime_s(&parts, &t);
#else
  gmtime_r(&t, &parts);
#endif
  char text[32];
  std::strftime(text, sizeof text, format, &parts);
  return text;
}

std::string utc_text(std::time_t t) { return utc_format(t, "%Y-%m-%dT%H:%M:%SZ"); }

std::string utc_compact(std::time_t t) { return utc_format(t, "%Y%m%dT%H%M%SZ"); }
