#include <string>

#include <gtest/gtest.h>

#include "station/terminal/serial_rules.h"

namespace {

TEST(SerialRules, TakesPrintableTextUpTo64Characters) {
  struct {
    const char *what;
    std::string serial;
    bool acceptable;
  } cases[] = {
      {"plain", "KV-2026-000123", true},
      {"one character", "7", true},
      {"64 characters", std::string(64, 'A'), true},
      {"65 characters", std::string(65, 'A'), false},
      // Counted in characters: 64 two-byte letters are 128 bytes.
      {"64 non-ASCII letters",
       [] {
         std::string text;
         for (int i = 0; i < 64; ++i) text += "\xc3\xa9";
         return text;
       }(),
       true},
      {"65 non-ASCII letters",
       [] {
         std::string text;
         for (int i = 0; i < 65; ++i) text += "\xc3\xa9";
         return text;
       }(),
       false},
      {"markup is text", "<img src=x onerror=alert(1)>", true},
      {"quotes are text", "'; DROP TABLE boards; --", true},
      {"empty", "", false},
      {"space inside", "KV 1", true},
      {"space before", " KV-1", false},
      {"space after", "KV-1 ", false},
      {"tab", "AB\tCD", false},
      {"line feed", "AB\n", false},
      {"carriage return", "AB\r", false},
      {"escape", "\x1b[2J", false},
      {"NUL inside", std::string("AB\0CD", 5), false},
      {"DEL", "AB\x7f", false},
      {"C1 control (U+0085)", "AB\xc2\x85", false},
      {"U+00A0 is not a control", "AB\xc2\xa0", true},
      {"lone continuation byte", "AB\x80", false},
      {"cut-short sequence", "AB\xe2\x82", false},
      {"overlong slash", "\xc0\xaf", false},
      {"surrogate", "\xed\xa0\x80", false},
      {"beyond U+10FFFF", "\xf4\x90\x80\x80", false},
      {"four-byte character", "\xf0\x9f\x98\x80", true},
  };
  for (const auto &c : cases) {
    std::string why;
    EXPECT_EQ(c.acceptable, serial_is_acceptable(c.serial, &why)) << c.what;
    EXPECT_EQ(c.acceptable, why.empty()) << c.what << ": " << why;
  }
  EXPECT_FALSE(serial_is_acceptable("", nullptr));
}

}  // namespace
