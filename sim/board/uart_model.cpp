// The UART: a 16550 register block with 32-bit registers 4 bytes apart, of
// which the low 8 bits carry data. Received bytes come from the back-end.
//
// The transmitter sends one byte a character time at the programmed rate;
// bytes stored meanwhile wait in the transmit FIFO (16 bytes with the FIFOs
// on, else one holding register), and a byte stored while it is full is
// lost. Line status bit 5 says the FIFO is empty, bit 6 that the last byte
// has left. The receive FIFO holds as many: more bytes arriving unread are
// an overrun, reported and shown in line status bit 1. The
// divisor and the line control register decide what reaches the line: a
// frame or a rate that the line's 8N1 receiver was not set for arrives
// garbled. A read of the receive register with nothing waiting gives what
// it still holds, the last byte received.
//
// Every access must be a 32-bit load or store. The set-up must leave every
// interrupt off (nothing on the board serves one; the boot ROM left two on,
// so the line used with them still on breaks the rule too), the FIFOs on and both
// cleared, the modem control lines DTR and RTS on and loopback off; each
// store of those registers is checked as it happens. The divisor latch must
// be closed again before the program uses the line: a line-status poll with
// the latch open means the program's bytes are about to become divisors.
#include <cmath>
#include <cstdio>

#include "board_models.h"

