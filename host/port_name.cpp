#include "port_name.h"

#include <cstdio>

void format_port_name(char *buffer, std::size_t size, int port_number, const char *device_path) {
  if (device_path)
    std::snprintf(buffer, size, "%s", device_path);
  else
    std::snprintf(buffer, size, "COM%d", port_number);
}
