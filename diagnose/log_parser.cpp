#include "log_parser.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "korvane/console_texts.h"
#include "korvane/why.h"

namespace {

const auto &SDRAM_TITLE = SDRAM_TEST_TITLE;
const auto &FLASH_TITLE = FLASH_TEST_TITLE;
// A title with its verdict after a space: a test without a trace.
const std::string TITLE_PASSED = std::string(" ") + VERDICT_PASSED;
const std::string TITLE_FAILED = std::string(" ") + VERDICT_FAILED;

// What reading one test, or one part of it, came to.
enum class step {
  parsed,
  malformed,  // the reason is in why
  ended,      // the log ended first
};

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

// The reason, after the number of the line it is about ("line N: ...").
__attribute__((format(KORVANE_PRINTF_FORMAT, 3, 4))) step fail(std::string *why, long long line,
                                                               const char *format, ...) {
  va_list args;
  va_start(args, format);
  vset_why(why, format, args);
  va_end(args);
  if (why != nullptr) why->insert(0, "line " + std::to_string(line) + ": ");
  return step::malformed;
}

std::string hex_line(const char *format, unsigned a, unsigned b = 0) {
  char text[40];
  snprintf(text, sizeof text, format, a, b);
  return text;
}

// The text each step of the walk prints: a write line whole, or the start
// of a read line (" <offset>r"); made once, since every pass compares them.
struct walk_text {
  std::string data_start, address_start;
  std::vector<std::string> step;
};

const walk_text &walk_lines() {
  static const walk_text lines = [] {
    walk_text t;
    t.data_start = hex_line(TRACE_DATA_TEST_FORMAT, SDRAM_BASE);
    t.address_start = hex_line(TRACE_ADDRESS_TEST_FORMAT, SDRAM_BASE, SDRAM_SIZE);
    // A read's line up to its value: the format without its last "%x".
    const std::string read_head(TRACE_READ_FORMAT, sizeof TRACE_READ_FORMAT - 3);
    for (const walk_step &s : sdram_walk())
      t.step.push_back(s.write ? hex_line(TRACE_WRITE_FORMAT, s.offset, s.value)
                               : hex_line(read_head.c_str(), s.offset));
    return t;
  }();
  return lines;
}

// Whether the reader stands on a line; the reason when it stands on none
// because the input is no text log.
step have_line(const line_reader &r, std::string *why) {
  switch (r.state) {
    case line_state::line:
      return step::parsed;
    case line_state::end:
      return step::ended;
    case line_state::too_long:
      return fail(why, r.number, "a line longer than %zu characters, which no korvane log has",
                  MAX_LINE);
    case line_state::unreadable:
      return fail(why, r.number, "the log cannot be read further");
  }
  return step::ended;
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

step exact(line_reader *r, const std::string &want, std::string *why) {
  step s = have_line(*r, why);
  if (s != step::parsed) return s;
  if (r->line != want)
    return fail(why, r->number, "expected \"%s\", found \"%s\"", want.c_str(),
                shown(r->line).c_str());
  line_reader_next(r);
  return step::parsed;
}

step read_line(line_reader *r, const std::string &prefix, uint16_t *value, std::string *why) {
  step s = have_line(*r, why);
  if (s != step::parsed) return s;
  const std::string &l = r->line;
  uint32_t v;
  size_t used =
      l.compare(0, prefix.size(), prefix) == 0 ? parse_hex(l, prefix.size(), 0xFFFF, &v) : 0;
  if (used == 0 || prefix.size() + used != l.size())
    return fail(why, r->number, "expected a read of offset %s (\"%s<value>\"), found \"%s\"",
                prefix.substr(1, prefix.size() - 2).c_str(), prefix.c_str(), shown(l).c_str());
  *value = static_cast<uint16_t>(v);
  line_reader_next(r);
  return step::parsed;
}

step sdram_trace(line_reader *r, sdram_reads *reads, bool *mismatched, std::string *why) {
  const std::vector<walk_step> &steps = sdram_walk();
  const walk_text &text = walk_lines();
  *mismatched = false;
  for (size_t n = 0; n < steps.size(); ++n) {
    step s = step::parsed;
    if (n == 0) s = exact(r, text.data_start, why);
    if (s == step::parsed && n == SDRAM_DATA_STEPS) s = exact(r, text.address_start, why);
    const walk_step &w = steps[n];
    if (s == step::parsed && w.write) s = exact(r, text.step[n], why);
    if (s == step::parsed && !w.write) {
      s = read_line(r, text.step[n], &reads->value[w.read_index], why);
      uint16_t named;
      if (s == step::parsed && sdram_mismatch_after(*reads, w.read_index, &named)) {
        *mismatched = true;
        s = exact(r, hex_line(TRACE_MISMATCH_FORMAT, named), why);
      }
    }
    if (s != step::parsed) return s;
  }
  return step::parsed;
}

step flash_trace(line_reader *r, flash_reading *f, std::string *why) {
  step got = have_line(*r, why);
  if (got != step::parsed) return got;
  const std::string &s = r->line;
  const char *labels = TRACE_NAND_ID_LABELS;
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t v = 0;
    size_t used = pos < s.size() && s[pos] == labels[i] ? parse_hex(s, pos + 1, 0xFF, &v) : 0;
    pos += 1 + used;
    if (used == 0 || pos >= s.size() || s[pos] != TRACE_NAND_ID_SEPARATOR)
      return fail(why, r->number,
                  "expected the ID line (\"M<maker> D<device> R<byte> P<byte> \"), found \"%s\"",
                  shown(s).c_str());
    f->id[i] = static_cast<uint8_t>(v);
    ++pos;
  }
  if (pos != s.size())
    return fail(why, r->number, "expected the ID line to end after its fourth byte, found \"%s\"",
                shown(s).c_str());
  line_reader_next(r);
  got = have_line(*r, why);
  if (got != step::parsed) return got;
  const std::string &st = r->line;
  uint32_t v = 0;
  size_t used = !st.empty() && st[0] == TRACE_NAND_STATUS_LABEL ? parse_hex(st, 1, 0xFF, &v) : 0;
  if (used == 0 || used + 1 != st.size())
    return fail(why, r->number, "expected the status line (\"S<status>\"), found \"%s\"",
                shown(st).c_str());
  f->status = static_cast<uint8_t>(v);
  line_reader_next(r);
  return step::parsed;
}

// Whether a line is a whole title, with or without its verdict.
bool is_title(const std::string &line) {
  for (const char *title : {SDRAM_TITLE, FLASH_TITLE}) {
    std::string t = title;
    if (line.compare(0, t.size(), t) != 0) continue;
    std::string rest = line.substr(t.size());
    if (rest.empty() || rest == TITLE_PASSED || rest == TITLE_FAILED) return true;
  }
  return false;
}

// Which test a title, whole or cut, begins; false for no title.
bool title_kind(const std::string &line, test_kind *kind) {
  if (line.empty()) return false;
  for (const char *title : {SDRAM_TITLE, FLASH_TITLE}) {
    std::string t = title;
    if (line.compare(0, t.size(), t) == 0 || t.compare(0, line.size(), line) == 0) {
      *kind = title == SDRAM_TITLE ? test_kind::sdram : test_kind::flash;
      return true;
    }
  }
  return false;
}

// The test a damaged title begins: the title that differs from it in two
// bytes at most, counting the bytes it lacks; the two titles differ in more.
bool near_title(const std::string &line, test_kind *kind) {
  for (const char *title : {SDRAM_TITLE, FLASH_TITLE}) {
    const std::string t = title;
    size_t differ = line.size() < t.size() ? t.size() - line.size() : 0;
    for (size_t i = 0; i < t.size() && i < line.size(); ++i) differ += line[i] != t[i];
    if (differ <= 2) {
      *kind = title == SDRAM_TITLE ? test_kind::sdram : test_kind::flash;
      return true;
    }
  }
  return false;
}

// One test from its title on.
step test(line_reader *r, test_record *t, std::string *why) {
  t->line = r->number;
  t->kind_known = false;
  step got = have_line(*r, why);
  if (got != step::parsed) return got;
  const std::string title = r->line;
  bool sdram = title.compare(0, sizeof SDRAM_TITLE - 1, SDRAM_TITLE) == 0;
  bool flash = title.compare(0, sizeof FLASH_TITLE - 1, FLASH_TITLE) == 0;
  std::string rest = sdram || flash ? title.substr(sizeof SDRAM_TITLE - 1) : "";
  if ((!sdram && !flash) || (rest != "" && rest != TITLE_PASSED && rest != TITLE_FAILED)) {
    t->kind_known = near_title(title, &t->kind);
    return fail(why, r->number, "expected \"%s\" or \"%s\", found \"%s\"", SDRAM_TITLE, FLASH_TITLE,
                shown(title).c_str());
  }
  t->kind = sdram ? test_kind::sdram : test_kind::flash;
  t->kind_known = true;
  line_reader_next(r);
  if (rest != "") {
    t->passed = rest == TITLE_PASSED;
    return step::parsed;
  }
  t->traced = true;
  bool mismatched = false;
  step s = sdram ? sdram_trace(r, &t->sdram, &mismatched, why) : flash_trace(r, &t->flash, why);
  if (s == step::ended) t->failing = mismatched;
  if (s != step::parsed) return s;
  s = have_line(*r, why);
  if (s == step::ended) t->failing = sdram ? mismatched : flash_result(t->flash) != 0;
  if (s != step::parsed) return s;
  const std::string &verdict = r->line;
  if (verdict != VERDICT_PASSED && verdict != VERDICT_FAILED)
    return fail(why, r->number, "expected \"passed\" or \"failed\", found \"%s\"",
                shown(verdict).c_str());
  t->passed = verdict == VERDICT_PASSED;
  // A flash whose reading is good but that korvane logged as failed became
  // ready only after the monitor had stopped waiting for it.
  bool agrees = sdram ? t->passed == !mismatched : !t->passed || flash_result(t->flash) == 0;
  if (!agrees)
    return fail(why, r->number, "\"%s\" does not agree with the trace above it", verdict.c_str());
  line_reader_next(r);
  return step::parsed;
}

// The record of a pass that could not be read at line `at`, for the reason
// in why ("line N: ...").
test_record unreadable_pass(const test_record &t, long long title, long long at,
                            const std::string &why) {
  test_record bad;
  bad.kind = t.kind;
  bad.kind_known = t.kind_known;
  bad.line = title;
  bad.readable = false;
  bad.problem_line = at;
  std::string prefix = "line " + std::to_string(at) + ": ";
  bad.problem = why.compare(0, prefix.size(), prefix) == 0 ? why.substr(prefix.size()) : why;
  return bad;
}

}  // namespace

