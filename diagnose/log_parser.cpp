#include "log_parser.h"

#include <cstdarg>
#include <cstdio>

namespace {

const char SDRAM_TITLE[] = "Testing SDRAM...";
const char FLASH_TITLE[] = "Testing FLASH...";

struct lines {
  std::vector<std::string> text;
  size_t next = 0;
  bool at_end() const { return next >= text.size(); }
  int number() const { return static_cast<int>(next) + 1; }
};

// Splits into lines without their ends. A last line without its LF was cut
// in the middle unless it is a whole verdict, so it is dropped otherwise.
lines split(const std::string &text) {
  lines l;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    bool whole = end != std::string::npos;
    std::string line = text.substr(start, whole ? end - start : std::string::npos);
    while (!line.empty() && line.back() == '\r') line.pop_back();
    if (!whole && line != "passed" && line != "failed") break;
    l.text.push_back(line);
    start = whole ? end + 1 : text.size();
  }
  return l;
}

// A line as it can be shown in a message: printable, and not too long.
std::string shown(const std::string &line) {
  std::string out;
  for (unsigned char c : line) {
    if (out.size() >= 40) return out + "...";
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

int fail(log_error *err, int line, const char *format, ...) {
  char text[200];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  err->line = line;
  err->message = "line " + std::to_string(line) + ": " + text;
  return 0;
}

int expected_line(const lines &l, const std::string &want, log_error *err) {
  return fail(err, l.number(), "expected \"%s\", found \"%s\"", want.c_str(),
              shown(l.text[l.next]).c_str());
}

// put_hex's form: lowercase, no leading zeros, at most max. Returns the
// number of characters used, or 0.
size_t parse_hex(const std::string &s, size_t pos, uint32_t max, uint32_t *value) {
  size_t n = 0;
  uint32_t v = 0;
  while (pos + n < s.size()) {
    char c = s[pos + n];
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) break;
    if ((n == 1 && v == 0) || v > (max >> 4)) return 0;
    v = v << 4 | static_cast<uint32_t>(digit);
    ++n;
  }
  if (n == 0 || v > max) return 0;
  *value = v;
  return n;
}

std::string hex_line(const char *format, unsigned a, unsigned b = 0) {
  char text[40];
  snprintf(text, sizeof text, format, a, b);
  return text;
}

// 1 parsed, 0 malformed, -1 the log ended first.
int exact(lines *l, const std::string &want, log_error *err) {
  if (l->at_end()) return -1;
  if (l->text[l->next] != want) return expected_line(*l, want, err);
  ++l->next;
  return 1;
}

int read_line(lines *l, uint32_t offset, uint16_t *value, log_error *err) {
  if (l->at_end()) return -1;
  const std::string &s = l->text[l->next];
  std::string prefix = hex_line(" %xr", offset);
  uint32_t v;
  size_t used =
      s.compare(0, prefix.size(), prefix) == 0 ? parse_hex(s, prefix.size(), 0xFFFF, &v) : 0;
  if (used == 0 || prefix.size() + used != s.size())
    return fail(err, l->number(), "expected a read of offset %x (\"%s<value>\"), found \"%s\"",
                offset, prefix.c_str(), shown(s).c_str());
  *value = static_cast<uint16_t>(v);
  ++l->next;
  return 1;
}

int sdram_trace(lines *l, sdram_reads *reads, bool *mismatched, log_error *err) {
  const std::vector<walk_step> &steps = sdram_walk();
  *mismatched = false;
  for (size_t n = 0; n < steps.size(); ++n) {
    int r = 1;
    if (n == 0) r = exact(l, "D0", err);
    if (r == 1 && n == SDRAM_DATA_STEPS) r = exact(l, hex_line("A0 %x", SDRAM_TEST_SIZE), err);
    const walk_step &s = steps[n];
    if (r == 1 && s.write) r = exact(l, hex_line(" %xw%x", s.offset, s.value), err);
    if (r == 1 && !s.write) {
      r = read_line(l, s.offset, &reads->value[s.read_index], err);
      uint16_t named;
      if (r == 1 && sdram_mismatch_after(*reads, s.read_index, &named)) {
        *mismatched = true;
        r = exact(l, hex_line("*r%x", named), err);
      }
    }
    if (r != 1) return r;
  }
  return 1;
}

int flash_trace(lines *l, flash_reading *f, log_error *err) {
  if (l->at_end()) return -1;
  const std::string &s = l->text[l->next];
  const char labels[] = "MDRP";
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t v = 0;
    size_t used = pos < s.size() && s[pos] == labels[i] ? parse_hex(s, pos + 1, 0xFF, &v) : 0;
    pos += 1 + used;
    if (used == 0 || pos >= s.size() || s[pos] != ' ')
      return fail(err, l->number(),
                  "expected the ID line (\"M<maker> D<device> R<byte> P<byte> \"), found \"%s\"",
                  shown(s).c_str());
    f->id[i] = static_cast<uint8_t>(v);
    ++pos;
  }
  if (pos != s.size())
    return fail(err, l->number(), "expected the ID line to end after its fourth byte, found \"%s\"",
                shown(s).c_str());
  ++l->next;
  if (l->at_end()) return -1;
  const std::string &st = l->text[l->next];
  uint32_t v = 0;
  size_t used = !st.empty() && st[0] == 'S' ? parse_hex(st, 1, 0xFF, &v) : 0;
  if (used == 0 || used + 1 != st.size())
    return fail(err, l->number(), "expected the status line (\"S<status>\"), found \"%s\"",
                shown(st).c_str());
  f->status = static_cast<uint8_t>(v);
  ++l->next;
  return 1;
}

