#include "boardsim_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <sstream>
#include <vector>

const char BOARDSIM_USAGE[] =
    "Usage: boardsim [options]\n"
    "\n"
    "Simulates a board that has just been reset, on a pseudo-terminal whose\n"
    "path is printed as the first line of standard output. Its boot ROM\n"
    "answers the wake-up pattern, takes a boot image over XMODEM and starts\n"
    "its code on the emulated core. Stop it with Ctrl-C or SIGTERM.\n"
    "\n"
    "Line:\n"
    "  --link PATH          also make a symbolic link to the pseudo-terminal\n"
    "                       at PATH (removed at exit)\n"
    "  --baud RATE          pace both directions at RATE bits per second, ten\n"
    "                       bits a byte (for realistic timings); without it\n"
    "                       bytes pass as fast as they can\n"
    "  --timestamps         print the times of the wake-up answer, the end of\n"
    "                       the download and the first byte from the running\n"
    "                       code on standard error (monotonic clock, seconds)\n"
    "\n"
    "Boards:\n"
    "  --boards FILE        a stream of boards on the one line, one a line of\n"
    "                       FILE, each line the board's fault options (an empty\n"
    "                       line is a sound board); the next goes in when the\n"
    "                       host wakes a board whose code runs, or on SIGUSR1,\n"
    "                       and boardsim ends after the last\n"
    "\n"
    "Hand-over:\n"
    "  --seed N             draw the junk that the boot ROM leaves in the core's\n"
    "                       registers and in memory from N (0 to 4294967295);\n"
    "                       without it each run draws its own\n"
    "  --show-seed          print the seed in use on standard error\n"
    "\n"
    "Boot ROM:\n"
    "  --boot-delay MS      listen for the wake-up pattern only MS\n"
    "                       milliseconds after start\n"
    "  --checksum           ask for 8-bit checksums (NAK) instead of CRC-16 (C)\n"
    "  --nak-block B:K      refuse the first K tries of block B (from 1)\n"
    "  --cancel-block B     cancel the transfer (CAN CAN) at block B\n"
    "  --no-handshake       after the wake-up answer, never ask for a transfer\n"
    "\n"
    "Line noise:\n"
    "  --line-noise N       send N random bytes (never \"?\") before every prompt\n"
    "                       of the running code, that is before the first one\n"
    "                       and between exchanges\n"
    "\n"
    "SDRAM faults (byte-address lines 1..25, data lines 0..15; up to two in\n"
    "all, each option may be given twice):\n"
    "  --data-stuck L:V     data line L stuck at V (0 or 1)\n"
    "  --addr-stuck L:V     address line L stuck at V (0 or 1)\n"
    "  --addr-short A:B     address lines A and B shorted together (wired AND)\n"
    "  --addr-short-or A:B  address lines A and B shorted together (wired OR)\n"
    "  --data-short A:B     data lines A and B shorted together (wired AND)\n"
    "  --data-short-or A:B  data lines A and B shorted together (wired OR)\n"
    "  --data-floating L    data line L driven by nobody: it reads as the bus's\n"
    "                       level at the previous store or load\n"
    "\n"
    "NAND flash (hexadecimal bytes):\n"
    "  --nand-id M,D,T,F    the four ID bytes (default 2c,f1,80,95)\n"
    "  --nand-status S      the status byte's bits 7 and 4..0 (default e0); bits\n"
    "                       6 and 5 show whether the chip is ready\n"
    "  --nand-never-ready   the ready bit never comes up after a reset\n"
    "\n"
    "  --help               print this text and exit\n"
    "  --version            print the version and exit\n"
    "\n"
    "Exit status: 0 when stopped by a signal, 1 when the line cannot be made or\n"
    "the code faults on the core, 2 for a bad option.\n";