bool parse_log(line_reader *in, test_handler handler, void *context, log_ending *ending,
               std::string *why) {
  // An unreadable pass is counted with its reason even for a caller that
  // wants no reason for the log as a whole.
  std::string reason;
  if (why == nullptr) why = &reason;
  *ending = log_ending{};
  bool ran[2] = {false, false};
  bool any = false, traced = false;
  // The reason the first unreadable pass gave: a log of nothing else is no
  // korvane log, and is refused with it.
  std::string first_problem;
  for (;;) {
    // Blank lines between tests are what an editor or a second run leaves.
    while (in->state == line_state::line && in->line.empty()) line_reader_next(in);
    step s = have_line(*in, why);
    if (s == step::malformed && (in->no_text || in->state == line_state::unreadable)) return false;
    long long title = in->number;
    test_record t;
    if (s == step::ended) {
      // A title cut before its line end starts a test that never ran.
      if (!in->cut_line || !title_kind(in->cut_text, &t.kind)) break;
      title = in->cut_line;
    } else {
      s = test(in, &t, why);
      if (s == step::malformed) {
        if (in->no_text || in->state == line_state::unreadable) return false;
        // Damage stays in its pass: counted with its line and reason, and
        // the reading goes on at the next title.
        if (first_problem.empty()) first_problem = *why;
        test_record bad = unreadable_pass(t, title, in->number, *why);
        if (in->number == title) line_reader_next(in);
        while ((in->state == line_state::line && !is_title(in->line)) ||
               (in->state == line_state::too_long && !in->no_text))
          line_reader_next(in);
        if (!handler(context, bad, why)) return false;
        continue;
      }
    }
    if (s == step::ended) {
      if (!ran[static_cast<int>(t.kind)] || t.failing) {
        // A test that never ran complete, or whose cut trace already
        // fails, has no verdict; the tests before it keep theirs.
        long long at = in->cut_line ? in->cut_line : in->number;
        fail(why, at, "the log ends inside the %s test that begins at line %lld",
             board_test_of(t.kind).title, title);
        if (first_problem.empty()) first_problem = *why;
        t.kind_known = true;
        if (!handler(context, unreadable_pass(t, title, at, *why), why)) return false;
        break;
      }
      ending->cut_short_line = title;
      ending->cut_short_kind = t.kind;
      break;
    }
    if (any && traced != t.traced) {
      fail(why, t.line, "a test %s trace in a log whose first test %s one",
           t.traced ? "with a" : "without a", t.traced ? "has no" : "has");
      return false;
    }
    any = true;
    traced = t.traced;
    ran[static_cast<int>(t.kind)] = true;
    if (!handler(context, t, why)) return false;
  }
  if (!any && !first_problem.empty()) {
    *why = first_problem;
    return false;
  }
  if (!any) {
    fail(why, in->number, "no test in the log (no \"%s\" or \"%s\")", SDRAM_TITLE, FLASH_TITLE);
    return false;
  }
  return true;
}
