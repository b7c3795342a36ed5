#include "korvane_program.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#ifndef KORVANE_EXE
#define KORVANE_EXE ""
#define DIAGNOSE_EXE ""
#define PORT_SANDBOX ""
#define WINE_PROGRAM ""
#define WINE_PREFIX ""
#endif

bool korvane_under_wine(void) {
  const char *which = std::getenv("KORVANE_UNDER_TEST");
  return which && std::strcmp(which, "wine") == 0;
}

// The environment every Wine process of the suite shares. Set once; the
// children inherit it.
static void set_wine_environment(void) {
  if (!*KORVANE_EXE) {
    std::fprintf(stderr, "the Windows programs were not built: no Wine tests in this build tree\n");
    std::exit(1);
  }
  setenv("WINEPREFIX", WINE_PREFIX, 1);
  setenv("WINEDEBUG", "-all", 1);
  // No Gecko or Mono installer prompts for a console program.
  setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
}

static korvane_port map_com_port(int number, const std::string &target) {
  set_wine_environment();
  std::string link = std::string(WINE_PREFIX) + "/dosdevices/com" + std::to_string(number);
  unlink(link.c_str());
  if (symlink(target.c_str(), link.c_str()) != 0) std::perror(link.c_str());
  return {std::to_string(number), "COM" + std::to_string(number)};
}

korvane_port korvane_port_for(const std::string &line_path) {
  if (!korvane_under_wine()) return {line_path, line_path};
  // /dev/pts/<k> is unique among the lines open at once; 10 and up also
  // takes the device-namespace name that COM10 and above need.
  const char *digits = std::strrchr(line_path.c_str(), '/');
  return map_com_port(10 + std::atoi(digits ? digits + 1 : "0"), line_path);
}

korvane_port korvane_port_to_file(const std::string &path) {
  if (!korvane_under_wine()) return {path, path};
  // Far above the numbers of the lines, and apart for each test process.
  return map_com_port(1000 + getpid() % 9000, path);
}

korvane_port korvane_missing_port(void) {
  if (!korvane_under_wine()) return {"/nonexistent/ttyS9", "/nonexistent/ttyS9"};
  return {"999", "COM999"};
}

std::vector<std::string> program_command(tested_program program,
                                         const std::vector<std::string> &args) {
  bool diagnose = program == tested_program::diagnose;
  std::vector<std::string> argv;
  if (korvane_under_wine()) {
    set_wine_environment();
    argv = {PORT_SANDBOX, WINE_PROGRAM, diagnose ? DIAGNOSE_EXE : KORVANE_EXE};
  } else {
    argv = {diagnose ? DIAGNOSE_NATIVE : KORVANE_NATIVE};
  }
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::vector<std::string> korvane_command(const std::vector<std::string> &args) {
  return program_command(tested_program::korvane, args);
}

std::vector<std::string> korvane_sandboxed_command(const std::vector<std::string> &args) {
  if (korvane_under_wine()) return korvane_command(args);
  if (!*PORT_SANDBOX) return {};
  std::vector<std::string> argv = korvane_command(args);
  argv.insert(argv.begin(), PORT_SANDBOX);
  return argv;
}

std::string download_text(std::size_t image_size) {
  std::string s = "Waiting for the board to wake up...\r" + std::string(35, ' ') +
                  "\rDownloading boot code...(  0%)";
  for (std::size_t sent = 0; sent <= image_size; sent += 128) {
    char step[16];
    std::snprintf(step, sizeof step, "\b\b\b\b\b%3d%%)", (int)(100 * sent / image_size));
    s += step;
  }
  return s + "\r" + std::string(31, ' ') + "\r";
}

double korvane_end_bound_s(void) { return korvane_under_wine() ? 2.0 : 1.0; }
