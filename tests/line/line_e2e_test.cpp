// korvane-line and the stations' senders as real processes, counted by the
// rows that arrive: the server stopped and restarted, its answer lost after
// it committed, a 503 with Retry-After, a station killed between its commit
// and the upload, sixteen stations at once on SQLite and on PostgreSQL,
// PostgreSQL stopped under load, and hostile requests on the wire.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include <libpq-fe.h>
#include <nlohmann/json.hpp>

#include "child_process.h"
#include "database_rows.h"
#include "http_pipe.h"
#include "postgres_server.h"
#include "station/line/line_http.h"
#include "test_certs.h"
#include "test_files.h"

namespace {

// Every wait here is for an event; the limits only end a test that hangs.
const double WAIT_S = 60;
const char TOKEN_PREFIX[] = "token-of-";

std::string token_of(const std::string &station) { return TOKEN_PREFIX + station + "-0123456789"; }

// The rows of sql on the line's database, SQLite or PostgreSQL, as
// database_rows gives them.
std::vector<std::string> line_rows(const std::string &db, const std::string &sql) {
  if (db.find('=') == std::string::npos) return database_rows(db, sql);
  std::vector<std::string> rows;
  PGconn *c = PQconnectdb(db.c_str());
  PGresult *r = PQexec(c, sql.c_str());
  if (PQresultStatus(r) != PGRES_TUPLES_OK) rows.push_back(PQerrorMessage(c));
  for (int i = 0; PQresultStatus(r) == PGRES_TUPLES_OK && i < PQntuples(r); i++) {
    std::string row;
    for (int k = 0; k < PQnfields(r); k++)
      row += (k ? "|" : "") + std::string(PQgetisnull(r, i, k) ? "NULL" : PQgetvalue(r, i, k));
    rows.push_back(row);
  }
  PQclear(r);
  PQfinish(c);
  return rows;
}

const char COUNT_ROWS[] = "SELECT count(*), count(DISTINCT uid) FROM boards";

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class LineE2e : public ::testing::Test {
 protected:
  std::string dir, tokens, db;
  pid_t server = -1;
  std::vector<pid_t> boards;
  std::string url;
  int port = 0;
  postgres_server postgres;

  void SetUp() override {
    dir = temp_dir("line-e2e");
    ASSERT_NE("", dir);
    tokens = dir + "/tokens";
    std::ofstream out(tokens);
    for (int i = 0; i < 16; i++) {
      std::string station = "st" + std::to_string(i);
      out << station << " " << token_of(station) << "\n";
      std::ofstream(dir + "/" + station + ".token") << token_of(station) << "\n";
    }
    out.close();
    chmod(tokens.c_str(), 0600);
    db = dir + "/line.db";
  }
  void TearDown() override {
    for (pid_t b : boards) stop_child(b, SIGTERM, WAIT_S);
    stop_server();
    postgres_stop(&postgres);
    remove_tree(dir);
  }
  void use_postgres() {
    std::string why;
    if (!postgres_start(&postgres, &why)) GTEST_SKIP() << why;
    db = postgres.conninfo;
  }
  // The server on port (0: any), over HTTPS with a certificate and its key,
  // its URL taken from its first line.
  void start_server(int on_port = 0, const std::string &cert = "", const std::string &key = "") {
    std::vector<std::string> args = {LINE_PATH,  "serve", "--db",     db,
                                     "--tokens", tokens,  "--listen", std::to_string(on_port)};
    if (!cert.empty()) args.insert(args.end(), {"--tls-cert", cert, "--tls-key", key});
    server = start_child(args, "korvane-line");
    std::string line;
    ASSERT_TRUE(read_child_line(server, &line, WAIT_S)) << "the server did not start";
    std::string scheme = cert.empty() ? "http" : "https";
    size_t at = line.find(scheme + "://127.0.0.1:");
    ASSERT_NE(std::string::npos, at) << line;
    port = std::atoi(line.c_str() + at + scheme.size() + 13);
    url = scheme + "://127.0.0.1:" + std::to_string(port);
  }
  void stop_server() {
    if (server > 0) {
      EXPECT_EQ(0, stop_child(server, SIGTERM, WAIT_S).status);
    }
    server = -1;
  }
  // A boardsim board, stopped at the end; its port.
  std::string start_board(const std::vector<std::string> &options = {}) {
    boards.push_back(start_child(concat({BOARDSIM_PATH}, options), "boardsim"));
    std::string path;
    EXPECT_TRUE(read_child_line(boards.back(), &path, WAIT_S));
    return path;
  }
  // korvane-station `name` with --once, `typed` on its input, its database
  // <dir>/<name>-station.db, with args (--line and the slots).
  pid_t start_station(const std::string &name, const std::string &typed,
                      const std::vector<std::string> &args) {
    std::string at = dir + "/" + name;
    std::ofstream(at + ".typed") << typed;
    return start_child(
        concat({"/bin/sh", "-c", "exec \"$0\" \"$@\" < " + at + ".typed", STATION_PATH, "--korvane",
                KORVANE_PATH, "--once", "--station", name, "--db", at + "-station.db", "--logs",
                at + "-logs", "--line-token", at + ".token"},
               args),
        "korvane-station");
  }
  pid_t start_sender(const std::string &station, int records, int every_ms,
                     const std::string &to = "") {
    return start_child({DRIVER_PATH, dir + "/" + station + ".db", station, to.empty() ? url : to,
                        dir + "/" + station + ".token", std::to_string(records),
                        std::to_string(every_ms), std::to_string((int)WAIT_S)},
                       station);
  }
};

TEST_F(LineE2e, ServerStoppedAndRestartedGetsEveryRecordOnce) {
  start_server();
  pid_t sender = start_sender("st0", 40, 50);
  // Half the records are committed by the time the server goes, the rest
  // while it is away.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  stop_server();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  start_server(port);
  child_result r = finish_child(sender, "child", WAIT_S);
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ(std::vector<std::string>({"40|40"}), line_rows(db, COUNT_ROWS));
}

// A proxy that forwards the first record and its answer's loss: the line
// commits, the station never hears it, tries again, and is answered 200.
TEST_F(LineE2e, AnswerLostAfterCommitIsRetriedAndAnswered200) {
  start_server();
  int proxy_port = 0;
  int listener = pipe_listen(&proxy_port);
  ASSERT_GE(listener, 0);
  std::vector<int> statuses;
  std::atomic<bool> done{false};
  std::thread proxy([&] {
    while (!done) {
      int client = accept(listener, nullptr, nullptr);
      if (client < 0) return;
      int upstream = pipe_connect(port);
      std::string head, body, answer_head, answer_body;
      while (pipe_read_message(client, &head, &body, 5) && pipe_write(upstream, head + body) &&
             pipe_read_message(upstream, &answer_head, &answer_body, 5)) {
        bool record = head.find("/api/v1/records") != std::string::npos;
        if (record) statuses.push_back(pipe_status(answer_head));
        // The first record's answer is lost on the way back.
        if (record && statuses.size() == 1) break;
        if (!pipe_write(client, answer_head + answer_body)) break;
      }
      close(upstream);
      close(client);
    }
  });
  pid_t sender = start_sender("st1", 1, 0, "http://127.0.0.1:" + std::to_string(proxy_port));
  child_result r = finish_child(sender, "child", WAIT_S);
  done = true;
  shutdown(listener, SHUT_RDWR);
  close(listener);
  proxy.join();
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ(std::vector<int>({201, 200}), statuses);
  EXPECT_EQ(std::vector<std::string>({"1|1"}), line_rows(db, COUNT_ROWS));
}

// A stand-in server that is busy once, asking for 3 s, then stores.
TEST_F(LineE2e, RetryAfterIsHonoured) {
  int fake_port = 0;
  int listener = pipe_listen(&fake_port);
  ASSERT_GE(listener, 0);
  std::vector<double> tries;
  std::thread fake([&] {
    while (tries.size() < 2) {
      int client = accept(listener, nullptr, nullptr);
      if (client < 0) return;
      std::string head, body;
      while (tries.size() < 2 && pipe_read_message(client, &head, &body, 10)) {
        std::string answer = "HTTP/1.1 204 No Content\r\n\r\n";
        if (head.find("/api/v1/records") != std::string::npos) {
          tries.push_back(steady_seconds());
          answer = tries.size() == 1 ? "HTTP/1.1 503 Busy\r\nRetry-After: 3\r\n"
                                       "Content-Length: 0\r\n\r\n"
                                     : "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n";
        }
        if (!pipe_write(client, answer)) break;
      }
      close(client);
    }
  });
  pid_t sender = start_sender("st2", 1, 0, "http://127.0.0.1:" + std::to_string(fake_port));
  child_result r = finish_child(sender, "child", WAIT_S);
  shutdown(listener, SHUT_RDWR);
  close(listener);
  fake.join();
  EXPECT_EQ(0, r.status) << r.out << r.err;
  ASSERT_EQ(2u, tries.size());
  // Without Retry-After the first back-off is at most a second.
  EXPECT_GE(tries[1] - tries[0], 2.9);
}

// korvane-station itself: killed with -9 once its record is committed and
// before the line was there to take it; started again, it sends it once.
TEST_F(LineE2e, StationKilledBetweenCommitAndUploadSendsOnRestart) {
  // A port with no server yet.
  int free_port = 0;
  close(pipe_listen(&free_port));
  std::string station_db = dir + "/st3-station.db";
  auto run_station = [&](const std::string &serial) {
    return start_station(
        "st3", serial + "\n",
        {"--line", "http://127.0.0.1:" + std::to_string(free_port), "A=" + start_board()});
  };
  pid_t first = run_station("SN-1");
  double until = steady_seconds() + WAIT_S;
  while (database_rows(station_db, "SELECT count(*) FROM outbox") !=
             std::vector<std::string>{"1"} &&
         steady_seconds() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(first, SIGKILL);
  finish_child(first, "child", WAIT_S);

  start_server(free_port);
  child_result r = finish_child(run_station("SN-2"), "child", WAIT_S);
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("line: all sent")) << r.out;
  EXPECT_EQ(std::vector<std::string>({"2|2"}), line_rows(db, COUNT_ROWS));
  // The record killed on its way is there once, under the uid it was
  // committed with.
  std::string uid = database_rows(station_db, "SELECT uid FROM boards WHERE serial = 'SN-1'")[0];
  EXPECT_EQ(std::vector<std::string>({"SN-1"}),
            line_rows(db, "SELECT serial FROM boards WHERE uid = '" + uid + "'"))
      << uid;
  EXPECT_EQ(std::vector<std::string>({"0"}),
            database_rows(station_db, "SELECT count(*) FROM outbox"));
}

// The retest limit across the line: a board that failed on one station is
// held on another, which never tested it; with the line gone, a station
// counts its own records, tests the board and says so in its record.
TEST_F(LineE2e, RetestLimitCountsTheLinesRecords) {
  start_server();
  child_result first =
      finish_child(start_station("st1", "KV-0007\n",
                                 {"--line", url, "A=" + start_board({"--data-stuck", "5:1"})}),
                   "st1", WAIT_S);
  ASSERT_EQ(8, first.status) << first.out << first.err;
  ASSERT_NE(std::string::npos, first.out.find("line: all sent")) << first.out;

  // The board is put in only later: the slot must hold it before it answers.
  const std::vector<std::string> st2 = {"--line", url, "--max-attempts", "1",
                                        "A=" + start_board({"--boot-delay", "2000"})};
  pid_t second =
      start_station("st2", "A=KV-0007\nB=KV-0008\n", concat(st2, {"B=" + start_board()}));
  const std::string hold =
      "A: HOLD KV-0007 failed 1 time (data line 5 stuck at 1); send it to rework\n";
  ASSERT_TRUE(read_child_until(
      second,
      [&](const child_result &r) {
        return r.out.find(hold) != std::string::npos &&
               r.out.find("B: PASS (serial KV-0008") != std::string::npos;
      },
      WAIT_S));
  // Its heartbeats carry its slots to the line's page.
  line_url to;
  std::string why, slots;
  ASSERT_TRUE(line_parse_url(url, &to, &why)) << why;
  line_connection *page = line_connection_new(to);
  for (double until = steady_seconds() + WAIT_S; slots != "AB" && steady_seconds() < until;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    line_reply reply;
    if (!line_get(page, "/api/v1/line", {}, WAIT_S, &reply, &why)) continue;
    nlohmann::json line = nlohmann::json::parse(reply.body, nullptr, false);
    for (const auto &station : line["stations"]) {
      if (station["station"] != "st2" || !station["state"].is_object()) continue;
      slots.clear();
      for (const auto &slot : station["state"]["slots"]) slots += slot["slot"].get<std::string>();
    }
  }
  line_connection_free(page);
  EXPECT_EQ("AB", slots) << why;
  child_result r = stop_child(second, SIGINT, WAIT_S);
  EXPECT_EQ(std::string::npos, r.out.find("A: board in")) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("not checked against the line")) << r.out;
  EXPECT_EQ(std::vector<std::string>({"KV-0008|line"}),
            database_rows(dir + "/st2-station.db", "SELECT serial, attempts_checked FROM boards"));

