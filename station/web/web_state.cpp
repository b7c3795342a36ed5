#include "station/web/web_state.h"

#include <nlohmann/json.hpp>

std::string web_state_json(const web_header &header, const std::vector<web_slot> &slots,
                           long long time_ms) {
  nlohmann::json document = {
      {"station", header.station}, {"tested", header.tested}, {"passed", header.passed},
      {"failed", header.failed},   {"time_ms", time_ms},
  };
  if (header.tested > 0) {
    document["yield"] = static_cast<double>(header.passed) / header.tested;
  } else {
    document["yield"] = nullptr;
  }
  if (header.line.empty()) {
    document["line"] = nullptr;
  } else {
    document["line"] = header.line;
  }
  nlohmann::json list = nlohmann::json::array();
  for (const web_slot &slot : slots) {
    list.push_back({
        {"slot", slot.name},
        {"port", slot.port},
        {"serial", slot.serial},
        {"phase", slot.phase},
        {"percent", slot.percent},
        {"pass", slot.pass},
        {"passes", slot.passes},
        {"seconds", slot.elapsed},
        {"busy", slot.busy},
        {"verdict", slot.verdict},
        {"detail", slot.detail},
    });
  }
  document["slots"] = std::move(list);
  // Slot names and ports come from the command line in whatever encoding the
  // shell used; replacing what is not UTF-8 keeps dump() from throwing.
  return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
