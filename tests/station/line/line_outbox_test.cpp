// The station's side of the line without a network: what each answer does
// to a record, how long the sender waits before it tries again, the line's
// state in words, the line's URL, and the outbox's rows in the station's
// database through their states.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include "station/line/line_answer.h"
#include "station/line/line_attempts.h"
#include "station/line/line_status.h"
#include "station/line/line_url.h"
#include "station/records/board_fetch.h"
#include "station/records/outbox_rows.h"
#include "station/records/station_db.h"
#include "test_files.h"

namespace {

TEST(LineAnswer, EachStatusActsOnTheRecord) {
  const struct {
    int status;
    line_verdict verdict;
  } cases[] = {
      {201, line_verdict::acknowledged}, {200, line_verdict::acknowledged},
      {409, line_verdict::parked},       {400, line_verdict::parked},
      {403, line_verdict::parked},       {413, line_verdict::parked},
      {401, line_verdict::retry},        {429, line_verdict::retry},
      {500, line_verdict::retry},        {503, line_verdict::retry},
      {0, line_verdict::retry},          {404, line_verdict::retry},
  };
  for (const auto &c : cases) EXPECT_EQ(c.verdict, line_verdict_of(c.status)) << c.status;
}

TEST(LineAnswer, RetryDelayDoublesWithJitterAndHonoursRetryAfter) {
  const struct {
    int failures;
    double retry_after, random, low, high;
  } cases[] = {
      {1, -1, 0, 0.5, 0.5},      // the first wait, drawn lowest
      {1, -1, 0.999, 0.99, 1},   // and highest
      {4, -1, 0.999, 7.9, 8},    // doubled three times
      {30, -1, 0.999, 59, 60},   // capped at a minute
      {1, 2, 0, 2, 2},           // Retry-After above the back-off
      {30, 5, 0.999, 59, 60},    // the back-off above Retry-After
      {1, 100000, 0, 600, 600},  // an absurd Retry-After capped
  };
  for (const auto &c : cases) {
    double d = line_retry_delay(c.failures, c.retry_after, c.random);
    EXPECT_GE(d, c.low) << c.failures << " " << c.retry_after;
    EXPECT_LE(d, c.high) << c.failures << " " << c.retry_after;
  }
}

TEST(LineAnswer, RefusalReasonFromTheBody) {
  EXPECT_EQ("uid clash", line_reason_of(409, "{\"error\":\"uid clash\"}"));
  EXPECT_EQ("the line answered 400", line_reason_of(400, "<html>"));
}

// The line's count of a serial's failed attempts with the station's own on
// their way to it: each attempt counted once, whether the line holds it
// yet or not, and the fault of the newest that named one.
TEST(LineAttempts, LineAndUnsentCountedOnce) {
  const std::string line_doc =
      R"({"serial": "KV-7", "total": 4, "failed": 3, "attempts": [)"
      R"({"uid": "u3", "outcome": "failed", "started": "2026-12-09T12:00:00Z", "fault": ""},)"
      R"({"uid": "u2", "outcome": "error", "started": "2026-12-09T11:00:00Z", "fault": ""},)"
      R"({"uid": "u1", "outcome": "failed", "started": "2026-12-09T10:00:00Z",)"
      R"( "fault": "data line 5 stuck at 1"}]})";
  const struct {
    const char *name;
    std::string body;
    std::vector<failed_attempt> unsent;
    bool parsed;
    long long count;
    std::string fault;
  } cases[] = {
      {"the line's alone, the newest naming a fault",
       line_doc,
       {},
       true,
       3,
       "data line 5 stuck at 1"},
      {"one on its way, not on the line yet",
       line_doc,
       {{"u9", "2026-12-09T13:00:00Z", "flash: the chip's ID is wrong"}},
       true,
       4,
       "flash: the chip's ID is wrong"},
      {"sent meanwhile: on the line and still in the outbox",
       line_doc,
       {{"u1", "2026-12-09T10:00:00Z", "data line 5 stuck at 1"}},
       true,
       3,
       "data line 5 stuck at 1"},
      {"an older one on its way keeps the newer fault",
       line_doc,
       {{"u0", "2026-12-09T09:00:00Z", "address line 3 floating"}},
       true,
       4,
       "data line 5 stuck at 1"},
      {"not JSON", "<html>", {}, false, 0, ""},
  };
  for (const auto &c : cases) {
    line_failures line;
    std::string why;
    ASSERT_EQ(c.parsed, line_failures_parse(c.body, &line, &why)) << c.name;
    if (!c.parsed) continue;
    failed_attempts a = line_failures_with(line, c.unsent);
    EXPECT_EQ(c.count, a.count) << c.name;
    EXPECT_EQ(c.fault, a.last_fault) << c.name;
  }
}

TEST(LineStatus, TextSaysWhatWaitsAndWhy) {
  line_status down;
  down.waiting = 37;
  down.oldest_age_s = 245;
  down.unreachable = true;
  down.down_since = "10:42";
  line_status refused;
  refused.parked = 2;
  refused.last_refusal = "uid clash";
  line_status token;
  token.waiting = 1;
  token.oldest_age_s = 3;
  token.problem = "token refused";
  line_status untrusted;
  untrusted.untrusted = "certificate for 10.0.0.5 not trusted: certificate has expired";
  line_status in_clear;
  in_clear.in_clear = true;
  const struct {
    line_status status;
    const char *text;
  } cases[] = {
      {line_status(), "line: all sent"},
      {down, "line: 37 waiting, oldest 4 min (server unreachable since 10:42)"},
      {refused, "line: 2 refused: uid clash"},
      {token, "line: 1 waiting, oldest 3 s (token refused)"},
      // A refused server is never hidden behind "all sent".
      {untrusted, "line: certificate for 10.0.0.5 not trusted: certificate has expired"},
      {in_clear, "line (not encrypted): all sent"},
  };
  for (const auto &c : cases) EXPECT_EQ(c.text, line_status_text(c.status));
  // A new record waiting changes the text, not the kind of state.
  line_status more = down;
  more.waiting = 38;
  EXPECT_EQ(line_status_key(down), line_status_key(more));
  EXPECT_NE(line_status_key(down), line_status_key(line_status()));
}

TEST(LineUrl, TakesHttpAndHttps) {
  const struct {
    const char *text;
    bool ok;
    const char *host, *port, *path;
    bool tls, loopback;
  } cases[] = {
      {"http://line:8470", true, "line", "8470", "", false, false},
      {"http://10.0.0.5/korvane/", true, "10.0.0.5", "80", "/korvane", false, false},
      {"http://[::1]:9000", true, "::1", "9000", "", false, true},
      {"http://LocalHost:9000", true, "LocalHost", "9000", "", false, true},
      {"http://127.1.2.3", true, "127.1.2.3", "80", "", false, true},
      {"http://127.0.0.1.example", true, "127.0.0.1.example", "80", "", false, false},
      {"https://line", true, "line", "443", "", true, false},
      {"http://line:99999", false, "", "", "", false, false},
      {"http://user@line", false, "", "", "", false, false},
      {"http://line/?x=1", false, "", "", "", false, false},
      {"http://", false, "", "", "", false, false},
  };
  for (const auto &c : cases) {
    line_url url;
    std::string why;
    ASSERT_EQ(c.ok, line_parse_url(c.text, &url, &why)) << c.text << ": " << why;
    if (!c.ok) continue;
    EXPECT_EQ(c.host, url.host);
    EXPECT_EQ(c.port, url.port);
    EXPECT_EQ(c.path, url.path);
    EXPECT_EQ(c.tls, url.tls) << c.text;
    EXPECT_EQ(c.loopback, line_host_is_loopback(url.host)) << c.text;
  }
}

// The outbox through its states: a record committed waits, the oldest is
// sent first, an acknowledged one goes, a refused one stays parked with its
// reason and is never picked again.
TEST(Outbox, EntriesMoveThroughTheirStates) {
  std::string dir = temp_dir("outbox");
  std::string path = dir + "/station.db";
  std::string why;
  station_db *db = station_db_open(path, &why);
  ASSERT_NE(nullptr, db) << why;
  station_db_keep_outbox(db);
  auto commit = [&](long long *id) {
    board_record b;
    b.slot = "A";
    b.port = "p";
    b.station = "st";
    b.started = b.ended = "2026-12-09T10:00:00Z";
    ASSERT_TRUE(station_db_commit(db, &b, &why)) << why;
    EXPECT_EQ(36u, b.uid.size());
    *id = b.id;
  };
  long long ids[4];
  for (int i = 0; i < 3; i++) commit(&ids[i]);
  // The sender's way: its own connection, its statements kept between calls.
  sqlite3 *raw = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &raw));
  outbox_statements kept;
  board_fetch_statements fetch;
  long long next = 0;
  outbox_counts counts;
  board_record fetched;
  const struct {
    const char *step;
    long long next, waiting, parked;
  } steps[] = {
      {"committed", ids[0], 3, 0},
      {"first acknowledged", ids[1], 2, 0},
      {"second parked", ids[2], 1, 1},
      {"third acknowledged", 0, 0, 1},
  };
  for (const auto &s : steps) {
    std::string step = s.step;
    if (step == "first acknowledged") {
      EXPECT_TRUE(outbox_ack(raw, ids[0], &why, &kept));
    }
    if (step == "second parked") {
      EXPECT_TRUE(outbox_park(raw, ids[1], "uid clash", &why, &kept));
    }
    if (step == "third acknowledged") {
      EXPECT_TRUE(outbox_ack(raw, ids[2], &why, &kept));
    }
    ASSERT_TRUE(outbox_next(raw, &next, &why, &kept)) << why;
    ASSERT_TRUE(outbox_count(raw, &counts, &why, &kept)) << why;
    if (next) {
      EXPECT_TRUE(board_fetch(raw, next, &fetched, &why, &fetch)) << why;
    }
    EXPECT_EQ(s.next, next) << s.step;
    EXPECT_EQ(s.waiting, counts.waiting) << s.step;
    EXPECT_EQ(s.parked, counts.parked) << s.step;
  }
  EXPECT_EQ("uid clash", counts.last_reason);
  // A record committed meanwhile on the station's connection: the kept
  // statements hold no read of their own, so they see it.
  commit(&ids[3]);
  ASSERT_TRUE(outbox_next(raw, &next, &why, &kept)) << why;
  EXPECT_EQ(ids[3], next);
  ASSERT_TRUE(board_fetch(raw, next, &fetched, &why, &fetch)) << why;
  EXPECT_EQ(ids[3], fetched.id);
  kept = outbox_statements();
  fetch = board_fetch_statements();
  station_db_close(db);
  sqlite3_close(raw);
  remove_tree(dir);
}

}  // namespace
