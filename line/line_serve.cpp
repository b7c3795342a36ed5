#include "line/line_serve.h"

#include <csignal>
#include <cstdio>
#include <memory>

#include "korvane/why.h"
#include "line/line_command.h"
#include "line/line_server.h"
#include "serve/serve_listen.h"
#include "serve/serve_tls.h"
#include "station/web/web_address.h"

namespace {

const char USAGE[] =
    "Usage: korvane-line serve [--db DB] [--listen [ADDR:]PORT] --tokens FILE\n"
    "                          [--tls-cert FILE --tls-key FILE | --insecure-http]\n";

int cannot(const std::string &why) {
  fprintf(stderr, "korvane-line: %s\n", why.c_str());
  return 1;
}

// Whether the options may go together: the certificate and its key both or
// neither, and plain HTTP beyond loopback only when asked for by name, for
// anyone on the network could read the stations' tokens and records.
bool exposure_allowed(const line_command &c, std::string *why) {
  if (c.tls_cert.empty() != c.tls_key.empty())
    return set_why(why, "--tls-cert and --tls-key go together");
  web_address where;
  // An address that does not parse is refused when the server starts.
  if (!c.tls_cert.empty() || c.insecure_http || !web_parse_address(c.listen, &where, nullptr) ||
      serve_is_loopback(where.host))
    return true;
  return set_why(why,
                 "refusing plain HTTP on %s, where other machines would read the stations' "
                 "tokens and records: give --tls-cert and --tls-key, or --insecure-http",
                 where.host.c_str());
}

}  // namespace

int line_serve_main(int argc, char **argv) {
  line_command c;
  std::string why;
  if (!line_command_parse(
          argc, argv,
          {"--db", "--listen", "--tokens", "--tls-cert", "--tls-key", "--insecure-http"}, &c,
          &why) ||
      (!c.help && (c.tokens.empty() || !c.arguments.empty() || !exposure_allowed(c, &why)))) {
    if (why.empty())
      why = c.tokens.empty() ? "--tokens FILE is needed" : "unexpected argument: " + c.arguments[0];
    fprintf(stderr, "korvane-line: %s\n%s", why.c_str(), USAGE);
    return 2;
  }
  if (c.help) {
    fputs(USAGE, stdout);
    return 0;
  }
  // The key is read, and checked, before anything else is opened.
  std::unique_ptr<serve_tls, decltype(&serve_tls_free)> tls(nullptr, serve_tls_free);
  if (!c.tls_cert.empty()) {
    tls.reset(serve_tls_load(c.tls_cert, c.tls_key, &why));
    if (!tls) return cannot(why);
  }
  // The signals are taken by sigwait below, never by a thread of the server.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  line_service service;
  if (!line_tokens_read(c.tokens, &service.tokens, &why)) return cannot(why);
  service.store = line_store_open(c.db, &why);
  if (!service.store) return cannot(why);
  service.stations = line_stations_new(service.tokens, service.store);
  std::string bound;
  line_server *server = line_server_start(c.listen, &service, tls.get(), &bound, &why);
  if (!server) {
    line_stations_free(service.stations);
    line_store_close(service.store);
    return cannot(why);
  }
  // The database is named only when it is a file: a connection string may
  // carry a password.
  std::string from = line_store_is_postgres(c.db) ? "PostgreSQL" : c.db;
  printf("korvane-line: serving %s, records into %s\n", bound.c_str(), from.c_str());
  fflush(stdout);
  int signal_number = 0;
  sigwait(&stop, &signal_number);
  line_server_stop(server);
  line_stations_free(service.stations);
  line_store_close(service.store);
  printf("korvane-line: stopped\n");
  return 0;
}
