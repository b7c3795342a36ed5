// korvane-line serve over HTTPS as a real process, with throw-away
// certificates: what it refuses at start, the TLS versions it takes, and a
// client that verifies it against the CA reading the line page, its stream
// and the answer to a body over the limit.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <fstream>

#include <openssl/ssl.h>

#include "child_process.h"
#include "test_certs.h"
#include "test_files.h"
#include "tls_client.h"

namespace {

const double WAIT_S = 60;
const char TOKEN[] = "token-of-st1-0123456789";

class LineTls : public ::testing::Test {
 protected:
  // RSA keys take a while to make: one set for the suite.
  static void SetUpTestSuite() {
    std::string why;
    made = test_certs_make(&certs, &why);
    if (!made) fprintf(stderr, "%s\n", why.c_str());
  }
  static void TearDownTestSuite() { test_certs_remove(certs); }
  static test_certs certs;
  static bool made;

  std::string dir, tokens, db;
  pid_t server = -1;
  int port = 0;

  void SetUp() override {
    ASSERT_TRUE(made);
    dir = temp_dir("line-tls");
    ASSERT_NE("", dir);
    tokens = dir + "/tokens";
    std::ofstream(tokens) << "st1 " << TOKEN << "\n";
    chmod(tokens.c_str(), 0600);
    db = dir + "/line.db";
  }
  void TearDown() override {
    if (server > 0) {
      EXPECT_EQ(0, stop_child(server, SIGTERM, WAIT_S).status);
    }
    remove_tree(dir);
  }
  std::vector<std::string> serve(const std::vector<std::string> &more) {
    std::vector<std::string> argv = {LINE_PATH, "serve", "--db", db, "--tokens", tokens};
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
  }
  // The server over HTTPS on any free port, the port taken from its first line.
  void start_https() {
    server = start_child(
        serve({"--listen", "0", "--tls-cert", certs.server_cert, "--tls-key", certs.server_key}),
        "korvane-line");
    std::string line;
    ASSERT_TRUE(read_child_line(server, &line, WAIT_S)) << "the server did not start";
    size_t at = line.find("https://127.0.0.1:");
    ASSERT_NE(std::string::npos, at) << line;
    port = std::atoi(line.c_str() + at + 18);
  }
};

test_certs LineTls::certs;
bool LineTls::made = false;

TEST_F(LineTls, RefusesAtStartWhatIsUnsafeOrUnusable) {
  std::string open_key = dir + "/open.key", group_key = dir + "/group.key";
  for (const std::string &key : {open_key, group_key}) {
    std::ofstream(key) << read_file(certs.server_key);
  }
  chmod(open_key.c_str(), 0644);
  chmod(group_key.c_str(), 0640);
  const struct {
    const char *name;
    std::vector<std::string> options;
    int status;
    std::string says;
  } cases[] = {
      {"key readable by others",
       {"--tls-cert", certs.server_cert, "--tls-key", open_key},
       1,
       "korvane-line: the key " + open_key + " is open to other users (mode 0644)"},
      {"key readable by the group",
       {"--tls-cert", certs.server_cert, "--tls-key", group_key},
       1,
       "(mode 0640)"},
      {"key of another certificate",
       {"--tls-cert", certs.server_cert, "--tls-key", certs.expired_key},
       1,
       "is not the certificate"},
      {"no such key", {"--tls-cert", certs.server_cert, "--tls-key", dir + "/none"}, 1, "none:"},
      {"a key for a certificate",
       {"--tls-cert", certs.server_key, "--tls-key", certs.server_key},
       1,
       "cannot use the certificate"},
      {"certificate without its key",
       {"--tls-cert", certs.server_cert},
       2,
       "--tls-cert and --tls-key go together"},
      {"plain HTTP on every address",
       {"--listen", "0.0.0.0:0"},
       2,
       "refusing plain HTTP on 0.0.0.0"},
      {"plain HTTP on IPv6's every address", {"--listen", "[::]:0"}, 2, "refusing plain HTTP"},
  };
  for (const auto &c : cases) {
    pid_t child = start_child(serve(c.options), c.name);
    child_result r = finish_child(child, c.name, WAIT_S);
    EXPECT_EQ(c.status, r.status) << c.name << ": " << r.err;
    EXPECT_NE(std::string::npos, r.err.find(c.says)) << c.name << ": " << r.err;
    EXPECT_EQ(1u, (size_t)std::count(r.err.begin(), r.err.end(), '\n') - (c.status == 2 ? 2 : 0))
        << c.name << ": one line says why: " << r.err;
    EXPECT_EQ("", r.out) << c.name;
  }
  EXPECT_FALSE(std::ifstream(db).good()) << "no database is made by a server that did not start";
}

// (Plain HTTP on loopback: every other line test.)
TEST_F(LineTls, PlainHttpBeyondLoopbackStartsWhenAskedForByName) {
  pid_t child = start_child(serve({"--listen", "0.0.0.0:0", "--insecure-http"}), "korvane-line");
  std::string line;
  EXPECT_TRUE(read_child_line(child, &line, WAIT_S));
  EXPECT_NE(std::string::npos, line.find("serving http://")) << line;
  EXPECT_EQ(0, stop_child(child, SIGTERM, WAIT_S).status);
}

TEST_F(LineTls, TakesTls12And13AloneAndServesOverIt) {
  start_https();
  const struct {
    int version;
    bool taken;
  } versions[] = {
      {TLS1_VERSION, false},
      {TLS1_1_VERSION, false},
      {TLS1_2_VERSION, true},
      {TLS1_3_VERSION, true},
  };
  for (const auto &v : versions) {
    tls_offer offer;
    offer.min_version = offer.max_version = v.version;
    offer.ca = certs.ca;
    std::string answer, why;
    bool taken = tls_exchange(port, offer, "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                              "", &answer, &why);
    EXPECT_EQ(v.taken, taken) << std::hex << v.version << ": " << why;
    // Refused by the server, not given up by the client.
    if (v.taken) {
      EXPECT_EQ(200, tls_status(answer)) << answer;
      EXPECT_NE(std::string::npos, answer.find("<!DOCTYPE html>")) << answer;
    } else {
      EXPECT_EQ("tlsv1 alert protocol version", why) << std::hex << v.version;
    }
  }

  // A body over the limit is answered and the rest of it read away below
  // TLS, as over plain HTTP. (Records sent over HTTPS: line_e2e_test.)
  tls_offer verified;
  verified.ca = certs.ca;
  std::string answer, why, body(2 << 20, 'x');
  EXPECT_TRUE(tls_exchange(port, verified,
                           "POST /api/v1/records HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                           "Authorization: Bearer " +
                               std::string(TOKEN) +
                               "\r\nContent-Type: application/json\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
                           "", &answer, &why))
      << why;
  EXPECT_EQ(413, tls_status(answer)) << answer;

  // The line page's stream comes over TLS as well.
  std::string events;
  ASSERT_TRUE(tls_exchange(port, verified, "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
                           "event: line", &events, &why))
      << why;
  EXPECT_NE(std::string::npos, events.find("text/event-stream")) << events;
  EXPECT_NE(std::string::npos, events.find("\"station\":\"st1\"")) << events;

  // A client that trusts another CA alone refuses the server.
  tls_offer untrusted;
  untrusted.ca = certs.other_ca;
  EXPECT_FALSE(tls_exchange(port, untrusted, "", "", &answer, &why));
  EXPECT_NE(std::string::npos, why.find("certificate")) << why;
}

}  // namespace
