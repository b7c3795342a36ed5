#include "boardsim_options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "korvane/option_table.h"
#include "korvane/why.h"

namespace {

const char USAGE_HEAD[] =
    "Usage: boardsim [options]\n"
    "\n"
    "Simulates a board that has just been reset, on a pseudo-terminal whose\n"
    "path is printed as the first line of standard output. Its boot ROM\n"
    "answers the wake-up pattern, takes a boot image over XMODEM and starts\n"
    "its code on the emulated core. Stop it with Ctrl-C or SIGTERM.\n"
    "\n";

const char USAGE_TAIL[] =
    "\n"
    "Exit status: 0 when stopped by a signal, 1 when the line cannot be made or\n"
    "the code faults on the core, 2 for a bad option.\n";

const size_t HELP_COLUMN = 23;

// The rows of a board's own options (its faults, its flash): the only ones
// a boards file's line may hold, and those that --boards leaves to it.
const int BOARD = 1;

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
  if (parse_list(text, ':', 10, 0, INT_MAX, v, 2) != 2) return false;
  if (v[0] < lo1 || v[0] > hi1 || v[1] < lo2 || v[1] > hi2) return false;
  *a = v[0];
  *b = v[1];
  return true;
}

bool parse_one(const char *text, int base, long lo, long hi, long *v) {
  return parse_list(text, ',', base, lo, hi, v, 1) == 1;
}

// An SDRAM fault as its option writes it: "L" for a floating line, "L:V" or
// "A:B" for the others. Which lines and levels exist is the fault model's to
// say: a fault it refuses on a sound board is a bad value, one it refuses
// beside the faults already given does not fit. The reason is given only
// for the latter.
template <sdram_fault_kind kind>
bool add_fault(boardsim_options *o, const char *value, std::string *why) {
  int numbers = kind == sdram_fault_kind::data_floating ? 1 : 2;
  long v[2] = {0, 0};
  if (parse_list(value, ':', 10, 0, INT_MAX, v, numbers) != numbers) return false;
  const sdram_fault fault = {kind, int(v[0]), int(v[1])};
  sdram_fault_config sound;
  if (!sdram_fault_add(&sound, fault)) return false;
  if (sdram_fault_add(&o->board.sdram, fault)) return true;
  *why = "does not fit: at most two faults, none repeated or contradicting another";
  return false;
}

using row = option_row<boardsim_options>;

