// The whole contents of a file, as the tests compare them; empty when it
// cannot be read.
#pragma once

#include <string>

std::string read_file(const std::string &path);
