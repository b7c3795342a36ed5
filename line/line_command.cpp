#include "line/line_command.h"

#include <algorithm>

#include "korvane/why.h"

bool line_command_parse(int argc, char **argv, const std::vector<std::string> &names,
                        line_command *c, std::string *why) {
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      c->help = true;
      continue;
    }
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "--") {
      c->arguments.push_back(arg);
      continue;
    }
    size_t eq = arg.find('=');
    std::string name = arg.substr(0, eq);
    if (std::find(names.begin(), names.end(), name) == names.end())
      return set_why(why, "unknown option %s", name.c_str());
    if (name == "--insecure-http") {
      if (eq != std::string::npos) return set_why(why, "%s takes no value", name.c_str());
      c->insecure_http = true;
      continue;
    }
    std::string value;
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      return set_why(why, "%s needs its %s", name.c_str(),
                     name == "--listen" ? "[ADDR:]PORT"
                     : name == "--db"   ? "DB"
                                        : "FILE");
    }
    if (name == "--db") c->db = value;
    if (name == "--listen") c->listen = value;
    if (name == "--tokens") c->tokens = value;
    if (name == "--tls-cert") c->tls_cert = value;
    if (name == "--tls-key") c->tls_key = value;
  }
  return true;
}
