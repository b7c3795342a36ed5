#include "monitor_bench.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

uint32_t le32(const std::vector<uint8_t> &bytes, size_t offset) {
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

// Far more than any command takes, including 2^20 NAND polls; a program that
// runs away still ends the test quickly.
constexpr uint64_t INSTRUCTION_LIMIT = 60'000'000;

int rx_peek(void *ctx) {
  auto &q = static_cast<monitor_bench *>(ctx)->rx;
  return q.empty() ? -1 : q.front();
}
int rx_take(void *ctx) {
  auto &q = static_cast<monitor_bench *>(ctx)->rx;
  if (q.empty()) return -1;
  int byte = q.front();
  q.pop_front();
  return byte;
}
void tx_byte(void *ctx, uint8_t byte) { static_cast<monitor_bench *>(ctx)->tx += static_cast<char>(byte); }
// The monitor waits for input that the test has not queued: its turn is over.
void rx_idle(void *ctx) {
  auto *bench = static_cast<monitor_bench *>(ctx);
  if (!bench->rx.empty()) return;
  bench->waiting = true;
  board_request_stop(bench->b);
}

}  // namespace

const std::vector<uint8_t> &image_code() {
  static const std::vector<uint8_t> code = [] {
    std::ifstream in(MONITOR_IMAGE_FILE, std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    if (image.size() < 0x200) return std::vector<uint8_t>{};
    uint32_t size = le32(image, 0x04);
    return std::vector<uint8_t>(image.begin() + 0x200, image.begin() + 0x200 + size);
  }();
  return code;
}

monitor_bench::monitor_bench(board_config config) {
  config.record_accesses = true;
  uart_backend backend{rx_peek, rx_take, tx_byte, rx_idle, this};
  b = board_create(&config, &backend);
  if (b == nullptr) {
    ADD_FAILURE() << "no board";
    return;
  }
  EXPECT_FALSE(image_code().empty()) << MONITOR_IMAGE_FILE;
  EXPECT_EQ(board_load(b, image_code().data(), image_code().size()), 1);
}

monitor_bench::~monitor_bench() {
  if (b != nullptr) board_destroy(b);
}

std::string monitor_bench::send(const std::string &input) {
  rx.insert(rx.end(), input.begin(), input.end());
  size_t before = tx.size();
  waiting = false;
  EXPECT_EQ(board_run(b, INSTRUCTION_LIMIT), 0);
  EXPECT_TRUE(waiting) << "the monitor ran " << INSTRUCTION_LIMIT << " instructions without waiting for input";
  EXPECT_TRUE(rx.empty()) << "the monitor stopped reading input";
  return tx.substr(before);
}

uint32_t monitor_bench::read_word(uint32_t address) {
  uint32_t value = 0;
  EXPECT_EQ(board_read_memory(b, address, &value, 4), 1);
  return value;
}

void monitor_bench::write_word(uint32_t address, uint32_t value) {
  EXPECT_EQ(board_write_memory(b, address, &value, 4), 1);
}

std::vector<bus_access> accesses_in(const std::vector<bus_access> &all, uint32_t low,
                                    uint32_t high) {
  std::vector<bus_access> out;
  for (const bus_access &a : all)
    if (a.address >= low && a.address < high) out.push_back(a);
  return out;
}

std::vector<std::string> crlf_lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}