  stop_server();
  r = finish_child(start_station("st2", "A=KV-0007\n", st2), "st2", WAIT_S);
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("A: KV-0007 not checked against the line (")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("A: PASS (serial KV-0007")) << r.out;
  EXPECT_EQ(std::vector<std::string>({"KV-0008|line", "KV-0007|station"}),
            database_rows(dir + "/st2-station.db",
                          "SELECT serial, attempts_checked FROM boards ORDER BY id"));
}

class LineSixteen : public LineE2e, public ::testing::WithParamInterface<bool> {};

TEST_P(LineSixteen, SixteenStationsAtOnceLoseNoneAndDoubleNone) {
  if (GetParam()) use_postgres();
  if (IsSkipped()) return;
  start_server();
  std::vector<pid_t> senders;
  for (int i = 0; i < 16; i++) senders.push_back(start_sender("st" + std::to_string(i), 50, 0));
  for (pid_t s : senders) {
    child_result r = finish_child(s, "child", WAIT_S);
    EXPECT_EQ(0, r.status) << r.out << r.err;
  }
  EXPECT_EQ(std::vector<std::string>({"800|800"}), line_rows(db, COUNT_ROWS));
  EXPECT_EQ(std::vector<std::string>({"16"}),
            line_rows(db, "SELECT count(DISTINCT station) FROM boards"));
}

