// The host's side of the monitor command exchange: wait for the prompt "?",
// send one command byte, echo the trace text up to ":", take the result.
#pragma once

// Reads without time-out until the byte arrives; every other byte is dropped.
void wait_for_byte(unsigned char byte);

// Runs one command; true when its result starts with "0" (passed).
bool run_monitor_command(unsigned char command);
