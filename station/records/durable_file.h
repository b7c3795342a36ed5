// Files a reader never sees half of: written beside their place, made
// durable, then renamed over it, so that a reader sees the old file or the
// new one, whole, and a station that dies leaves the last whole one.
#pragma once

#include <string>

// Replaces path with contents, durably. False with the reason, path as it
// was, otherwise.
bool replace_file_durably(const std::string &path, const std::string &contents, std::string *why);

// Makes what was written to the open file durable (fsync, or _commit).
bool sync_file(int fd);
