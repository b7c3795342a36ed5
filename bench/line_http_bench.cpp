// The station's HTTP client alone: the CPU of the calling thread per
// exchange with korvane-line on loopback, over one kept connection, for the
// sender's POST of a record and the serial checker's GET of a serial, over
// http:// and over https:// with a throw-away CA. Prints figures; nothing
// here passes or fails.
//
// Usage: line_http_bench KORVANE_LINE [EXCHANGES]
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "child_process.h"
#include "station/line/line_http.h"
#include "test_certs.h"
#include "test_files.h"

namespace {

const char TOKEN[] = "bench-token-0123456789";

double thread_cpu_s(void) {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// The part of it spent in user space, the client's own work; the rest is
// the kernel's, where loopback TCP counts the server's receiving too.
double thread_user_s(void) {
  rusage r;
  getrusage(RUSAGE_THREAD, &r);
  return (double)r.ru_utime.tv_sec + (double)r.ru_utime.tv_usec / 1e6;
}

struct cpu_us {
  double all = 0, user = 0;
};

// A record as the sender posts one; the line has it after the first post
// and answers the others 200, so the server's database stays out of the way.
const char RECORD[] =
    R"({"uid": "0a1b2c3d-0000-4000-8000-00000000b0b0", "station": "st0", "slot": "A",)"
    R"( "port": "/tmp/korvane-slot-a", "started": "2026-12-09T10:00:00Z",)"
    R"( "ended": "2026-12-09T10:01:12Z", "seconds": 72.4, "outcome": "passed",)"
    R"( "serial": "KV-2026-000123", "operator": "anna", "board": "main-rev-c",)"
    R"( "image": "boot-4.2.1", "steps": [{"name": "sdram", "seconds": 31.2, "outcome": "passed"},)"
    R"( {"name": "flash", "seconds": 28.9, "outcome": "passed"},)"
    R"( {"name": "verify", "seconds": 12.3, "outcome": "passed"}]})";

// n POSTs then n GETs over one connection; false with the reason when one
// gets no answer or not the one expected.
bool measure(const std::string &url_text, const line_tls &tls, int n, cpu_us *post_us,
             cpu_us *get_us, std::string *why) {
  line_url url;
  if (!line_parse_url(url_text, &url, why)) return false;
  line_connection *c = line_connection_new(url, tls);
  const std::vector<std::pair<std::string, std::string>> headers = {
      {"Authorization", std::string("Bearer ") + TOKEN}};
  line_reply reply;
  bool ok = line_post(c, "/api/v1/records", headers, RECORD, 10, &reply, why);
  if (ok && reply.status != 201 && reply.status != 200) {
    *why = "the first record was answered " + std::to_string(reply.status) + ": " + reply.body;
    ok = false;
  }
  double start = thread_cpu_s(), user = thread_user_s();
  for (int i = 0; ok && i < n; i++)
    ok = line_post(c, "/api/v1/records", headers, RECORD, 10, &reply, why) && reply.status == 200;
  post_us->all = (thread_cpu_s() - start) * 1e6 / n;
  post_us->user = (thread_user_s() - user) * 1e6 / n;
  start = thread_cpu_s();
  user = thread_user_s();
  for (int i = 0; ok && i < n; i++)
    ok = line_get(c, "/api/v1/serials/KV-2026-000123", headers, 10, &reply, why) &&
         reply.status == 200;
  get_us->all = (thread_cpu_s() - start) * 1e6 / n;
  get_us->user = (thread_user_s() - user) * 1e6 / n;
  if (ok && reply.status != 200) *why = "answered " + std::to_string(reply.status);
  line_connection_free(c);
  return ok;
}

// korvane-line serving db, over HTTPS with cert and key when given; its URL
// from its first line.
pid_t start_server(const std::string &line, const std::string &dir, const std::string &db,
                   const test_certs *certs, std::string *url) {
  std::vector<std::string> args = {line,       "serve",         "--db",     dir + "/" + db,
                                   "--tokens", dir + "/tokens", "--listen", "0"};
  if (certs)
    args.insert(args.end(), {"--tls-cert", certs->server_cert, "--tls-key", certs->server_key});
  pid_t p = start_child(args, "korvane-line");
  std::string first;
  if (!read_child_line(p, &first, 60)) return -1;
  std::string scheme = certs ? "https://" : "http://";
  size_t at = first.find(scheme);
  if (at == std::string::npos) return -1;
  *url = first.substr(at, first.find('/', at + scheme.size()) - at);
  return p;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: line_http_bench KORVANE_LINE [EXCHANGES]\n");
    return 2;
  }
  int n = argc > 2 ? std::atoi(argv[2]) : 5000;
  if (n < 1) n = 1;
  std::string dir = temp_dir("line-http-bench");
  std::ofstream(dir + "/tokens") << "st0 " << TOKEN << "\n";
  chmod((dir + "/tokens").c_str(), 0600);
  test_certs certs;
  std::string why;
  bool have_certs = test_certs_make(&certs, &why);
  if (!have_certs) printf("https:// not measured: %s\n", why.c_str());
  printf("%-34s %14s %14s\n", "CPU of the calling thread (us)", "POST record", "GET serial");
  int status = 0;
  for (int secure = 0; secure < 2; secure++) {
    if (secure && !have_certs) break;
    std::string url;
    pid_t server =
        start_server(argv[1], dir, secure ? "tls.db" : "plain.db", secure ? &certs : nullptr, &url);
    if (server < 0) {
      fprintf(stderr, "line_http_bench: korvane-line did not start\n");
      status = 1;
      break;
    }
    line_tls tls;
    if (secure) tls.ca_file = certs.ca;
    cpu_us post_us, get_us;
    if (measure(url, tls, n, &post_us, &get_us, &why)) {
      printf("%-34s %14.1f %14.1f\n", secure ? "https:// per exchange" : "http:// per exchange",
             post_us.all, get_us.all);
      printf("%-34s %14.1f %14.1f\n", "  of which user space", post_us.user, get_us.user);
    } else {
      fprintf(stderr, "line_http_bench: %s\n", why.c_str());
      status = 1;
    }
    stop_child(server, SIGTERM, 60);
  }
  if (have_certs) test_certs_remove(certs);
  remove_tree(dir);
  return status;
}
