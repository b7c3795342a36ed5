#include "monitor_rig.h"

#include <gtest/gtest.h>

#include "boot_image_format.h"
#include "test_files.h"

namespace {

// Far more than any command takes, including 2^20 NAND polls; a program that
// runs away still ends the test quickly.
constexpr uint64_t INSTRUCTION_LIMIT = 60'000'000;

}  // namespace

const std::vector<uint8_t> &image_code() {
  static const std::vector<uint8_t> code = [] {
    const std::string file = read_file(MONITOR_IMAGE_FILE);
    const std::vector<uint8_t> image(file.begin(), file.end());
    boot_image_info info;
    std::string reason;
    if (!boot_image_parse(image.data(), image.size(), &info, &reason)) {
      ADD_FAILURE() << MONITOR_IMAGE_FILE << ": " << reason;
      return std::vector<uint8_t>{};
    }
    return std::vector<uint8_t>(image.begin() + info.code_offset,
                                image.begin() + info.code_offset + info.code_size);
  }();
  return code;
}

monitor_rig::monitor_rig(board_config config) {
  config.record_accesses = true;
  uart_backend backend = uart_queue_backend(&line);
  std::string why;
  b = line.b = board_create(&config, &backend, &why);
  if (b == nullptr) {
    ADD_FAILURE() << "no board: " << why;
    return;
  }
  EXPECT_TRUE(board_load(b, image_code().data(), image_code().size()));
}

monitor_rig::~monitor_rig() {
  if (b != nullptr) board_destroy(b);
}

std::string monitor_rig::send(const std::string &input) {
  size_t before = line.tx.size();
  std::string why;
  EXPECT_TRUE(uart_queue_exchange(&line, input, INSTRUCTION_LIMIT, &why)) << why;
  return line.tx.substr(before);
}

uint32_t monitor_rig::read_word(uint32_t address) {
  uint32_t value = 0;
  EXPECT_TRUE(board_read_memory(b, address, &value, 4));
  return value;
}

command_time time_command(const std::string &setup, const std::string &command,
                          board_config config) {
  monitor_rig rig(config);
  rig.send(setup);
  board_profile_blocks(rig.b, INTERNAL_RAM_BASE, INTERNAL_RAM_BASE + INTERNAL_RAM_SIZE);
  uint64_t before = board_instructions(rig.b), skipped = board_skipped_instructions(rig.b);
  rig.send(command);
  return {board_instructions(rig.b) - before, board_skipped_instructions(rig.b) - skipped,
          board_busiest_loop(rig.b)};
}

std::vector<bus_access> accesses_in(const std::vector<bus_access> &all, uint32_t low,
                                    uint32_t high) {
  std::vector<bus_access> out;
  for (const bus_access &a : all)
    if (a.address >= low && a.address < high) out.push_back(a);
  return out;
}

void expect_steps(const std::vector<bus_step> &expected, const std::vector<bus_access> &actual,
                  uint8_t width) {
  ASSERT_GE(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(expected[i].address, actual[i].address);
    EXPECT_EQ(width, actual[i].width);
    EXPECT_EQ(expected[i].write, actual[i].write);
    EXPECT_EQ(expected[i].value, actual[i].value);
  }
}

std::vector<std::string> crlf_lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}