INSTANTIATE_TEST_SUITE_P(Backends, LineSixteen, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) {
                           return i.param ? "PostgreSQL" : "SQLite";
                         });

TEST_F(LineE2e, PostgresStoppedAnswers503AndLosesNothing) {
  use_postgres();
  if (IsSkipped()) return;
  start_server();
  pid_t sender = start_sender("st4", 40, 50);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  ASSERT_TRUE(postgres_pause(&postgres));
  line_url to;
  std::string why;
  ASSERT_TRUE(line_parse_url(url, &to, &why));
  line_connection *c = line_connection_new(to);
  line_reply reply;
  std::string body =
      R"({"uid": "0a1b2c3d-0000-4000-8000-00000000dddd", "station": "st4", "slot": "A",)"
      R"( "port": "p", "started": "2026-12-09T10:00:00Z", "ended": "2026-12-09T10:00:01Z",)"
      R"( "seconds": 1, "outcome": "passed"})";
  ASSERT_TRUE(line_post(c, "/api/v1/records", {{"Authorization", "Bearer " + token_of("st4")}},
                        body, 10, &reply, &why))
      << why;
  EXPECT_EQ(503, reply.status);
  EXPECT_EQ(2, reply.retry_after);
  line_connection_free(c);
  ASSERT_TRUE(postgres_restart(&postgres));
  child_result r = finish_child(sender, "child", WAIT_S);
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ(std::vector<std::string>({"40|40"}), line_rows(db, COUNT_ROWS));
}

