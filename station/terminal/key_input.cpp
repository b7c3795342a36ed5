#include "station/terminal/key_input.h"

namespace {

const char ESC = 0x1B, BACKSPACE = 0x08, DEL = 0x7F, CTRL_U = 0x15;

// Takes back the last character, UTF-8's continuation bytes with it.
void take_back(std::string *typed) {
  while (!typed->empty() && (static_cast<unsigned char>(typed->back()) & 0xC0) == 0x80) {
    typed->pop_back();
  }
  if (!typed->empty()) typed->pop_back();
}

}  // namespace

void keys_take(key_line *k, const std::string &bytes, double now, key_outcome *out) {
  // A `q` that no key followed at once was pressed alone: the quit key. One
  // that keys followed in a burst began a line, which goes on as any other.
  if (k->q_first && now - k->last_key > SCAN_GAP_S) {
    k->q_first = false;
    if (k->typed == "q") {
      k->typed.clear();
      out->quit = true;
      return;
    }
  }
  if (bytes.empty()) return;
  if (!k->typed.empty() && now - k->last_key >= KEYS_STALE_S) {
    out->dropped += k->typed;
    k->typed.clear();
  }
  k->last_key = now;
  for (char c : bytes) {
    unsigned char u = static_cast<unsigned char>(c);
    if (k->escape == 1) {
      // ESC [ and ESC O open a sequence; any other key after ESC is its end.
      k->escape = c == '[' || c == 'O' ? 2 : 0;
      continue;
    }
    if (k->escape == 2) {
      if (u >= 0x40 && u <= 0x7E) k->escape = 0;
      continue;
    }
    if (c == ESC) {
      k->escape = 1;
    } else if (c == '\n' || c == '\r') {
      if (k->typed == "q") {
        k->typed.clear();
        out->quit = true;
        return;
      }
      if (!k->typed.empty()) out->lines.push_back(k->typed);
      k->typed.clear();
      k->q_first = false;
    } else if (c == BACKSPACE || c == DEL) {
      take_back(&k->typed);
      if (k->typed.empty()) k->q_first = false;
    } else if (c == CTRL_U) {
      k->typed.clear();
      k->q_first = false;
    } else if (c == 'q' && k->typed.empty()) {
      k->typed = "q";
      k->q_first = true;
    } else if (u >= 0x20 && k->typed.size() < MAX_INPUT_LINE) {
      k->typed += c;
    }
  }
}
