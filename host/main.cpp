#include "korvane_run.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#endif

int main(int argc, char **argv) {
#if defined(_WIN32)
  // The console text is the same bytes on every build: text mode would
  // add a CR before every LF, the monitor's CR LF becoming CR CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return korvane_run(argc, argv);
}