TEST_F(LineE2e, HostileRequestsOnTheWireAreRefused) {
  start_server();
  line_url to;
  std::string why;
  ASSERT_TRUE(line_parse_url(url, &to, &why));
  std::string record =
      R"({"uid": "0a1b2c3d-0000-4000-8000-00000000eeee", "station": "st5", "slot": "A",)"
      R"( "port": "p", "started": "2026-12-09T10:00:00Z", "ended": "2026-12-09T10:00:01Z",)"
      R"( "seconds": 1, "outcome": "passed", "serial": "X"})";
  std::string forged = record;
  forged.replace(forged.find("st5"), 3, "st6");
  std::string bad_utf8 = record;
  bad_utf8.replace(bad_utf8.find("\"X\""), 3, "\"\xc3\x28\"");
  const struct {
    const char *name;
    std::string body;
    int status;
  } cases[] = {
      {"10 MB body", std::string(10 * 1024 * 1024, 'x'), 413},
      {"invalid UTF-8", bad_utf8, 400},
      {"forged station", forged, 403},
      {"the record itself", record, 201},
  };
  for (const auto &c : cases) {
    line_connection *connection = line_connection_new(to);
    line_reply reply;
    EXPECT_TRUE(line_post(connection, "/api/v1/records",
                          {{"Authorization", "Bearer " + token_of("st5")}}, c.body, 10, &reply,
                          &why))
        << c.name << ": " << why;
    EXPECT_EQ(c.status, reply.status) << c.name << ": " << reply.body;
    line_connection_free(connection);
  }
  EXPECT_EQ(std::vector<std::string>({"1|1"}), line_rows(db, COUNT_ROWS));
}

