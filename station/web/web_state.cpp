#include "station/web/web_state.h"

#include <nlohmann/json.hpp>

std::string web_state_json(const web_header &header, const std::vector<web_slot> &slots,
                           long long time_ms) {
  return web_state_stamped(web_state_content(header, slots), time_ms);
}

std::string web_state_stamped(const std::string &content, long long time_ms) {
  // content is an object, never empty: the time goes in as its last member.
  return content.substr(0, content.size() - 1) + ",\"time_ms\":" + std::to_string(time_ms) + "}";
}

std::string web_state_content(const web_header &header, const std::vector<web_slot> &slots) {
  auto fraction = [](double percent) {
    return percent < 0 ? nlohmann::json(nullptr) : nlohmann::json(percent / 100);
  };
  nlohmann::json document = {
      {"station", header.station},
      {"tested", header.tested},
      {"passed", header.passed},
      {"failed", header.failed},
      {"errors", header.errors},
      {"interrupted", header.interrupted},
      {"not_recorded", header.not_recorded},
      {"slot_errors", header.slot_errors},
      {"yield", fraction(header.first_pass_yield)},
      {"first_pass_yield", fraction(header.first_pass_yield)},
      {"final_yield", fraction(header.final_yield)},
  };
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
        {"next_serial", slot.next_serial},
        {"phase", slot.phase},
        {"percent", slot.percent},
        {"pass", slot.pass},
        {"passes", slot.passes},
        {"seconds", slot.elapsed},
        {"busy", slot.busy},
        {"ended", slot.ended},
        {"held", slot.held},
        {"takes_serial", slot.takes_serial},
        {"verdict", slot.verdict},
        {"detail", slot.detail},
    });
  }
  document["slots"] = std::move(list);
  // Slot names and ports come from the command line in whatever encoding the
  // shell used; replacing what is not UTF-8 keeps dump() from throwing.
  return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
