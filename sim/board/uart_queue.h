// A UART back-end for a board run in-process (the bus-level tests, the
// benchmarks): the input is a queue that the caller fills, the output a
// string. A program that polls an empty receiver has had its turn: the
// back-end stops the board, so that board_run returns and the caller can
// look at what was sent, then queue more input and run again.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "board.h"

struct uart_queue {
  board *b = nullptr;  // the board to stop; set once board_create returned it
  std::deque<uint8_t> rx;
  std::string tx;
  bool waiting = false;  // the program polled the receiver with the queue empty
};

uart_backend uart_queue_backend(uart_queue *q);
// Queues the input and runs the board until the program waits for more, at
// most max_instructions. False on a fault, at the limit, or when the program
// left input unread.
bool uart_queue_exchange(uart_queue *q, const std::string &input, uint64_t max_instructions);