// An https:// line is checked before a byte of a request goes: each
// server's certificate against what the station was told to trust. The
// records the checks refused are not on the line.
TEST_F(LineE2e, HttpsServerIsCheckedBeforeAnythingIsSent) {
  test_certs certs;
  std::string why;
  ASSERT_TRUE(test_certs_make(&certs, &why)) << why;
  const std::string right_pin = test_cert_pin(certs.server_cert);
  const std::string wrong_pin = test_cert_pin(certs.untrusted_cert);
  // The pin is the one a user gets from the openssl program.
  FILE *openssl = popen(("openssl x509 -in '" + certs.server_cert +
                         "' -pubkey -noout | openssl pkey -pubin -outform DER | "
                         "openssl dgst -sha256 -r")
                            .c_str(),
                        "r");
  char printed[65] = "";
  ASSERT_NE(nullptr, openssl);
  EXPECT_EQ(1, fscanf(openssl, "%64s", printed));
  pclose(openssl);
  ASSERT_EQ(printed, right_pin);
  // The servers, each with a certificate and its key; "plain" without TLS.
  const std::map<std::string, std::pair<std::string, std::string>> servers = {
      {"good", {certs.server_cert, certs.server_key}},
      {"expired", {certs.expired_cert, certs.expired_key}},
      {"other host", {certs.wrong_host_cert, certs.wrong_host_key}},
      {"other CA", {certs.untrusted_cert, certs.untrusted_key}},
      {"plain", {"", ""}}};
  // The system's CA store, as OpenSSL reads it, holds the other CA alone: a
  // station without --line-ca trusts that CA, one with --line-ca does not.
  setenv("SSL_CERT_FILE", certs.other_ca.c_str(), 1);
  const std::string untrusted = "certificate for 127.0.0.1 not trusted: ";
  const std::string by_name = "certificate for localhost not trusted: ";
  const std::string wrong_key = untrusted + "its key is not the pinned one (" + right_pin + ")";
  const std::string no_file = dir + "/none";
  const struct {
    const char *server;
    std::string host;
    std::string ca, pin;  // the station's --line-ca and --line-pin
    std::string refusal;  // "" when the record is taken
  } cases[] = {
      {"good", "127.0.0.1", certs.ca, "", ""},
      {"good", "127.0.0.1", "", right_pin, ""},
      {"good", "127.0.0.1", "", "", untrusted + "unable to get local issuer certificate"},
      {"good", "127.0.0.1", "", wrong_pin, wrong_key},
      {"good", "127.0.0.1", no_file, "",
       "cannot read the CA file " + no_file + ": No such file or directory"},
      {"good", "127.0.0.1", tokens, "", "no PEM certificate in the CA file " + tokens},
      {"expired", "127.0.0.1", certs.ca, "", untrusted + "certificate has expired"},
      {"other host", "127.0.0.1", certs.ca, "", untrusted + "IP address mismatch"},
      {"other host", "localhost", certs.ca, "", by_name + "hostname mismatch"},
      {"other CA", "127.0.0.1", certs.ca, "", untrusted + "unable to get local issuer certificate"},
      {"other CA", "127.0.0.1", "", "", ""},
      {"plain", "127.0.0.1", "", "", "TLS with 127.0.0.1 failed: the server closed the connection"},
  };
  std::string serving = "none";
  int taken = 0, n = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.server + (" server, " + c.host));
    if (c.server != serving) {
      stop_server();
      start_server(0, servers.at(c.server).first, servers.at(c.server).second);
      serving = c.server;
    }
    line_url to;
    ASSERT_TRUE(line_parse_url("https://" + c.host + ":" + std::to_string(port), &to, &why));
    line_tls tls;
    tls.ca_file = c.ca;
    tls.pin_sha256 = c.pin;
    line_connection *connection = line_connection_new(to, tls);
    char uid[40];
    snprintf(uid, sizeof uid, "0a1b2c3d-0000-4000-8000-%012d", ++n);
    std::string record = std::string(R"({"uid": ")") + uid +
                         R"(", "station": "st7", "slot": "A", "port": "p",)"
                         R"( "started": "2026-12-09T10:00:00Z", "ended": "2026-12-09T10:00:01Z",)"
                         R"( "seconds": 1, "outcome": "passed"})";
    line_reply reply;
    why.clear();
    bool answered =
        line_post(connection, "/api/v1/records", {{"Authorization", "Bearer " + token_of("st7")}},
                  record, 10, &reply, &why);
    line_connection_free(connection);
    EXPECT_EQ(c.refusal.empty(), answered);
    EXPECT_EQ(c.refusal, why);
    EXPECT_EQ(!c.refusal.empty(), reply.untrusted);
    if (answered) {
      EXPECT_EQ(201, reply.status) << reply.body;
      taken++;
    }
  }
  unsetenv("SSL_CERT_FILE");
  EXPECT_EQ(std::vector<std::string>({std::to_string(taken) + "|" + std::to_string(taken)}),
            line_rows(db, COUNT_ROWS));
  test_certs_remove(certs);
}

