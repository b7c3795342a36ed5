// A file written whole: into a temporary file beside it, made durable, then
// renamed over it, so that a reader (a browser, a build, a line server)
// finds either the old file or the new one, complete, and a failure leaves
// the old one as it was. korvane-station's run files and pages,
// korvane-diagnose's page and korvane-image's image are written this way.
//
// Principles of operation
// - An existing path must be a regular file that may be written: a device
//   or a FIFO renamed over would become a plain file. A symbolic link is
//   written through to its target, so the link stays a link, and the new
//   file keeps the old one's permissions.
// - The temporary file's name cannot be guessed, so no one can plant a link
//   at it (POSIX).
// - The reason is the system's own, on Windows as on POSIX.
#pragma once

#include <cstddef>
#include <string>

// What failed, for a program that words the two apart.
enum class whole_file_step {
  create,  // the temporary file could not be made
  write,   // anything after
};

// Writes size bytes at data to path whole. False with the system's reason
// ("No such file or directory", "not a regular file") in *why and, when
// step is given, the step that failed.
bool write_whole_file(const std::string &path, const void *data, size_t size, std::string *why,
                      whole_file_step *step = nullptr);

inline bool write_whole_file(const std::string &path, const std::string &contents,
                             std::string *why) {
  return write_whole_file(path, contents.data(), contents.size(), why);
}