const row OPTIONS[] = {
    {"--link", "PATH",
     "also make a symbolic link to the pseudo-terminal\nat PATH (removed at exit)",
     option_word<&boardsim_options::link_path>, 0, false, nullptr, "Line:\n"},
    {"--baud", "RATE",
     "pace both directions at RATE bits per second, ten\nbits a byte (for realistic timings); "
     "without it\nbytes pass as fast as they can",
     [](boardsim_options *o, const char *value, std::string *) {
       return parse_one(value, 10, 50, 100000000, &o->baud);
     }},
    {"--timestamps", nullptr,
     "print the times of the wake-up answer, the end of\nthe download and the first byte from "
     "the running\ncode on standard error (monotonic clock, seconds)",
     option_flag<&boardsim_options::timestamps>},
    {"--boards", "FILE",
     "a stream of boards on the one line, one a line of\nFILE, each line the board's fault "
     "options (an empty\nline is a sound board); the next goes in when the\nhost wakes a board "
     "whose code runs, or on SIGUSR1,\nand boardsim ends after the last",
     option_word<&boardsim_options::boards_path>, 0, false, nullptr, "\nBoards:\n"},
    {"--seed", "N",
     "draw the junk that the boot ROM leaves in the core's\nregisters and in memory from N (0 to "
     "4294967295);\nwithout it each run draws its own",
     [](boardsim_options *o, const char *value, std::string *) {
       long v;
       if (!parse_one(value, 10, 0, 0xFFFFFFFFL, &v)) return false;
       o->seed_given = true;
       o->seed = uint32_t(v);
       return true;
     },
     0, false, nullptr, "\nHand-over:\n"},
    {"--show-seed", nullptr, "print the seed in use on standard error",
     option_flag<&boardsim_options::show_seed>},
    {"--boot-delay", "MS", "listen for the wake-up pattern only MS\nmilliseconds after start",
     [](boardsim_options *o, const char *value, std::string *) {
       long v;
       if (!parse_one(value, 10, 0, 3600000, &v)) return false;
       o->rom.boot_delay_ms = v;
       return true;
     },
     0, false, nullptr, "\nBoot ROM:\n"},
    {"--checksum", nullptr, "ask for 8-bit checksums (NAK) instead of CRC-16 (C)",
     [](boardsim_options *o, const char *, std::string *) { return o->rom.checksum_mode = true; }},
    {"--nak-block", "B:K", "refuse the first K tries of block B (from 1)",
     [](boardsim_options *o, const char *value, std::string *) {
       long block, tries;
       if (!parse_pair(value, 1, 0xFFFFFF, 1, 1000, &block, &tries)) return false;
       o->rom.nak_block = int(block);
       o->rom.nak_count = int(tries);
       return true;
     }},
    {"--cancel-block", "B", "cancel the transfer (CAN CAN) at block B",
     [](boardsim_options *o, const char *value, std::string *) {
       long block;
       if (!parse_one(value, 10, 1, 0xFFFFFF, &block)) return false;
       o->rom.cancel_block = int(block);
       return true;
     }},
    {"--no-handshake", nullptr, "after the wake-up answer, never ask for a transfer",
     [](boardsim_options *o, const char *, std::string *) { return o->rom.no_handshake = true; }},
    {"--line-noise", "N",
     "send N random bytes (never \"?\") before every prompt\nof the running code, that is before "
     "the first one\nand between exchanges",
     [](boardsim_options *o, const char *value, std::string *) {
       long bytes;
       if (!parse_one(value, 10, 0, 1000, &bytes)) return false;
       o->line_noise = int(bytes);
       return true;
     },
     0, false, nullptr, "\nLine noise:\n"},
    {"--data-stuck", "L:V", "data line L stuck at V (0 or 1)",
     add_fault<sdram_fault_kind::data_stuck>, BOARD, false, nullptr,
     "\nSDRAM faults (byte-address lines 1..25, data lines 0..15; up to two in\nall, each option "
     "may be given twice):\n"},
    {"--addr-stuck", "L:V", "address line L stuck at V (0 or 1)",
     add_fault<sdram_fault_kind::addr_stuck>, BOARD},
    {"--addr-short", "A:B", "address lines A and B shorted together (wired AND)",
     add_fault<sdram_fault_kind::addr_short>, BOARD},
    {"--addr-short-or", "A:B", "address lines A and B shorted together (wired OR)",
     add_fault<sdram_fault_kind::addr_short_or>, BOARD},
    {"--data-short", "A:B", "data lines A and B shorted together (wired AND)",
     add_fault<sdram_fault_kind::data_short>, BOARD},
    {"--data-short-or", "A:B", "data lines A and B shorted together (wired OR)",
     add_fault<sdram_fault_kind::data_short_or>, BOARD},
    {"--data-floating", "L",
     "data line L driven by nobody: it reads as the bus's\nlevel at the previous store or load",
     add_fault<sdram_fault_kind::data_floating>, BOARD},
    {"--nand-id", "M,D,T,F", "the four ID bytes (default 2c,f1,80,95)",
     [](boardsim_options *o, const char *value, std::string *) {
       long v[4];
       if (parse_list(value, ',', 16, 0, 0xFF, v, 4) != 4) return false;
       for (int i = 0; i < 4; i++) o->board.nand.id[i] = uint8_t(v[i]);
       return true;
     },
     BOARD, false, nullptr, "\nNAND flash (hexadecimal bytes):\n"},
    {"--nand-status", "S",
     "the status byte's bits 7 and 4..0 (default e0); bits\n6 and 5 show whether the chip is "
     "ready",
     [](boardsim_options *o, const char *value, std::string *) {
       long status;
       if (!parse_one(value, 16, 0, 0xFF, &status)) return false;
       o->board.nand.final_status = uint8_t(status);
       return true;
     },
     BOARD},
    {"--nand-never-ready", nullptr, "the ready bit never comes up after a reset",
     [](boardsim_options *o, const char *, std::string *) {
       return o->board.nand.never_ready = true;
     },
     BOARD},
    {"--help", nullptr, "print this text and exit", option_flag<&boardsim_options::help>, 0, false,
     nullptr, "\n"},
    {"--version", nullptr, "print the version and exit", option_flag<&boardsim_options::version>},
};

// boardsim takes no plain argument; the first is refused once every option
// has been read, so that a bad option is named first.
bool take_stray(boardsim_options *o, const char *text, std::string *) {
  if (!o->stray) o->stray = text;
  return true;
}

// Reads the words into *o; false with the reason. *others counts the
// options given that are not a board's own.
bool parse_words(int argc, char **argv, boardsim_options *o, int *others, std::string *why) {
  option_rules rules;
  rules.abbreviations = true;
  option_outcome outcome;
  bool parsed = option_parse(argc, argv, OPTIONS, rules, take_stray, o, &outcome);
  *others = 0;
  for (size_t i = 0; i < outcome.given.size(); i++) {
    if (OPTIONS[i].group == BOARD) {
      o->board_options += outcome.given[i];
    } else {
      *others += outcome.given[i];
    }
  }
  if (!parsed) {
    if (outcome.fault == option_fault::refused_value && !outcome.why.empty()) {
      // Only an SDRAM fault that does not fit comes with a reason.
      set_why(why, std::string("SDRAM fault '") + outcome.value + "' for " + outcome.name + " " +
                       outcome.why);
    } else {
      set_why(why, option_fault_words(outcome, OPTIONS));
    }
    return false;
  }
  if (o->stray) {
    set_why(why, option_stray_words(o->stray));
    return false;
  }
  return true;
}

}  // namespace

std::string boardsim_usage(void) {
  return USAGE_HEAD + option_usage(OPTIONS, HELP_COLUMN) + USAGE_TAIL;
}

bool boardsim_parse_options(int argc, char **argv, boardsim_options *opts, std::string *why) {
  int others;
  if (!parse_words(argc, argv, opts, &others, why)) return false;
  if (!opts->boards_path.empty() && opts->board_options > 0) {
    set_why(why, "with --boards the faults of each board belong in its line of the file");
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
  int others;
  if (!parse_words(int(words.size()), argv.data(), &o, &others, why)) return false;
  if (others > 0) {
    set_why(why, "only a board's own options (its faults, its flash) belong in a boards file");
    return false;
  }
  *board = o.board;
  return true;
}
