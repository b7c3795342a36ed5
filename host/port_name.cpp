#include "port_name.h"

#include <cctype>
#include <climits>
#include <cstdio>

void format_port_name(char *buffer, std::size_t size, int port_number, const char *device_path) {
  if (device_path)
    std::snprintf(buffer, size, "%s", device_path);
  else
    std::snprintf(buffer, size, "COM%d", port_number);
}

static bool is_slash(char c) { return c == '\\' || c == '/'; }

const char *without_device_prefix(const char *name) {
  if (is_slash(name[0]) && is_slash(name[1]) && name[2] == '.' && is_slash(name[3]))
    return name + 4;
  return name;
}

int com_port_number(const char *name) {
  const char *p = without_device_prefix(name);
  if (std::toupper((unsigned char)p[0]) != 'C' || std::toupper((unsigned char)p[1]) != 'O' ||
      std::toupper((unsigned char)p[2]) != 'M')
    return 0;
  p += 3;
  long long n = 0;
  // No sign, no blanks and no leading zero: those are other names.
  if (*p < '1' || *p > '9') return 0;
  for (; std::isdigit((unsigned char)*p); p++) {
    n = n * 10 + (*p - '0');
    if (n > INT_MAX) return 0;
  }
  if (*p == ':') p++;
  return *p == '\0' ? (int)n : 0;
}
