#include "uart_queue.h"

namespace {

int peek(void *ctx) {
  const auto &rx = static_cast<uart_queue *>(ctx)->rx;
  return rx.empty() ? -1 : rx.front();
}

int take(void *ctx) {
  auto &rx = static_cast<uart_queue *>(ctx)->rx;
  if (rx.empty()) return -1;
  int byte = rx.front();
  rx.pop_front();
  return byte;
}

void sent(void *ctx, uint8_t byte) { static_cast<uart_queue *>(ctx)->tx += char(byte); }

void idle(void *ctx) {
  auto *q = static_cast<uart_queue *>(ctx);
  if (!q->rx.empty()) return;
  q->waiting = true;
  if (q->b != nullptr) board_request_stop(q->b);
}

}  // namespace

uart_backend uart_queue_backend(uart_queue *q) { return {peek, take, sent, idle, q}; }

bool uart_queue_exchange(uart_queue *q, const std::string &input, uint64_t max_instructions) {
  q->rx.insert(q->rx.end(), input.begin(), input.end());
  q->waiting = false;
  return board_run(q->b, max_instructions) && q->waiting && q->rx.empty();
}
