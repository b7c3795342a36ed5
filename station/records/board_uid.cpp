#include "station/records/board_uid.h"

#include <random>

std::string board_new_uid(void) {
  // The system's source of randomness, read afresh for every uid: two
  // stations started at the same moment never draw the same numbers.
  std::random_device source;
  unsigned char bytes[16];
  for (int i = 0; i < 16; i += 4) {
    unsigned int word = source();
    for (int k = 0; k < 4; k++) bytes[i + k] = (unsigned char)(word >> (8 * k));
  }
  bytes[6] = (unsigned char)((bytes[6] & 0x0f) | 0x40);  // version 4
  bytes[8] = (unsigned char)((bytes[8] & 0x3f) | 0x80);  // the standard variant
  static const char HEX[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < 16; i++) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += HEX[bytes[i] >> 4];
    out += HEX[bytes[i] & 15];
  }
  return out;
}

bool board_uid_valid(const std::string &text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (dash ? c != '-' : !hex) return false;
  }
  return true;
}
