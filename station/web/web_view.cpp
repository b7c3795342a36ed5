#include "station/web/web_view.h"

#include <cmath>

#include "korvane/why.h"

std::vector<web_slot> web_slots_of(const std::vector<slot_state> &slots,
                                   const cycle_settings &settings, double now) {
  std::vector<web_slot> out;
  for (const slot_state &s : slots) {
    slot_shown shown = show_slot(s, settings, now);
    web_slot w;
    w.name = s.slot.name;
    w.port = s.slot.port;
    w.serial = shown.serial;
    w.next_serial = shown.next_serial;
    w.phase = shown.phase;
    w.busy = shown.running;
    w.held = s.phase == slot_phase::error_wait;
    w.takes_serial = slot_takes_serial(s);
    if (s.phase == slot_phase::downloading) w.percent = s.percent;
    if (s.phase == slot_phase::testing && (settings.passes > 0 || settings.minutes > 0)) {
      w.pass = s.passes_done + 1;
      w.passes = settings.passes;
    }
    w.elapsed = std::floor(shown.seconds);
    w.ended = shown.ended;
    w.verdict = shown.word;
    w.detail = shown.detail;
    out.push_back(w);
  }
  return out;
}

web_header web_header_of(const std::string &station, const station_totals &totals) {
  const board_counts &c = totals.counts;
  web_header header;
  header.station = station;
  header.tested = c.tested;
  header.passed = c.passed;
  header.failed = c.failed;
  header.errors = c.errors;
  header.interrupted = c.interrupted;
  header.not_recorded = c.not_recorded;
  header.slot_errors = c.slot_errors;
  header.first_pass_yield = first_pass_yield(c);
  header.final_yield = final_yield(c);
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
      if (!serial_matches(inbox->pattern, serial, why)) return false;
      inbox->waiting.push_back({i, serial});
      return true;
    }
    return set_why(why, "no slot named " + name + " for serial " + serial);
  };
  hooks.retry_slot = [inbox](const std::string &name, std::string *why) {
    std::lock_guard<std::mutex> lock(inbox->mutex);
    for (std::size_t i = 0; i < inbox->names.size(); ++i) {
      if (inbox->names[i] != name) continue;
      if (i >= inbox->held.size() || !inbox->held[i]) {
        return set_why(why, "slot " + name + " is not waiting for a retry");
      }
      inbox->retries.push_back(i);
      return true;
    }
    return set_why(why, "no slot named " + name + " to retry");
  };
  return hooks;
}

std::vector<web_serial> web_inbox_take(web_inbox *inbox, const std::vector<slot_state> &slots,
                                       std::vector<std::size_t> *retries) {
  std::lock_guard<std::mutex> lock(inbox->mutex);
  inbox->ended.resize(slots.size());
  inbox->held.resize(slots.size());
  for (std::size_t i = 0; i < slots.size(); ++i) {
    inbox->ended[i] = slots[i].phase == slot_phase::done;
    inbox->held[i] = slots[i].phase == slot_phase::error_wait;
  }
  std::vector<web_serial> taken;
  taken.swap(inbox->waiting);
  retries->swap(inbox->retries);
  inbox->retries.clear();
  return taken;
}
