// The programs under test, korvane and korvane-diagnose: the native
// programs, or korvane.exe and korvane-diagnose.exe under Wine when
// KORVANE_UNDER_TEST is "wine". The tests of the built programs run the same
// cases against both builds through these functions.
//
// Under Wine every process runs in a private mount namespace in which the
// machine's /dev/ttyS* are covered by pseudo-terminals (port_sandbox), in
// the one Wine prefix the suite shares; a test's line becomes a COM port by
// a link in the prefix's dosdevices.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

bool korvane_under_wine(void);

// The port of a line (a pseudo-terminal's path) as korvane takes it and as
// its messages name it.
struct korvane_port {
  std::string arg;   // the argument of -p
  std::string name;  // "COM<n>", or the path itself natively
};

// Under Wine, maps a COM port to the line first; each line its own port,
// so that tests running side by side do not share one.
korvane_port korvane_port_for(const std::string &line_path);

// A port that leads to any file (a regular one, to see it refused): under
// Wine a COM port of this test process's own, natively the path itself.
korvane_port korvane_port_to_file(const std::string &path);

// A port that does not exist: a path natively, an unmapped COM port under
// Wine.
korvane_port korvane_missing_port(void);

enum class tested_program { korvane, diagnose };

// The argument vector that runs the program under test with args.
std::vector<std::string> program_command(tested_program program,
                                         const std::vector<std::string> &args);

// program_command for korvane.
std::vector<std::string> korvane_command(const std::vector<std::string> &args);

// The same, held where the machine's /dev/ttyS* are covered (port_sandbox),
// for a korvane that might open a numbered port; empty natively when no
// sandbox was built (the Wine suite is off).
std::vector<std::string> korvane_sandboxed_command(const std::vector<std::string> &args);

// The console text of korvane waking the board and downloading an image of
// the given size.
std::string download_text(std::size_t image_size);

// How long after its port went away korvane may take to end: Wine starts
// and ends a process more slowly, and looks at a silent port every 250 ms.
double korvane_end_bound_s(void);