// korvane-station refused by its check keeps the record and says why; given
// the line's CA at its next start, it sends it.
TEST_F(LineE2e, StationRefusedByTheCertificateKeepsTheRecordUntilItTrustsTheLine) {
  test_certs certs;
  std::string why;
  ASSERT_TRUE(test_certs_make(&certs, &why)) << why;
  start_server(0, certs.server_cert, certs.server_key);
  const std::string line = "https://localhost:" + std::to_string(port);
  const struct {
    const char *serial;
    std::vector<std::string> trust;
    std::string said;       // in the station's output
    const char *on_line;    // the line's rows
    const char *in_outbox;  // the station's waiting records
  } runs[] = {
      {"SN-1",
       {"--line-pin", test_cert_pin(certs.untrusted_cert)},
       "line: certificate for localhost not trusted: its key is not the pinned one (" +
           test_cert_pin(certs.server_cert) + ")",
       "0|0",
       "1"},
      {"SN-2", {"--line-ca", certs.ca}, "line: all sent", "2|2", "0"},
  };
  for (const auto &run : runs) {
    SCOPED_TRACE(run.serial);
    child_result r =
        finish_child(start_station("st8", run.serial + std::string("\n"),
                                   concat(run.trust, {"--line", line, "A=" + start_board()})),
                     "child", WAIT_S);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find(run.said)) << r.out;
    EXPECT_EQ(std::vector<std::string>({run.on_line}), line_rows(db, COUNT_ROWS));
    EXPECT_EQ(std::vector<std::string>({run.in_outbox}),
              database_rows(dir + "/st8-station.db", "SELECT count(*) FROM outbox"));
  }
  test_certs_remove(certs);
}

