// Files as the tests make, compare and clear them away.
#pragma once

#include <string>

// The whole contents of a file; empty when it cannot be read.
std::string read_file(const std::string &path);

// A new empty directory or file under $TMPDIR (or /tmp), its name begun
// with stem; "" when it cannot be made.
std::string temp_dir(const std::string &stem);
std::string temp_file(const std::string &stem);

// Removes path and, for a directory, everything in it; a link, not what it
// leads to.
void remove_tree(const std::string &path);
