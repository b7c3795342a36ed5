// The UART: a 16550 register block with 32-bit registers 4 bytes apart, of
// which the low 8 bits carry data. The transmitter is always ready (line
// status bits 5 and 6); received bytes come from the back-end.
#include "board_models.h"

namespace {

constexpr uint32_t RBR_THR_DLL = 0x00, IER_DLM = 0x04, IIR_FCR = 0x08, LCR = 0x0C,
                   MCR = 0x10, LSR = 0x14, MSR = 0x18, SCR = 0x1C;
constexpr uint32_t LCR_DLAB = 0x80;
constexpr uint32_t LSR_DATA_READY = 0x01, LSR_THR_EMPTY = 0x20, LSR_TX_IDLE = 0x40;
constexpr uint32_t IIR_NONE_PENDING = 0xC1;  // FIFOs on, no interrupt pending

// A program that waits for input reads the line status in a tight loop, with
// no other UART access between; after this many such reads the back-end may
// block until input comes. A program that sends reads the line status too,
// but each byte it stores to the data register starts the count again. Low
// enough that an idle program costs little, high enough that a program that
// merely checks for input now and then never blocks.
constexpr unsigned IDLE_POLLS = 32;

uint32_t line_status(board &b) {
  uart_state &u = b.uart;
  uint32_t status = LSR_THR_EMPTY | LSR_TX_IDLE;
  if (u.backend.rx_peek(u.backend.ctx) >= 0) {
    u.empty_polls = 0;
    return status | LSR_DATA_READY;
  }
  if (++u.empty_polls >= IDLE_POLLS) {
    u.empty_polls = 0;
    if (u.backend.rx_idle != nullptr) u.backend.rx_idle(u.backend.ctx);
  }
  return status;
}

uint64_t uart_read(uc_engine *, uint64_t offset, unsigned size, void *user) {
  board &b = *static_cast<board *>(user);
  uart_state &u = b.uart;
  bool dlab = (u.lcr & LCR_DLAB) != 0;
  uint32_t value = 0;
  switch (offset) {
    case RBR_THR_DLL:
      if (dlab) {
        value = u.dll;
      } else {
        int byte = u.backend.rx_take(u.backend.ctx);
        value = byte < 0 ? 0 : static_cast<uint32_t>(byte);
      }
      break;
    case IER_DLM: value = dlab ? u.dlm : u.ier; break;
    case IIR_FCR: value = IIR_NONE_PENDING; break;
    case LCR: value = u.lcr; break;
    case MCR: value = u.mcr; break;
    case LSR: value = line_status(b); break;
    case MSR: value = 0; break;
    case SCR: value = u.scr; break;
    default: break;
  }
  if (offset != LSR) u.empty_polls = 0;
  board_record(b, UART_BASE + static_cast<uint32_t>(offset), size, false, value);
  return value;
}

void uart_write(uc_engine *, uint64_t offset, unsigned size, uint64_t value64, void *user) {
  board &b = *static_cast<board *>(user);
  uart_state &u = b.uart;
  uint32_t value = static_cast<uint32_t>(value64);
  board_record(b, UART_BASE + static_cast<uint32_t>(offset), size, true, value);
  u.empty_polls = 0;
  bool dlab = (u.lcr & LCR_DLAB) != 0;
  switch (offset) {
    case RBR_THR_DLL:
      if (dlab) {
        u.dll = value & 0xFF;
      } else {
        u.backend.tx(u.backend.ctx, static_cast<uint8_t>(value));
      }
      break;
    case IER_DLM: (dlab ? u.dlm : u.ier) = value & 0xFF; break;
    case LCR: u.lcr = value & 0xFF; break;
    case MCR: u.mcr = value & 0xFF; break;
    case SCR: u.scr = value & 0xFF; break;
    default: break;  // FIFO control: the model has no FIFO to clear
  }
}

}  // namespace

bool uart_map(board &b) {
  return uc_mmio_map(b.uc, UART_BASE, PERIPHERAL_WINDOW, uart_read, &b, uart_write, &b) ==
         UC_ERR_OK;
}
