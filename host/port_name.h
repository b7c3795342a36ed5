// How a port is named in messages, the same on every back-end.
#pragma once

#include <cstddef>

// "COM<n>", or the device path itself when one is given.
void format_port_name(char *buffer, std::size_t size, int port_number, const char *device_path);