namespace {

enum option_id {
  OPT_LINK = 256,
  OPT_BAUD,
  OPT_TIMESTAMPS,
  OPT_BOOT_DELAY,
  OPT_CHECKSUM,
  OPT_NAK_BLOCK,
  OPT_CANCEL_BLOCK,
  OPT_NO_HANDSHAKE,
  OPT_DATA_STUCK,
  OPT_ADDR_STUCK,
  OPT_ADDR_SHORT,
  OPT_ADDR_SHORT_OR,
  OPT_DATA_SHORT,
  OPT_DATA_SHORT_OR,
  OPT_DATA_FLOATING,
  OPT_NAND_ID,
  OPT_NAND_STATUS,
  OPT_NAND_NEVER_READY,
  OPT_LINE_NOISE,
  OPT_BOARDS,
  OPT_SEED,
  OPT_SHOW_SEED,
  OPT_HELP,
  OPT_VERSION,
};

const option LONG_OPTIONS[] = {
    {"link", required_argument, nullptr, OPT_LINK},
    {"baud", required_argument, nullptr, OPT_BAUD},
    {"timestamps", no_argument, nullptr, OPT_TIMESTAMPS},
    {"boot-delay", required_argument, nullptr, OPT_BOOT_DELAY},
    {"checksum", no_argument, nullptr, OPT_CHECKSUM},
    {"nak-block", required_argument, nullptr, OPT_NAK_BLOCK},
    {"cancel-block", required_argument, nullptr, OPT_CANCEL_BLOCK},
    {"no-handshake", no_argument, nullptr, OPT_NO_HANDSHAKE},
    {"data-stuck", required_argument, nullptr, OPT_DATA_STUCK},
    {"addr-stuck", required_argument, nullptr, OPT_ADDR_STUCK},
    {"addr-short", required_argument, nullptr, OPT_ADDR_SHORT},
    {"addr-short-or", required_argument, nullptr, OPT_ADDR_SHORT_OR},
    {"data-short", required_argument, nullptr, OPT_DATA_SHORT},
    {"data-short-or", required_argument, nullptr, OPT_DATA_SHORT_OR},
    {"data-floating", required_argument, nullptr, OPT_DATA_FLOATING},
    {"nand-id", required_argument, nullptr, OPT_NAND_ID},
    {"nand-status", required_argument, nullptr, OPT_NAND_STATUS},
    {"nand-never-ready", no_argument, nullptr, OPT_NAND_NEVER_READY},
    {"line-noise", required_argument, nullptr, OPT_LINE_NOISE},
    {"boards", required_argument, nullptr, OPT_BOARDS},
    {"seed", required_argument, nullptr, OPT_SEED},
    {"show-seed", no_argument, nullptr, OPT_SHOW_SEED},
    {"help", no_argument, nullptr, OPT_HELP},
    {"version", no_argument, nullptr, OPT_VERSION},
    {nullptr, 0, nullptr, 0},
};

// Parses up to max_values numbers in `base`, separated by `sep`, each in
// [lo, hi]; the whole text must be used. Returns how many were read, or -1.
int parse_list(const char *text, char sep, int base, long lo, long hi, long *values,
               int max_values) {
  int count = 0;
  const char *p = text;
  for (;;) {
    if (count == max_values || *p == '\0' || *p == '-' || *p == '+' || *p == ' ') return -1;
    char *end;
    errno = 0;
    long v = strtol(p, &end, base);
    if (end == p || errno != 0 || v < lo || v > hi) return -1;
    values[count++] = v;
    if (*end == '\0') return count;
    if (*end != sep) return -1;
    p = end + 1;
  }
}

// The form "N:M" with both numbers in range.
bool parse_pair(const char *text, long lo1, long hi1, long lo2, long hi2, long *a, long *b) {
  long v[2];
  if (parse_list(text, ':', 10, 0, 0x7FFFFFFF, v, 2) != 2) return false;
  if (v[0] < lo1 || v[0] > hi1 || v[1] < lo2 || v[1] > hi2) return false;
  *a = v[0];
  *b = v[1];
  return true;
}

bool parse_one(const char *text, int base, long lo, long hi, long *v) {
  return parse_list(text, ',', base, lo, hi, v, 1) == 1;
}

enum class applied { ok, bad_value, fault_does_not_fit };

// A well-formed fault that the board cannot take as well.
applied add_fault(sdram_fault_config *config, const sdram_fault &fault) {
  return sdram_fault_add(config, fault) ? applied::ok : applied::fault_does_not_fit;
}

applied apply(int id, const char *arg, boardsim_options *o) {
  long a, b, v[4];
  sdram_fault_config &sdram = o->board.sdram;
  switch (id) {
    case OPT_LINK:
      if (*arg == '\0') return applied::bad_value;
      o->link_path = arg;
      return applied::ok;
    case OPT_BAUD:
      if (!parse_one(arg, 10, 50, 100000000, &a)) return applied::bad_value;
      o->baud = a;
      return applied::ok;
    case OPT_TIMESTAMPS:
      o->timestamps = true;
      return applied::ok;
    case OPT_BOOT_DELAY:
      if (!parse_one(arg, 10, 0, 3600000, &a)) return applied::bad_value;
      o->rom.boot_delay_ms = a;
      return applied::ok;
    case OPT_CHECKSUM:
      o->rom.checksum_mode = true;
      return applied::ok;
    case OPT_NAK_BLOCK:
      if (!parse_pair(arg, 1, 0xFFFFFF, 1, 1000, &a, &b)) return applied::bad_value;
      o->rom.nak_block = int(a);
      o->rom.nak_count = int(b);
      return applied::ok;
    case OPT_CANCEL_BLOCK:
      if (!parse_one(arg, 10, 1, 0xFFFFFF, &a)) return applied::bad_value;
      o->rom.cancel_block = int(a);
      return applied::ok;
    case OPT_NO_HANDSHAKE:
      o->rom.no_handshake = true;
      return applied::ok;
    case OPT_DATA_STUCK:
      if (!parse_pair(arg, 0, 15, 0, 1, &a, &b)) return applied::bad_value;
      return add_fault(&sdram, {sdram_fault_kind::data_stuck, int(a), int(b)});
    case OPT_ADDR_STUCK:
      if (!parse_pair(arg, 1, 25, 0, 1, &a, &b)) return applied::bad_value;
      return add_fault(&sdram, {sdram_fault_kind::addr_stuck, int(a), int(b)});
    case OPT_ADDR_SHORT:
    case OPT_ADDR_SHORT_OR:
      if (!parse_pair(arg, 1, 25, 1, 25, &a, &b) || a == b) return applied::bad_value;
      return add_fault(&sdram, {id == OPT_ADDR_SHORT ? sdram_fault_kind::addr_short
                                                     : sdram_fault_kind::addr_short_or,
                                int(a), int(b)});
    case OPT_DATA_SHORT:
    case OPT_DATA_SHORT_OR:
      if (!parse_pair(arg, 0, 15, 0, 15, &a, &b) || a == b) return applied::bad_value;
      return add_fault(&sdram, {id == OPT_DATA_SHORT ? sdram_fault_kind::data_short
                                                     : sdram_fault_kind::data_short_or,
                                int(a), int(b)});
    case OPT_DATA_FLOATING:
      if (!parse_one(arg, 10, 0, 15, &a)) return applied::bad_value;
      return add_fault(&sdram, {sdram_fault_kind::data_floating, int(a), 0});
    case OPT_NAND_ID:
      if (parse_list(arg, ',', 16, 0, 0xFF, v, 4) != 4) return applied::bad_value;
      for (int i = 0; i < 4; i++) o->board.nand.id[i] = uint8_t(v[i]);
      return applied::ok;
    case OPT_NAND_STATUS:
      if (!parse_one(arg, 16, 0, 0xFF, &a)) return applied::bad_value;
      o->board.nand.final_status = uint8_t(a);
      return applied::ok;
    case OPT_NAND_NEVER_READY:
      o->board.nand.never_ready = true;
      return applied::ok;
    case OPT_LINE_NOISE:
      if (!parse_one(arg, 10, 0, 1000, &a)) return applied::bad_value;
      o->line_noise = int(a);
      return applied::ok;
    case OPT_BOARDS:
      if (*arg == '\0') return applied::bad_value;
      o->boards_path = arg;
      return applied::ok;
    case OPT_SEED:
      if (!parse_one(arg, 10, 0, 0xFFFFFFFFL, &a)) return applied::bad_value;
      o->seed_given = true;
      o->seed = uint32_t(a);
      return applied::ok;
    case OPT_SHOW_SEED:
      o->show_seed = true;
      return applied::ok;
    case OPT_HELP:
      o->help = true;
      return applied::ok;
    case OPT_VERSION:
      o->version = true;
      return applied::ok;
  }
  return applied::bad_value;
}

// Whether everything but the board is as a fresh record has it: what tells
// a board's own option (a fault, the flash) from one of the line or the ROM,
// whatever options the board comes to have.
bool only_board_set(const boardsim_options &o) {
  const boardsim_options fresh;
  const boot_rom_config &r = o.rom, &f = fresh.rom;
  return o.link_path == fresh.link_path && o.baud == fresh.baud &&
         o.timestamps == fresh.timestamps && o.line_noise == fresh.line_noise &&
         o.help == fresh.help && o.boards_path == fresh.boards_path &&
         o.seed_given == fresh.seed_given && o.show_seed == fresh.show_seed &&
         r.checksum_mode == f.checksum_mode && r.boot_delay_ms == f.boot_delay_ms &&
         r.nak_block == f.nak_block && r.nak_count == f.nak_count &&
         r.cancel_block == f.cancel_block && r.no_handshake == f.no_handshake;
}

}  // namespace

