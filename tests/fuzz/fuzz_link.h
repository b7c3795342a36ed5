// A serial link played from a fuzzer's input, linked in place of a real
// back-end. Every read takes the next input byte; a zero byte, or the end of
// the input, plays as silence and moves a virtual clock on by the read's
// time-out (the link returns 0 for both, so nothing is lost by it). A read
// without time-out that finds the input used up would wait for ever on a
// real line; it throws line_ended instead, so that the harness gets its turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct line_ended {};

struct fuzz_line_state {
    const std::uint8_t *input = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
    std::vector<unsigned char> written;
    unsigned long long clock_ms = 0;
    unsigned long reads = 0;
};

extern fuzz_line_state fuzz_line;

// Called at every read, after its byte has been chosen and before it is
// returned: the harness checks what was written since the last read.
typedef void (*fuzz_read_hook)(unsigned timeout_ms, int byte);

void fuzz_line_reset(const std::uint8_t *input, std::size_t size, fuzz_read_hook hook);
