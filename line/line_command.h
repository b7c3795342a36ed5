// The options of korvane-line's serve and import commands: --db, --listen,
// --tokens, --tls-cert and --tls-key, given as "--db DB" or "--db=DB", the
// flag --insecure-http, and the plain arguments.
#pragma once

#include <string>
#include <vector>

struct line_command {
  std::string db = "korvane-line.db";
  std::string listen = "8470";
  std::string tokens;
  std::string tls_cert, tls_key;
  bool insecure_http = false;
  std::vector<std::string> arguments;
  bool help = false;
};

// False with the reason; names are the options this command takes.
bool line_command_parse(int argc, char **argv, const std::vector<std::string> &names,
                        line_command *c, std::string *why);
