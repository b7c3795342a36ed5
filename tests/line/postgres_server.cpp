#include "postgres_server.h"

#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "test_files.h"

namespace {

// The newest PostgreSQL's programs Debian installed.
std::string bin_dir(void) {
  glob_t found = {};
  std::string dir;
  if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &found) == 0 && found.gl_pathc)
    dir = found.gl_pathv[found.gl_pathc - 1];
  globfree(&found);
  return dir.empty() ? "" : dir.substr(0, dir.rfind('/'));
}

// Runs a shell command as the postgres user (as it is when the tests run as
// it already); true when it ended 0.
bool as_postgres(const std::string &command) {
  std::string line = getuid() == 0 ? "runuser -u postgres -- sh -c '" + command + "'" : command;
  return std::system((line + " >/dev/null 2>&1").c_str()) == 0;
}

std::string pg_ctl(const postgres_server *s, const std::string &what) {
  return bin_dir() + "/pg_ctl -D " + s->dir + "/data -w -t 30 " + what;
}

}  // namespace

bool postgres_start(postgres_server *s, std::string *why) {
  std::string bin = bin_dir();
  if (bin.empty()) {
    *why = "PostgreSQL's server is not installed (Debian's postgresql)";
    return false;
  }
  s->dir = temp_dir("line-postgres");
  if (s->dir.empty()) {
    *why = "no temporary folder";
    return false;
  }
  chmod(s->dir.c_str(), 0777);
  std::string options = "-c listen_addresses= -c unix_socket_directories=" + s->dir +
                        " -c fsync=on -c max_connections=200";
  if (!as_postgres(bin + "/initdb -D " + s->dir + "/data -A trust -U postgres --no-sync")) {
    *why = "initdb failed in " + s->dir;
    return false;
  }
  if (!as_postgres(pg_ctl(s, "-o \"" + options + "\" -l " + s->dir + "/log start"))) {
    *why = "the server did not start: see " + s->dir + "/log";
    return false;
  }
  s->conninfo = "host=" + s->dir + " user=postgres dbname=postgres";
  return true;
}

bool postgres_pause(postgres_server *s) { return as_postgres(pg_ctl(s, "-m fast stop")); }

bool postgres_restart(postgres_server *s) {
  std::string options = "-c listen_addresses= -c unix_socket_directories=" + s->dir;
  return as_postgres(pg_ctl(s, "-o \"" + options + "\" -l " + s->dir + "/log start"));
}

void postgres_stop(postgres_server *s) {
  if (s->dir.empty()) return;
  as_postgres(pg_ctl(s, "-m immediate stop"));
  remove_tree(s->dir);
  s->dir.clear();
}
