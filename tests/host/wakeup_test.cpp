#include "scripted_link.h"
#include "wakeup.h"

#include <gtest/gtest.h>

namespace {

TEST(Wakeup, RepeatsThePatternUntilANak) {
  const std::vector<unsigned char> pattern = {0xBB, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
  struct {
    std::vector<int> answers;
    std::size_t patterns;
  } cases[] = {
      {{0x15}, 1},
      {{SILENCE, SILENCE, 0x15}, 3},
      {{0x06, 0x95, 0x00, 'C', 0x15}, 5},  // anything but NAK keeps it going
  };
  for (const auto &c : cases) {
    scripted_link_reset(replies(c.answers));
    wait_for_wakeup();
    ASSERT_EQ(c.patterns * 8, serial_log.written.size());
    for (std::size_t i = 0; i < serial_log.written.size(); i++)
      EXPECT_EQ(pattern[i % 8], serial_log.written[i]);
    EXPECT_EQ(std::vector<unsigned>(c.patterns, 50), serial_log.read_timeouts);
  }
}

}  // namespace
