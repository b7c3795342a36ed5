#include "korvane_logs.h"

#include <cstdio>

sdram_reads reads_of(const sdram_fault_config &faults) {
  sdram_reads r;
  sdram_replay(faults, &r);
  return r;
}

std::string traced_sdram_test(const sdram_reads &reads) {
  bool sound = reads == reads_of(sdram_fault_config{});
  return "Testing SDRAM...\n" + sdram_trace(reads) + (sound ? "passed\n" : "failed\n");
}

std::string traced_sdram_test(const sdram_fault_config &faults) {
  return traced_sdram_test(reads_of(faults));
}

std::string traced_flash_test(const flash_reading &r) {
  char trace[64];
  snprintf(trace, sizeof trace, "M%x D%x R%x P%x \r\nS%x\r\n", r.id[0], r.id[1], r.id[2], r.id[3],
           r.status);
  return std::string("Testing FLASH...\n") + trace +
         (flash_result(r) == 0 ? "passed\n" : "failed\n");
}

std::string plain_test(bool sdram, bool passed) {
  return std::string(sdram ? "Testing SDRAM... " : "Testing FLASH... ") +
         (passed ? "passed\n" : "failed\n");
}

flash_reading good_flash() {
  flash_reading r;
  r.id[0] = 0x2c;
  r.id[1] = 0xf1;
  r.id[2] = 0x80;
  r.id[3] = 0x95;
  r.status = 0xe0;
  return r;
}
