// A stand-in for korvane-station that serves the web page over a fixed play
// of slot states, so that the page can be tested in a browser without boards:
//
//   web_station_driver [ADDR:]PORT [TICK_MS]
//
// Four slots: bench-1's boards pass, bench-2's fail with a stuck data line,
// bench-3's end in an error, and bench-4 never gets a board. Each board waits,
// downloads, runs three SDRAM passes and gets its verdict, which it keeps
// while the slot waits for the next board; a serial given meanwhile is the
// next board's. Prints "listening URL" at start
// and "serial SLOT SERIAL" for each serial the page gives; ends when its
// standard input ends.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "station/web/web_server.h"

namespace {

struct driver {
  std::mutex mutex;
  std::vector<web_slot> slots;
  web_header header{"bench station", 0, 0, 0};
};

constexpr int WAIT_TICKS = 20;
constexpr int DOWNLOAD_TICKS = 10;
constexpr int PASS_TICKS = 5;
constexpr int PASSES = 3;
constexpr int CYCLE = WAIT_TICKS + DOWNLOAD_TICKS + 1 + PASSES * PASS_TICKS;

// Slot `index` at `tick` of its cycle; a new board clears the last one.
void play(driver *d, std::size_t index, int tick, double tick_seconds) {
  web_slot &slot = d->slots[index];
  if (index == 3) return;
  // The slots start a few ticks apart, as boards are never loaded at once.
  int at = (tick + static_cast<int>(index) * 4) % CYCLE;
  slot.percent = -1;
  slot.pass = 0;
  slot.passes = 0;
  if (at < WAIT_TICKS) {
    slot.busy = false;
    slot.phase = "waiting for a board";
    return;
  }
  if (at == WAIT_TICKS) {
    // The serial scanned while the verdict showed is the new board's.
    slot.serial = slot.next_serial;
    slot.next_serial.clear();
    slot.verdict.clear();
    slot.detail.clear();
  }
  slot.busy = true;
  slot.elapsed = (at - WAIT_TICKS) * tick_seconds;
  int run = at - WAIT_TICKS;
  if (run <= DOWNLOAD_TICKS) {
    slot.percent = run * 100 / DOWNLOAD_TICKS;
    slot.phase = "downloading " + std::to_string(slot.percent) + "%";
    return;
  }
  int pass = (run - DOWNLOAD_TICKS - 1) / PASS_TICKS + 1;
  slot.phase = "SDRAM pass " + std::to_string(pass) + " of " + std::to_string(PASSES);
  slot.pass = pass;
  slot.passes = PASSES;
  if (at != CYCLE - 1) return;
  slot.busy = false;
  slot.phase = "waiting for a board";
  slot.pass = 0;
  slot.passes = 0;
  d->header.tested += 1;
  if (index == 0) {
    slot.verdict = "PASS";
    d->header.passed += 1;
  } else if (index == 1) {
    slot.verdict = "FAIL";
    slot.detail = "data line 5 stuck at 1";
    d->header.failed += 1;
  } else {
    slot.verdict = "ERROR";
    slot.detail = "port lost";
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: web_station_driver [ADDR:]PORT [TICK_MS]\n");
    return 2;
  }
  int tick_ms = argc == 3 ? std::stoi(argv[2]) : 100;
  driver d;
  for (int i = 1; i <= 4; ++i) {
    web_slot slot;
    slot.name = "bench-" + std::to_string(i);
    slot.port = "/dev/pts/" + std::to_string(40 + i);
    slot.phase = "waiting for a board";
    d.slots.push_back(slot);
  }
  web_hooks hooks;
  hooks.take_serial = [&d](const std::string &name, const std::string &serial, std::string *why) {
    std::lock_guard<std::mutex> lock(d.mutex);
    for (web_slot &slot : d.slots) {
      if (slot.name != name) continue;
      (slot.busy || slot.verdict.empty() ? slot.serial : slot.next_serial) = serial;
      std::printf("serial %s %s\n", name.c_str(), serial.c_str());
      std::fflush(stdout);
      return true;
    }
    *why = "no slot is named " + name;
    return false;
  };
  std::string bound, why;
  web_server *server = web_start(argv[1], hooks, "", "", &bound, &why);
  if (!server) {
    std::fprintf(stderr, "web_station_driver: %s\n", why.c_str());
    return 1;
  }
  std::printf("listening %s\n", bound.c_str());
  std::fflush(stdout);

  std::atomic<bool> done{false};
  std::thread input([&done] {
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    done = true;
  });
  for (int tick = 0; !done; ++tick) {
    {
      std::lock_guard<std::mutex> lock(d.mutex);
      for (std::size_t i = 0; i < d.slots.size(); ++i) {
        play(&d, i, tick, tick_ms / 1000.0);
        web_slot &slot = d.slots[i];
        slot.takes_serial =
            (slot.busy || slot.verdict.empty() ? slot.serial : slot.next_serial).empty();
      }
      web_update(server, d.header, d.slots);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(tick_ms));
  }
  input.join();
  web_stop(server);
  return 0;
}
