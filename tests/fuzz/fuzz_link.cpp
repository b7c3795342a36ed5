#include "fuzz_link.h"

#include "serial_link.h"

#include <cstdlib>

fuzz_line_state fuzz_line;

static fuzz_read_hook read_hook;

void fuzz_line_reset(const std::uint8_t *input, std::size_t size, fuzz_read_hook hook)
{
    fuzz_line = fuzz_line_state();
    fuzz_line.input = input;
    fuzz_line.size = size;
    read_hook = hook;
}

bool serial_open(int, const char *)
{
    return true;
}

void serial_configure(unsigned)
{
}

void serial_write_byte(unsigned char byte)
{
    fuzz_line.written.push_back(byte);
}

int serial_read_byte(unsigned timeout_ms)
{
    fuzz_line.reads++;
    int byte = 0;
    if (fuzz_line.pos < fuzz_line.size)
        byte = fuzz_line.input[fuzz_line.pos++];
    else if (timeout_ms == 0)
        throw line_ended();
    if (byte == 0)
        fuzz_line.clock_ms += timeout_ms;
    if (read_hook)
        read_hook(timeout_ms, byte);
    return byte;
}

void serial_close(void)
{
}

bool serial_port_is(std::FILE *)
{
    return false;
}

const char *serial_port_name(void)
{
    return "COM1";
}

void serial_port_lost(void)
{
    // Nothing in the scripted line ever goes away.
    std::abort();
}