namespace {

// Register offsets; the second name holds while the divisor latch is open.
constexpr uint32_t RBR_THR_DLL = 0x00;  // receive / transmit / divisor low byte
constexpr uint32_t IER_DLM = 0x04;      // interrupt enable / divisor high byte
constexpr uint32_t IIR_FCR = 0x08;      // interrupt identification / FIFO control
constexpr uint32_t LCR = 0x0C;          // line control
constexpr uint32_t MCR = 0x10;          // modem control
constexpr uint32_t LSR = 0x14;          // line status
constexpr uint32_t MSR = 0x18;          // modem status
constexpr uint32_t SCR = 0x1C;          // scratch
const char *const REGISTER_NAMES[] = {"data register",          "interrupt enable register",
                                      "FIFO control register",  "line control register",
                                      "modem control register", "line status register",
                                      "modem status register",  "scratch register"};

constexpr uint32_t LCR_DLAB = 0x80;          // divisor latch access
constexpr uint32_t LCR_BREAK = 0x40;         // line held low
constexpr uint32_t LSR_DATA_READY = 0x01;    // a received byte waits
constexpr uint32_t LSR_OVERRUN = 0x02;       // a received byte was lost
constexpr uint32_t LSR_THR_EMPTY = 0x20;     // the transmitter takes a byte
constexpr uint32_t LSR_TX_IDLE = 0x40;       // the transmitter has sent everything
constexpr uint32_t FCR_ENABLE = 0x01;        // FIFOs on
constexpr uint32_t FCR_CLEAR_RX = 0x02;      // receive FIFO cleared
constexpr uint32_t FCR_CLEAR_TX = 0x04;      // transmit FIFO cleared
constexpr uint32_t MCR_DTR = 0x01;           // data terminal ready
constexpr uint32_t MCR_RTS = 0x02;           // request to send
constexpr uint32_t MCR_LOOPBACK = 0x10;      // output looped back, nothing on the line
constexpr uint32_t IIR_NONE_PENDING = 0x01;  // no interrupt pending
constexpr uint32_t IIR_FIFOS_ON = 0xC0;      // the FIFOs are on

// The clock behind the divisor: 16 x 89 x 115200 Hz, so that the divisor
// 0x59 gives 115200 baud exactly.
constexpr double UART_CLOCK_HZ = 164044800.0;
// A receiver samples each bit near its middle; beyond this difference in
// rate its samples of the last bits drift out of their cells.
constexpr double RATE_TOLERANCE = 0.03;

// A program that waits for input reads the line status in a tight loop, with
// no other UART access between; after this many such reads the back-end may
// block until input comes. Reads while the transmitter is busy do not count:
// the program is then waiting for its own output, not for input. Low enough
// that an idle program costs little, high enough that a program that merely
// checks for input now and then never blocks.
constexpr unsigned IDLE_POLLS = 32;

// One side's framing of a byte on the wire.
struct frame {
  double bit_s;
  int data_bits;     // 5 to 8
  int parity;        // 0 none, 1 odd, 2 even, 3 always 1, 4 always 0
  double stop_bits;  // 1, 1.5 or 2
  bool line_break;   // the line is held low
};

frame line_frame(long baud) { return {1.0 / double(baud), 8, 0, 1, false}; }

frame uart_frame(const uart_device &u) {
  // A divisor of 0 counts as 65536, the counter's full turn.
  uint32_t divisor = (u.dlm << 8 | u.dll) == 0 ? 0x10000 : (u.dlm << 8 | u.dll);
  frame f;
  f.bit_s = 16.0 * divisor / UART_CLOCK_HZ;
  f.data_bits = 5 + int(u.lcr & 3);
  f.stop_bits = (u.lcr & 4) == 0 ? 1 : f.data_bits == 5 ? 1.5 : 2;
  f.parity = (u.lcr & 0x08) == 0 ? 0
             : (u.lcr & 0x20)    ? ((u.lcr & 0x10) ? 4 : 3)
                                 : ((u.lcr & 0x10) ? 2 : 1);
  f.line_break = (u.lcr & LCR_BREAK) != 0;
  return f;
}

bool same_setting(const frame &a, const frame &b) {
  return a.data_bits == b.data_bits && a.parity == b.parity && a.stop_bits == b.stop_bits &&
         !a.line_break && !b.line_break && std::fabs(a.bit_s / b.bit_s - 1) <= RATE_TOLERANCE;
}

int parity_bit(const frame &f, uint32_t data) {
  int ones = __builtin_popcount(data & ((1u << f.data_bits) - 1));
  switch (f.parity) {
    case 1:
      return (ones & 1) ^ 1;
    case 2:
      return ones & 1;
    case 3:
      return 1;
    default:
      return 0;
  }
}

// The line level at time t after the start bit's edge: start bit, data bits
// lowest first, parity, stop bits, then the idle level.
int level(const frame &f, uint32_t data, double t) {
  if (f.line_break) return 0;
  long bit = long(std::floor(t / f.bit_s));
  if (bit <= 0) return 0;
  if (bit <= f.data_bits) return (data >> (bit - 1)) & 1;
  if (f.parity != 0 && bit == f.data_bits + 1) return parity_bit(f, data);
  return 1;
}

// What a receiver set for rx assembles from a byte sent framed as tx: it
// samples the middle of each of its bit cells. *error is set for a stop bit
// sampled low or a parity bit that does not match.
uint32_t resample(const frame &tx, const frame &rx, uint32_t data, bool *error) {
  uint32_t value = 0;
  int cell = 1;
  for (int i = 0; i < rx.data_bits; ++i, ++cell)
    value |= uint32_t(level(tx, data, (cell + 0.5) * rx.bit_s)) << i;
  *error = false;
  if (rx.parity != 0 && level(tx, data, (cell++ + 0.5) * rx.bit_s) != parity_bit(rx, value))
    *error = true;
  if (level(tx, data, (cell + 0.5) * rx.bit_s) == 0) *error = true;
  return value;
}

double frame_bits(const frame &f) { return 1 + f.data_bits + (f.parity != 0) + f.stop_bits; }

// The setting as "<baud> baud 8N1", for reports.
void describe(const frame &f, char *text, size_t size) {
  static const char PARITY[] = "NOEMS";
  snprintf(text, size, "%ld baud %d%c%g%s", std::lround(1 / f.bit_s), f.data_bits, PARITY[f.parity],
           f.stop_bits, f.line_break ? " with break" : "");
}

void report_settings(board &b, const char *what, uint32_t address, uint8_t byte, uint8_t garbled) {
  uart_device &u = b.uart;
  char uart_text[64], line_text[64];
  describe(uart_frame(u), uart_text, sizeof uart_text);
  describe(line_frame(b.config.line_baud), line_text, sizeof line_text);
  board_report(b, report_kind::uart_line_settings,
               "uart: byte 0x%02x %s 0x%08x at pc 0x%08x with divisor 0x%04x and line control "
               "0x%02x, %s on a %s line: garbled to 0x%02x",
               byte, what, address, board_pc(b), u.dlm << 8 | u.dll, u.lcr, uart_text, line_text,
               garbled);
}

// The byte that the line's receiver takes from one the UART sends. A
// receiver reads a frame or parity error as 0x00, as a raw-mode host does.
// Where the bits of a wrong setting happen to land right (an 8N2 frame, a
// rate just past the tolerance) the model still delivers 0x00: it exists to
// catch wrong settings, and one that works by luck here fails on another line.
uint8_t to_line(board &b, uint8_t byte) {
  frame tx = uart_frame(b.uart), rx = line_frame(b.config.line_baud);
  if (same_setting(tx, rx)) return byte;
  bool error = false;
  uint32_t value = resample(tx, rx, byte, &error);
  uint8_t garbled = error || value == byte ? 0 : uint8_t(value);
  report_settings(b, "stored to the data register", UART_BASE + RBR_THR_DLL, byte, garbled);
  return garbled;
}

// The byte that the UART's receiver takes from one the line carries.
uint8_t from_line(board &b, uint8_t byte) {
  frame tx = line_frame(b.config.line_baud), rx = uart_frame(b.uart);
  if (same_setting(tx, rx)) return byte;
  bool error = false;
  uint8_t garbled = uint8_t(resample(tx, rx, byte, &error));
  report_settings(b, "received into the data register", UART_BASE + RBR_THR_DLL, byte, garbled);
  return garbled;
}

uint64_t character_instructions(const uart_device &u) {
  frame f = uart_frame(u);
  return uint64_t(std::llround(frame_bits(f) * f.bit_s * 1e6 * CORE_INSTRUCTIONS_PER_US));
}

unsigned fifo_depth(const uart_device &u) { return u.fifos_on ? UART_FIFO_DEPTH : 1; }

// The bytes not yet sent, the one in the shift register first.
size_t tx_pending(board &b) {
  std::deque<uint64_t> &done = b.uart.tx_done;
  while (!done.empty() && done.front() <= b.instructions) done.pop_front();
  return done.size();
}

// Interrupts the set-up never switched off, seen when the program first
// uses the line.
void check_interrupts_off(board &b) {
  if (b.uart.ier == 0) return;
  board_report(b, report_kind::uart_interrupts,
               "uart: line used at pc 0x%08x with interrupt enable 0x%02x at 0x%08x, as the "
               "boot ROM left it: every interrupt must be off, nothing on the board serves one",
               board_pc(b), b.uart.ier, UART_BASE + IER_DLM);
}

// More bytes waiting than the receive FIFO holds: a real UART drops what
// arrives while its FIFO is full.
void check_overrun(board &b) {
  uart_device &u = b.uart;
  if (u.backend.rx_waiting == nullptr) return;
  size_t waiting = u.backend.rx_waiting(u.backend.ctx);
  if (waiting <= fifo_depth(u)) return;
  u.overrun = true;
  board_report(b, report_kind::uart_rx_overrun,
               "uart: %zu bytes arrived unread at pc 0x%08x, more than the receive FIFO's %u: "
               "the rest are lost on a real board (line status bit 1)",
               waiting, board_pc(b), fifo_depth(u));
}

uint32_t line_status(board &b) {
  uart_device &u = b.uart;
  check_interrupts_off(b);
  check_overrun(b);
  size_t pending = tx_pending(b);
  uint32_t status = (pending <= 1 ? LSR_THR_EMPTY : 0) | (pending == 0 ? LSR_TX_IDLE : 0);
  if (u.overrun) status |= LSR_OVERRUN;
  u.overrun = false;
  if (u.backend.rx_peek(u.backend.ctx) >= 0) {
    u.empty_polls = 0;
    return status | LSR_DATA_READY;
  }
  if ((status & LSR_THR_EMPTY) == 0) {
    u.empty_polls = 0;
  } else if (++u.empty_polls >= IDLE_POLLS) {
    u.empty_polls = 0;
    if (u.backend.rx_idle != nullptr) u.backend.rx_idle(u.backend.ctx);
  }
  return status;
}

uint32_t receive(board &b) {
  uart_device &u = b.uart;
  check_interrupts_off(b);
  check_overrun(b);
  int byte = u.backend.rx_take(u.backend.ctx);
  if (byte < 0) {
    board_report(b, report_kind::uart_rx_empty,
                 "uart: load from the receive register 0x%08x at pc 0x%08x with no byte "
                 "waiting: gives the last byte again, 0x%02x",
                 UART_BASE + RBR_THR_DLL, board_pc(b), u.last_rx);
  } else {
    u.last_rx = from_line(b, uint8_t(byte));
  }
  return u.last_rx;
}

void transmit(board &b, uint8_t byte) {
  uart_device &u = b.uart;
  check_interrupts_off(b);
  size_t pending = tx_pending(b);
  // The shift register's byte and a full FIFO behind it.
  if (pending > fifo_depth(u)) {
    board_report(b, report_kind::uart_tx_overflow,
                 "uart: byte 0x%02x stored to the data register 0x%08x at pc 0x%08x while the "
                 "transmit FIFO was full (it holds %u): lost",
                 byte, UART_BASE + RBR_THR_DLL, board_pc(b), fifo_depth(u));
    return;
  }
  uint64_t start = pending == 0 ? b.instructions : u.tx_done.back();
  u.tx_done.push_back(start + character_instructions(u));
  u.backend.tx(u.backend.ctx, to_line(b, byte));
}

const char *register_name(uint32_t offset) {
  return offset < 0x20 ? REGISTER_NAMES[offset / 4] : "unused address";
}

void check_width(board &b, uint32_t offset, unsigned width, bool write) {
  if (width == 4 && offset % 4 == 0) return;
  char where[80];
  std::snprintf(where, sizeof where, ", in the %s 0x%08x", register_name(offset & ~3u),
                UART_BASE + (offset & ~3u));
  board_report_width(b, report_kind::uart_width, "uart", width, write, UART_BASE + offset, where,
                     "the UART's registers take 32-bit loads and stores only");
}

// The line used with the latch open: the bytes the program sends next would
// set the divisor and never reach the line.
void check_latch_closed(board &b) {
  if ((b.uart.lcr & LCR_DLAB) == 0) return;
  board_report(b, report_kind::uart_divisor_latch,
               "uart: line status 0x%08x read at pc 0x%08x with the divisor latch open (line "
               "control 0x%02x): bytes stored to 0x%08x set the divisor instead of being sent",
               UART_BASE + LSR, board_pc(b), b.uart.lcr, UART_BASE + RBR_THR_DLL);
}

void set_interrupts(board &b, uint32_t value) {
  b.uart.ier = value & 0xFF;
  if (b.uart.ier == 0) return;
  board_report(b, report_kind::uart_interrupts,
               "uart: interrupt enable 0x%02x stored to 0x%08x at pc 0x%08x: every interrupt "
               "must stay off, nothing on the board serves one",
               b.uart.ier, UART_BASE + IER_DLM, board_pc(b));
}

void set_fifos(board &b, uint32_t value) {
  constexpr uint32_t WANTED = FCR_ENABLE | FCR_CLEAR_RX | FCR_CLEAR_TX;
  b.uart.fifos_on = (value & FCR_ENABLE) != 0;
  if ((value & WANTED) == WANTED) return;
  board_report(b, report_kind::uart_fifo,
               "uart: FIFO control 0x%02x stored to 0x%08x at pc 0x%08x: the FIFOs must be on "
               "and both cleared (bits 2..0 set), or bytes the boot ROM left are read as input",
               value & 0xFF, UART_BASE + IIR_FCR, board_pc(b));
}

void set_modem_control(board &b, uint32_t value) {
  b.uart.mcr = value & 0xFF;
  if ((b.uart.mcr & (MCR_DTR | MCR_RTS | MCR_LOOPBACK)) == (MCR_DTR | MCR_RTS)) return;
  board_report(b, report_kind::uart_modem_control,
               "uart: modem control 0x%02x stored to 0x%08x at pc 0x%08x: DTR and RTS (bits 1..0) "
               "must be on and loopback (bit 4) off",
               b.uart.mcr, UART_BASE + MCR, board_pc(b));
}

uint64_t uart_load(uc_engine *, uint64_t offset64, unsigned size, void *user) {
  board &b = board_peripheral_load(user);
  uart_device &u = b.uart;
  const uint32_t offset = static_cast<uint32_t>(offset64);
  check_width(b, offset, size, false);
  bool dlab = (u.lcr & LCR_DLAB) != 0;
  uint32_t value = 0;
  switch (offset & ~3u) {
    case RBR_THR_DLL:
      value = dlab ? u.dll : receive(b);
      break;
    case IER_DLM:
      value = dlab ? u.dlm : u.ier;
      break;
    case IIR_FCR:
      value = IIR_NONE_PENDING | (u.fifos_on ? IIR_FIFOS_ON : 0);
      break;
    case LCR:
      value = u.lcr;
      break;
    case MCR:
      value = u.mcr;
      break;
    case LSR:
      check_latch_closed(b);
      value = line_status(b);
      break;
    case MSR:
      value = 0;
      break;
    case SCR:
      value = u.scr;
      break;
    default:
      break;
  }
  if ((offset & ~3u) != LSR) u.empty_polls = 0;
  return board_record_load(b, UART_BASE + offset, size, value);
}

void uart_store(uc_engine *, uint64_t offset64, unsigned size, uint64_t value64, void *user) {
  const uint32_t offset = static_cast<uint32_t>(offset64);
  board &b = board_peripheral_store(user, UART_BASE + offset, size, value64);
  uart_device &u = b.uart;
  uint32_t value = static_cast<uint32_t>(value64);
  check_width(b, offset, size, true);
  u.empty_polls = 0;
  bool dlab = (u.lcr & LCR_DLAB) != 0;
  switch (offset & ~3u) {
    case RBR_THR_DLL:
      if (dlab) {
        u.dll = value & 0xFF;
      } else {
        transmit(b, static_cast<uint8_t>(value));
      }
      break;
    case IER_DLM:
      if (dlab) {
        u.dlm = value & 0xFF;
      } else {
        set_interrupts(b, value);
      }
      break;
    case IIR_FCR:
      set_fifos(b, value);
      break;
    case LCR:
      u.lcr = value & 0xFF;
      break;
    case MCR:
      set_modem_control(b, value);
      break;
    case SCR:
      u.scr = value & 0xFF;
      break;
    default:
      break;
  }
}

}  // namespace

bool uart_map(board &b) {
  return uc_mmio_map(b.uc, UART_BASE, PERIPHERAL_WINDOW, uart_load, &b, uart_store, &b) ==
         UC_ERR_OK;
}