// The station's client against stand-ins for the line server that
// misbehave: every exchange ends within its time-out with its reason, and a
// kept connection the server closed is tried once more on a new one.
TEST(LineClient, EveryExchangeEndsInTimeWithItsReason) {
  const double TIMEOUT_S = 0.5;
  using stand_in = void (*)(int listener, const std::atomic<bool> &done);
  // Takes the connection and says nothing, reads nothing.
  stand_in silent = [](int listener, const std::atomic<bool> &done) {
    int fd = accept(listener, nullptr, nullptr);
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    close(fd);
  };
  const struct {
    const char *name;
    stand_in serve;
    size_t body_size;  // of each request
    int exchanges;     // the last one's outcome is checked
    std::string why;   // "" when it is answered
    bool tls;          // https://
  } cases[] = {
      {"trickles its answer",
       [](int listener, const std::atomic<bool> &done) {
         int fd = accept(listener, nullptr, nullptr);
         std::string head, body;
         pipe_read_message(fd, &head, &body, WAIT_S);
         pipe_write(fd, "HTTP/1.1 200 OK\r\nX-Slow: ");
         while (!done && pipe_write(fd, "a"))
           std::this_thread::sleep_for(std::chrono::milliseconds(10));
         close(fd);
       },
       100, 1, "no answer in time", false},
      {"reads none of a long request", silent, 16 << 20, 1, "no answer in time", false},
      {"says nothing to the TLS handshake", silent, 100, 1, "no answer in time", true},
      {"closes without an answer",
       [](int listener, const std::atomic<bool> &) {
         int fd = accept(listener, nullptr, nullptr);
         std::string head, body;
         pipe_read_message(fd, &head, &body, WAIT_S);
         close(fd);
       },
       100, 1, "end of stream", false},
      {"closes a kept connection",
       [](int listener, const std::atomic<bool> &done) {
         for (int i = 0; i < 2; i++) {
           int fd = accept(listener, nullptr, nullptr);
           std::string head, body;
           pipe_read_message(fd, &head, &body, WAIT_S);
           pipe_write(fd, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}");
           while (i == 1 && !done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
           close(fd);
         }
       },
       100, 2, "", false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    int port = 0;
    int listener = pipe_listen(&port);
    ASSERT_LE(0, listener);
    std::atomic<bool> done(false);
    std::thread server(c.serve, listener, std::cref(done));
    line_url to;
    std::string why;
    ASSERT_TRUE(line_parse_url(
        (c.tls ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(port), &to,
        &why));
    line_connection *connection = line_connection_new(to);
    bool answered = false;
    line_reply reply;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < c.exchanges; i++) {
      why.clear();
      answered = line_post(connection, "/api/v1/records", {}, std::string(c.body_size, 'x'),
                           TIMEOUT_S, &reply, &why);
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    done = true;
    line_connection_free(connection);
    server.join();
    close(listener);
    EXPECT_EQ(c.why.empty(), answered);
    EXPECT_EQ(c.why, why);
    EXPECT_EQ(answered ? "{}" : "", reply.body);
    EXPECT_LT(took.count(), 10 * TIMEOUT_S * c.exchanges);
  }
}

}  // namespace
