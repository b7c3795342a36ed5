// korvane-station.exe under Wine sending a board's record to the Linux line
// server over HTTPS on loopback: WinHTTP with the station's own check of the
// server against --line-ca or --line-pin. A server that fails the check gets
// nothing, and the record stays in the station's outbox.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "database_rows.h"
#include "korvane_program.h"
#include "test_certs.h"
#include "test_files.h"

namespace {

std::string windows_path(const std::string &path) { return "Z:" + path; }

// The rows of a table, as text.
std::string count_rows(const std::string &db_path, const char *table) {
  return database_rows(db_path, std::string("SELECT count(*) FROM ") + table)[0];
}

// korvane-station.exe once over one sound board, with the line's options.
child_result run_station(const std::string &dir, const std::vector<std::string> &line_args) {
  pid_t board = start_child({BOARDSIM_PATH}, "boardsim");
  std::string line;
  if (board <= 0 || !read_child_line(board, &line, 10)) {
    ADD_FAILURE() << "boardsim did not start";
    return child_result();
  }
  std::vector<std::string> argv = {PORT_SANDBOX,
                                   WINE_PROGRAM,
                                   STATION_EXE,
                                   "--once",
                                   "--db",
                                   windows_path(dir + "/station.db"),
                                   "--logs",
                                   windows_path(dir + "/logs"),
                                   "sound=" + korvane_port_for(line).arg};
  argv.insert(argv.end(), line_args.begin(), line_args.end());
  child_result r =
      finish_child(start_child(argv, "korvane-station.exe"), "korvane-station.exe", 150);
  stop_child(board, SIGTERM, 5);
  return r;
}

// --line-ca, --line-pin with another key than the server's (its own key
// follows on the next start), or neither: the Windows certificate store,
// which knows nothing of the test's CA.
enum class station_check { ca, wrong_pin, store };

TEST(StationWineTls, SendsOnlyToAServerThatPassesTheCheck) {
  ASSERT_TRUE(korvane_under_wine());
  test_certs certs;
  std::string why;
  ASSERT_TRUE(test_certs_make(&certs, &why)) << why;
  const struct {
    const char *name;
    std::string cert, key;  // the server's
    station_check check;
    const char *says;  // in the station's last line about the line
    bool sent;
  } cases[] = {
      {"CA file", certs.server_cert, certs.server_key, station_check::ca, "line: all sent", true},
      {"wrong pin", certs.server_cert, certs.server_key, station_check::wrong_pin,
       "certificate for 127.0.0.1 does not match the pinned key", false},
      {"another CA", certs.untrusted_cert, certs.untrusted_key, station_check::ca,
       "certificate for 127.0.0.1 not trusted: not issued by a CA of", false},
      {"expired", certs.expired_cert, certs.expired_key, station_check::ca,
       "certificate for 127.0.0.1 has expired", false},
      {"another host", certs.wrong_host_cert, certs.wrong_host_key, station_check::ca,
       "certificate for 127.0.0.1 not trusted: it is for another host name", false},
      {"Windows store", certs.server_cert, certs.server_key, station_check::store,
       "certificate for 127.0.0.1 not trusted: not issued by an authority Windows trusts", false},
  };
  char host[256] = {};
  ASSERT_EQ(0, gethostname(host, sizeof host - 1));
  for (const auto &t : cases) {
    SCOPED_TRACE(t.name);
    std::string dir = temp_dir("station_wine_tls");
    ASSERT_FALSE(dir.empty());
    std::ofstream(dir + "/tokens") << host << " wine-station-token-0123456789\n";
    chmod((dir + "/tokens").c_str(), 0600);
    std::ofstream(dir + "/token") << "wine-station-token-0123456789\n";
    pid_t line_server =
        start_child({LINE_PATH, "serve", "--listen", "127.0.0.1:0", "--tokens", dir + "/tokens",
                     "--db", dir + "/line.db", "--tls-cert", t.cert, "--tls-key", t.key},
                    "korvane-line");
    std::string served;
    ASSERT_TRUE(read_child_line(line_server, &served, 10)) << "korvane-line did not start";
    size_t at = served.find("127.0.0.1:");
    ASSERT_NE(std::string::npos, at) << served;
    std::string url = "https://" + served.substr(at, served.find_first_of(", /", at) - at);
    std::vector<std::string> line_args = {"--line", url, "--line-token",
                                          windows_path(dir + "/token")};
    if (t.check == station_check::ca) {
      line_args.insert(line_args.end(), {"--line-ca", windows_path(certs.ca)});
    } else if (t.check == station_check::wrong_pin) {
      // The CA's key, not the server's.
      line_args.insert(line_args.end(), {"--line-pin", test_cert_pin(certs.ca)});
    }
    child_result r = run_station(dir, line_args);
    EXPECT_FALSE(r.timed_out);
    EXPECT_NE(std::string::npos, r.out.find(t.says)) << r.out << r.err;
    EXPECT_EQ("1", count_rows(dir + "/station.db", "boards"));
    EXPECT_EQ(t.sent ? "1" : "0", count_rows(dir + "/line.db", "boards"));
    // A record not sent waits in the outbox for the next start.
    EXPECT_EQ(t.sent ? "0" : "1", count_rows(dir + "/station.db", "outbox"));
    if (t.check == station_check::wrong_pin) {
      // Started again with the server's pin, the station sends the kept
      // record with the new one.
      line_args.back() = test_cert_pin(certs.server_cert);
      r = run_station(dir, line_args);
      EXPECT_NE(std::string::npos, r.out.find("line: all sent")) << r.out << r.err;
      EXPECT_EQ("2", count_rows(dir + "/line.db", "boards"));
      EXPECT_EQ("0", count_rows(dir + "/station.db", "outbox"));
    }
    EXPECT_EQ(0, stop_child(line_server, SIGTERM, 10).status);
    remove_tree(dir);
  }
  test_certs_remove(certs);
}

}  // namespace