// One test from its title on. 1 parsed, 0 malformed, -1 the log ended first.
int test(lines *l, test_record *t, log_error *err) {
  const std::string &title = l->text[l->next];
  bool sdram = title.compare(0, sizeof SDRAM_TITLE - 1, SDRAM_TITLE) == 0;
  bool flash = title.compare(0, sizeof FLASH_TITLE - 1, FLASH_TITLE) == 0;
  std::string rest = sdram || flash ? title.substr(sizeof SDRAM_TITLE - 1) : "";
  if ((!sdram && !flash) || (rest != "" && rest != " passed" && rest != " failed"))
    return fail(err, l->number(), "expected \"%s\" or \"%s\", found \"%s\"", SDRAM_TITLE,
                FLASH_TITLE, shown(title).c_str());
  t->kind = sdram ? test_kind::sdram : test_kind::flash;
  t->line = l->number();
  ++l->next;
  if (rest != "") {
    t->passed = rest == " passed";
    return 1;
  }
  t->traced = true;
  bool mismatched = false;
  int r = sdram ? sdram_trace(l, &t->sdram, &mismatched, err) : flash_trace(l, &t->flash, err);
  if (r != 1) return r;
  if (l->at_end()) return -1;
  const std::string &verdict = l->text[l->next];
  if (verdict != "passed" && verdict != "failed")
    return fail(err, l->number(), "expected \"passed\" or \"failed\", found \"%s\"",
                shown(verdict).c_str());
  t->passed = verdict == "passed";
  bool due = sdram ? !mismatched : flash_result(t->flash) == 0;
  if (t->passed != due)
    return fail(err, l->number(), "\"%s\" does not agree with the trace above it", verdict.c_str());
  ++l->next;
  return 1;
}

}  // namespace

bool parse_log(const std::string &text, log_contents *log, log_error *err) {
  lines l = split(text);
  *log = log_contents{};
  while (!l.at_end()) {
    test_record t;
    size_t title = l.next;
    int r = test(&l, &t, err);
    if (r == 0) return false;
    if (r < 0) {
      bool ran_before = false;
      for (const test_record &done : log->tests) ran_before |= done.kind == t.kind;
      if (!ran_before)
        return fail(err, l.number(), "the log ends inside the %s test that begins at line %d",
                    t.kind == test_kind::sdram ? "SDRAM" : "FLASH", static_cast<int>(title) + 1);
      log->cut_short_line = static_cast<int>(title) + 1;
      break;
    }
    if (!log->tests.empty() && log->tests.front().traced != t.traced)
      return fail(err, t.line, "a test %s trace in a log whose first test %s one",
                  t.traced ? "with a" : "without a", t.traced ? "has no" : "has");
    log->tests.push_back(t);
  }
  if (log->tests.empty())
    return fail(err, l.number(), "no test in the log (no \"%s\" or \"%s\")", SDRAM_TITLE,
                FLASH_TITLE);
  return true;
}
