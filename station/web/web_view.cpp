#include "station/web/web_view.h"

#include <cmath>

#include "korvane/why.h"

namespace {

// "FAIL SDRAM: data line 5 stuck at 1" is FAIL with the fault named.
void split_verdict(const std::string &text, const char *word, web_slot *shown) {
  shown->verdict = word;
  std::size_t length = shown->verdict.size();
  if (text.compare(0, length, shown->verdict) != 0) {
    shown->detail = text;
    return;
  }
  std::size_t start = text.find_first_not_of(" :", length);
  shown->detail = start == std::string::npos ? "" : text.substr(start);
}

}  // namespace

std::vector<web_slot> web_slots_of(const std::vector<slot_state> &slots,
                                   const cycle_settings &settings, double now) {
  std::vector<web_slot> shown;
  for (const slot_state &s : slots) {
    web_slot w;
    w.name = s.slot.name;
    w.port = s.slot.port;
    w.serial = s.serial;
    w.phase = phase_text(s, settings, now);
    w.busy = s.board_in;
    if (s.phase == slot_phase::downloading) w.percent = s.percent;
    if (s.phase == slot_phase::testing && (settings.passes > 0 || settings.minutes > 0)) {
      w.pass = s.passes_done + 1;
      w.passes = settings.passes;
    }
    double since = s.board_in ? s.started : s.phase_since;
    w.elapsed = std::floor(now - since);
    if (s.phase == slot_phase::port_error ||
        (s.phase == slot_phase::done && !s.port_message.empty())) {
      w.verdict = "ERROR";
      w.detail = s.port_message;
    } else {
      switch (s.verdict) {
        case slot_verdict::none:
          break;
        case slot_verdict::pass:
          split_verdict(s.verdict_text, "PASS", &w);
          break;
        case slot_verdict::fail:
          split_verdict(s.verdict_text, "FAIL", &w);
          break;
        case slot_verdict::error:
          split_verdict(s.verdict_text, "ERROR", &w);
          break;
        case slot_verdict::interrupted:
          split_verdict(s.verdict_text, "INTERRUPTED", &w);
          break;
        case slot_verdict::not_recorded:
          split_verdict(s.verdict_text, "NOT RECORDED", &w);
          break;
        case slot_verdict::hold:
          split_verdict(s.verdict_text, "HOLD", &w);
          break;
      }
    }
    shown.push_back(w);
  }
  return shown;
}

web_header web_header_of(const std::string &station, const station_totals &totals) {
  web_header header;
  header.station = station;
  header.tested = totals.tested;
  header.passed = totals.passed;
  header.failed = totals.failed;
  return header;
}

web_hooks web_inbox_hooks(web_inbox *inbox) {
  web_hooks hooks;
  hooks.take_serial = [inbox](const std::string &name, const std::string &serial,
                              std::string *why) {
    std::lock_guard<std::mutex> lock(inbox->mutex);
    for (std::size_t i = 0; i < inbox->names.size(); ++i) {
      if (inbox->names[i] != name) continue;
      if (i < inbox->ended.size() && inbox->ended[i]) {
        return set_why(why, "slot " + name + " has ended; serial " + serial + " refused");
      }
      inbox->waiting.push_back({i, serial});
      return true;
    }
    return set_why(why, "no slot named " + name + " for serial " + serial);
  };
  return hooks;
}

std::vector<web_serial> web_inbox_take(web_inbox *inbox, const std::vector<slot_state> &slots) {
  std::lock_guard<std::mutex> lock(inbox->mutex);
  inbox->ended.resize(slots.size());
  for (std::size_t i = 0; i < slots.size(); ++i) {
    inbox->ended[i] = slots[i].phase == slot_phase::done;
  }
  std::vector<web_serial> taken;
  taken.swap(inbox->waiting);
  return taken;
}
