// korvane-line serve [--db DB] [--listen [ADDR:]PORT] --tokens FILE
// [--tls-cert FILE --tls-key FILE | --insecure-http]: opens the line's
// database, reads the stations' tokens and serves, over HTTPS with a
// certificate, until SIGINT or SIGTERM. Returns the exit status: 0 after a signal, 1 when it cannot start,
// 2 for a bad option.
#pragma once

int line_serve_main(int argc, char **argv);
