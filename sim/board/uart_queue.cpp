#include "uart_queue.h"

#include "korvane/why.h"

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

size_t waiting(void *ctx) { return static_cast<uart_queue *>(ctx)->rx.size(); }

void sent(void *ctx, uint8_t byte) { static_cast<uart_queue *>(ctx)->tx += char(byte); }

void idle(void *ctx) {
  auto *q = static_cast<uart_queue *>(ctx);
  if (!q->rx.empty()) return;
  q->waiting = true;
  if (q->b != nullptr) board_request_stop(q->b);
}

}  // namespace

uart_backend uart_queue_backend(uart_queue *q) { return {peek, take, sent, idle, q, waiting}; }

bool uart_queue_exchange(uart_queue *q, const std::string &input, uint64_t max_instructions,
                         std::string *why) {
  q->rx.insert(q->rx.end(), input.begin(), input.end());
  q->waiting = false;
  if (!board_run(q->b, max_instructions, why)) return false;
  if (!q->waiting)
    return set_why(why, "%llu instructions without waiting for input",
                   (unsigned long long)max_instructions);
  if (!q->rx.empty()) return set_why(why, "%zu bytes of input left unread", q->rx.size());
  return true;
}
