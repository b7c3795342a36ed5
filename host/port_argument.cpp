#include "port_argument.h"

#include "port_name.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

// Where a device named without its directory is most likely found; on
// Win32 the device namespace, in a form that -p takes as a path.
#if defined(_WIN32)
static const char DEVICE_DIRECTORY[] = "//./";
#else
static const char DEVICE_DIRECTORY[] = "/dev/";
#endif

port_number_reading read_port_number(const char *text, int *number) {
  *number = 0;
  errno = 0;
  char *end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (end == text) return PORT_NO_NUMBER;
  if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return PORT_OUT_OF_RANGE;
  *number = (int)value;
  return PORT_NUMBER;
}

bool port_argument_usable(const char *text) {
  int number;
  switch (read_port_number(text, &number)) {
    case PORT_OUT_OF_RANGE:
      std::fprintf(stderr, "Could not open serial port %s.\n", text);
      std::fprintf(stderr, "%s: Port number out of range\n", text);
      return false;
    case PORT_NO_NUMBER:
      // An empty argument is no name to hint at: COM0 fails on its own.
      if (*text == '\0') return true;
      char name[32];
      format_port_name(name, sizeof name, number, nullptr);
      std::fprintf(stderr, "Could not open serial port %s.\n", name);
      // A port named as Windows names it is a number already; any other
      // name is a device, given in the device namespace's form once, never
      // prefixed a second time.
      if (int com = com_port_number(text))
        std::fprintf(stderr, "%s: no such port number; give the number: -p %d\n", text, com);
      else
        std::fprintf(stderr, "%s: no such port number; give a device path such as %s%s\n", text,
                     DEVICE_DIRECTORY, without_device_prefix(text));
      return false;
    case PORT_NUMBER:
      break;
  }
  return true;
}
