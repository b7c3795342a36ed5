// How a port is named in messages, the same on every back-end, and how a
// Windows name of a port is read.
#pragma once

#include <cstddef>

// "COM<n>", or the device path itself when one is given.
void format_port_name(char *buffer, std::size_t size, int port_number, const char *device_path);

// The n of a name that spells the port COM<n> as Windows takes it: COM12,
// com12, COM12: and the device-namespace forms \\.\COM12 and //./COM12 (either
// slash); 0 for any other name.
int com_port_number(const char *name);

// The name without its device-namespace prefix (\\.\ or //./), if it has one.
const char *without_device_prefix(const char *name);
