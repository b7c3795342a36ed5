#include "station/terminal/stdin_lines.h"

void stdin_take_bytes(stdin_lines *in, const char *bytes, size_t n,
                      std::vector<std::string> *lines) {
  if (in->keys) {
    in->keys_read.append(bytes, n);
    return;
  }
  for (size_t i = 0; i < n; i++) {
    if (bytes[i] == '\n') {
      if (!in->dropping || !in->pending.empty()) lines->push_back(in->pending);
      in->pending.clear();
      in->dropping = false;
    } else if (in->pending.size() < MAX_INPUT_LINE && !in->dropping) {
      in->pending += bytes[i];
    } else if (!in->dropping) {
      lines->push_back(in->pending);
      in->pending.clear();
      in->dropping = true;
    }
  }
}

void stdin_take_end(stdin_lines *in, std::vector<std::string> *lines) {
  // A last line without its end still counts.
  if (!in->pending.empty() && !in->dropping) lines->push_back(in->pending);
  in->pending.clear();
  in->ended = true;
}
