// A throw-away PostgreSQL server for the line's tests and benchmark: a
// cluster made by initdb in a temporary folder, run as the postgres user,
// listening on a Unix socket in that folder alone (no TCP), stopped and
// removed by postgres_stop.
#pragma once

#include <string>

struct postgres_server {
  std::string dir;       // the temporary folder: the cluster and the socket
  std::string conninfo;  // libpq's key=value form, for korvane-line --db
};

// False with the reason (no PostgreSQL installed, initdb or start failed).
bool postgres_start(postgres_server *server, std::string *why);

// Stops the server (fast: connections are cut) and keeps the cluster, for
// postgres_restart; true when it stopped.
bool postgres_pause(postgres_server *server);
bool postgres_restart(postgres_server *server);

// Stops the server and removes its folder.
void postgres_stop(postgres_server *server);
