#include "line/line_serve.h"

#include <csignal>
#include <cstdio>

#include "line/line_command.h"
#include "line/line_server.h"

namespace {

const char USAGE[] = "Usage: korvane-line serve [--db DB] [--listen [ADDR:]PORT] --tokens FILE\n";

int cannot(const std::string &why) {
  fprintf(stderr, "korvane-line: %s\n", why.c_str());
  return 1;
}

}  // namespace

int line_serve_main(int argc, char **argv) {
  line_command c;
  std::string why;
  if (!line_command_parse(argc, argv, {"--db", "--listen", "--tokens"}, &c, &why) ||
      (!c.help && (c.tokens.empty() || !c.arguments.empty()))) {
    if (why.empty())
      why = c.tokens.empty() ? "--tokens FILE is needed" : "unexpected argument: " + c.arguments[0];
    fprintf(stderr, "korvane-line: %s\n%s", why.c_str(), USAGE);
    return 2;
  }
  if (c.help) {
    fputs(USAGE, stdout);
    return 0;
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
  line_server *server = line_server_start(c.listen, &service, &bound, &why);
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
