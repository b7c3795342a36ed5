#include "flash_checks.h"

#include <cstdio>

namespace {

constexpr uint8_t STATUS_READY = 0x40;
constexpr uint8_t STATUS_GOOD = 0xE0;  // ready, not write-protected, no error
constexpr uint8_t DEVICE_CODE = 0xF1;

// The accepted devices: either maker's part, each with its own fourth ID byte.
struct maker {
  uint8_t code;
  uint8_t fourth;
};
constexpr maker MAKERS[] = {{0x20, 0x1D}, {0x2C, 0x95}};

std::string hex_byte(unsigned v) {
  char text[8];
  snprintf(text, sizeof text, "0x%02x", v);
  return text;
}

const maker *find_maker(uint8_t code) {
  for (const maker &m : MAKERS)
    if (m.code == code) return &m;
  return nullptr;
}

// One row a check: its result and the words for a reading that fails it, or
// an empty string for one that passes.
struct flash_check {
  int result;
  const char *name;
  std::string (*fails)(const flash_reading &r);
};

const flash_check CHECKS[] = {
    {1, "maker",
     [](const flash_reading &r) -> std::string {
       if (find_maker(r.id[0])) return "";
       return "maker " + hex_byte(r.id[0]) + " is neither " + hex_byte(MAKERS[0].code) + " nor " +
              hex_byte(MAKERS[1].code);
     }},
    {2, "device",
     [](const flash_reading &r) -> std::string {
       if (r.id[1] == DEVICE_CODE) return "";
       return "device " + hex_byte(r.id[1]) + " is not " + hex_byte(DEVICE_CODE);
     }},
    {3, "third_id_byte",
     [](const flash_reading &r) -> std::string {
       if (r.id[2] == 0x00 || r.id[2] == 0x80) return "";
       return "third ID byte " + hex_byte(r.id[2]) + " is neither 0x00 nor 0x80";
     }},
    {4, "fourth_id_byte",
     [](const flash_reading &r) -> std::string {
       const maker *m = find_maker(r.id[0]);
       if (!m || r.id[3] == m->fourth) return "";
       return "fourth ID byte " + hex_byte(r.id[3]) + " is not maker " + hex_byte(m->code) + "'s " +
              hex_byte(m->fourth);
     }},
    {5, "status",
     [](const flash_reading &r) -> std::string {
       if (r.status == STATUS_GOOD) return "";
       return "status " + hex_byte(r.status) + " is not " + hex_byte(STATUS_GOOD);
     }},
};

}  // namespace

bool flash_ready(const flash_reading &r) {
  if ((r.status & STATUS_READY) != 0) return true;
  if (r.status != FLASH_STATUS_MISREAD) return false;
  // A busy chip answers every load with its status, the ID's four included.
  for (uint8_t byte : r.id)
    if (byte != r.status) return true;
  return false;
}

std::vector<flash_failure> flash_failures(const flash_reading &r) {
  std::vector<flash_failure> out;
  if (!flash_ready(r)) return out;
  for (const flash_check &c : CHECKS) {
    std::string words = c.fails(r);
    if (words.empty()) continue;
    if (c.result == 5 && r.status == FLASH_STATUS_MISREAD) {
      out.push_back(
          {c.result, "status_misread", "status 0x00, read without its Read Status command"});
    } else {
      out.push_back({c.result, c.name, words});
    }
  }
  return out;
}

int flash_result(const flash_reading &r) {
  if (!flash_ready(r)) return NAND_RESULT_NEVER_READY;
  std::vector<flash_failure> failed = flash_failures(r);
  return failed.empty() ? 0 : failed.back().result;
}
