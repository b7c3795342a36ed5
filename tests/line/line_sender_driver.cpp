// A station without boards for the line's tests and benchmark: commits
// records to a station database as a station does (each with its outbox
// entry), with the station's own sender taking them to the line, then
// waits until the outbox is empty or the time is up.
//
//   line_sender_driver DB STATION URL TOKEN_FILE RECORDS EVERY_MS WAIT_S
//
// Prints "sent N" or "waiting N" and ends 0 when nothing waits, 1 else.
// RECORDS 0 sends what the outbox already holds.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <sqlite3.h>

#include "station/line/line_sender.h"
#include "station/records/outbox_rows.h"
#include "station/records/station_db.h"

int main(int argc, char **argv) {
  if (argc != 8) {
    fprintf(stderr,
            "usage: line_sender_driver DB STATION URL TOKEN_FILE RECORDS EVERY_MS WAIT_S\n");
    return 2;
  }
  std::string why;
  station_db *db = station_db_open(argv[1], &why);
  line_settings settings;
  settings.station = argv[2];
  settings.db = argv[1];
  if (!db || !line_parse_url(argv[3], &settings.url, &why) ||
      !line_read_token(argv[4], &settings.token, &why)) {
    fprintf(stderr, "line_sender_driver: %s\n", why.c_str());
    return 2;
  }
  station_db_keep_outbox(db);
  line_sender *sender = line_sender_start(settings, &why);
  if (!sender) {
    fprintf(stderr, "line_sender_driver: %s\n", why.c_str());
    return 2;
  }
  long records = std::atol(argv[5]);
  int every_ms = std::atoi(argv[6]);
  for (long i = 0; i < records; i++) {
    board_record b;
    b.serial = settings.station + "-" + std::to_string(i);
    b.slot = "S" + std::to_string(i % 16);
    b.port = "/dev/null";
    b.station = settings.station;
    b.started = "2026-12-09T10:00:00Z";
    b.ended = "2026-12-09T10:01:00Z";
    b.seconds = 60;
    b.outcome = i % 10 == 3 ? board_outcome::failed : board_outcome::passed;
    if (!station_db_commit(db, &b, &why)) {
      fprintf(stderr, "line_sender_driver: %s\n", why.c_str());
      return 2;
    }
    line_sender_wake(sender);
    if (every_ms) std::this_thread::sleep_for(std::chrono::milliseconds(every_ms));
  }
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[7]));
  // The outbox itself, not the sender's last look at it, says what waits.
  sqlite3 *look = nullptr;
  sqlite3_open_v2(argv[1], &look, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_busy_timeout(look, 5000);
  long long waiting = 0;
  for (;;) {
    outbox_counts counts;
    waiting = outbox_count(look, &counts, &why) ? counts.waiting : -1;
    if (!waiting || std::chrono::steady_clock::now() > until) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  sqlite3_close(look);
  line_status s = line_sender_status(sender);
  line_sender_finish(sender, 0);
  station_db_close(db);
  printf(waiting ? "waiting %lld\n" : "sent %lld\n", waiting ? waiting : records);
  if (s.parked) printf("parked %lld: %s\n", s.parked, s.last_refusal.c_str());
  return waiting ? 1 : 0;
}