bool boardsim_parse_options(int argc, char **argv, boardsim_options *opts, std::string *why) {
  opterr = 0;
  optind = 0;  // 0 rather than 1 makes glibc start a fresh scan on every call
  for (;;) {
    int last = optind == 0 ? 1 : optind;
    int id = getopt_long(argc, argv, "", LONG_OPTIONS, nullptr);
    if (id == -1) break;
    const char *given = last < argc ? argv[last] : "";
    if (id == '?' || id == ':') {
      *why = std::string("unknown option or missing value: ") + given;
      return false;
    }
    applied result = apply(id, optarg, opts);
    boardsim_options probe;
    if (apply(id, optarg, &probe) == applied::ok && only_board_set(probe)) opts->board_options++;
    if (result == applied::fault_does_not_fit) {
      *why = std::string("SDRAM fault '") + optarg + "' for " + given +
             " does not fit: at most two faults, none repeated or contradicting another";
      return false;
    }
    if (result == applied::bad_value) {
      *why = std::string("bad value '") + (optarg ? optarg : "") + "' for " + given;
      return false;
    }
  }
  if (optind < argc) {
    *why = std::string("unexpected argument: ") + argv[optind];
    return false;
  }
  if (!opts->boards_path.empty() && opts->board_options > 0) {
    *why = "with --boards the faults of each board belong in its line of the file";
    return false;
  }
  return true;
}

bool boardsim_parse_board_line(const std::string &line, board_config *board, std::string *why) {
  std::vector<std::string> words = {"boardsim"};
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  boardsim_options o;
  if (!boardsim_parse_options(int(words.size()), argv.data(), &o, why)) return false;
  if (!only_board_set(o)) {
    *why = "only a board's own options (its faults, its flash) belong in a boards file";
    return false;
  }
  *board = o.board;
  return true;
}
