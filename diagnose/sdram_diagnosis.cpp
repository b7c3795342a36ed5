#include "sdram_diagnosis.h"

#include <cstdint>
#include <unordered_map>
#include <utility>

namespace {

// A set of reads, one bit each.
struct read_set {
  uint64_t bits[2] = {0, 0};
  void add(int r) { bits[r / 64] |= uint64_t{1} << (r % 64); }
  bool has(int r) const { return (bits[r / 64] >> (r % 64)) & 1u; }
  read_set operator|(const read_set &o) const {
    read_set s;
    s.bits[0] = bits[0] | o.bits[0];
    s.bits[1] = bits[1] | o.bits[1];
    return s;
  }
  bool within(const read_set &o) const {
    return (bits[0] & ~o.bits[0]) == 0 && (bits[1] & ~o.bits[1]) == 0;
  }
  bool operator==(const read_set &o) const { return bits[0] == o.bits[0] && bits[1] == o.bits[1]; }
};
static_assert(SDRAM_READS <= 128, "a read_set holds 128 reads");

void add_shorts(std::vector<sdram_fault> *all, sdram_fault_kind kind, int first, int last) {
  for (int a = first; a <= last; ++a)
    for (int b = a + 1; b <= last; ++b) all->push_back({kind, a, b});
}

// The data faults first: the pair search counts on it.
std::vector<sdram_fault> build_singles() {
  std::vector<sdram_fault> all;
  for (int line = 0; line < SDRAM_DATA_LINES; ++line)
    for (int level = 0; level < 2; ++level)
      all.push_back({sdram_fault_kind::data_stuck, line, level});
  for (int line = 0; line < SDRAM_DATA_LINES; ++line)
    all.push_back({sdram_fault_kind::data_floating, line, 0});
  add_shorts(&all, sdram_fault_kind::data_short, 0, SDRAM_DATA_LINES - 1);
  add_shorts(&all, sdram_fault_kind::data_short_or, 0, SDRAM_DATA_LINES - 1);
  for (int line = SDRAM_FIRST_ADDR_LINE; line <= SDRAM_LAST_ADDR_LINE; ++line)
    for (int level = 0; level < 2; ++level)
      all.push_back({sdram_fault_kind::addr_stuck, line, level});
  add_shorts(&all, sdram_fault_kind::addr_short, SDRAM_FIRST_ADDR_LINE, SDRAM_LAST_ADDR_LINE);
  add_shorts(&all, sdram_fault_kind::addr_short_or, SDRAM_FIRST_ADDR_LINE, SDRAM_LAST_ADDR_LINE);
  return all;
}

// How many of sdram_single_faults() are on the data lines: they come first.
size_t data_fault_count() {
  static const size_t n = [] {
    size_t count = 0;
    for (const sdram_fault &f : sdram_single_faults()) count += sdram_fault_on_data(f.kind);
    return count;
  }();
  return n;
}

// A floating line shorted to another: the floating level travels through
// the short from read to read, so what the pair changes is not the union of
// what each changes alone.
bool tangled(const sdram_fault &a, const sdram_fault &b) {
  auto floating_in_short = [](const sdram_fault &f, const sdram_fault &s) {
    return f.kind == sdram_fault_kind::data_floating && sdram_fault_is_short(s.kind) &&
           sdram_fault_on_data(s.kind) && (s.line == f.line || s.other == f.line);
  };
  return floating_in_short(a, b) || floating_in_short(b, a);
}

// The address lines of a fault.
uint32_t fault_lines(const sdram_fault &f) {
  if (sdram_fault_on_data(f.kind)) return 0;
  if (f.kind == sdram_fault_kind::addr_stuck) return 1u << f.line;
  return 1u << f.line | 1u << f.other;
}

// What the walk allows each read to show, and what each single fault
// changes; made once.
//
// A read returns what its cell last stored. The walk wrote the read's own
// offset last at some step before it, so only the writes from that step to
// the read can reach the cell: those to offsets that the address faults
// make the same cell. Address faults change only the bits of their lines,
// so two offsets meet only where they differ in nothing but those lines.
// Data faults change the value on its way out, bit by bit (a floating line
// by the bus's level, which no address fault changes), so together with
// other faults they change no read that each of them leaves alone; the one
// exception, a floating line in a data short, is searched without this.
struct read_facts {
  uint32_t lines = 0;   // address lines, one of which alone joins the read to a write
  bool other = false;   // joined only by two lines or more
  bool known = false;   // its window is known (the offset was written before)
  uint32_t offset = 0;  // the byte offset it reads
  // The window's writes: each value, and how its offset differs from the
  // read's (0 for the read's own write).
  std::vector<std::pair<uint16_t, uint32_t>> writes;
};

struct walk_facts {
  sdram_reads sound;
  std::vector<read_facts> reads;
  std::vector<read_set> changes;  // per single fault, the reads it changes alone
  std::vector<uint32_t> lines;    // per single fault, its address lines
};

const walk_facts &facts() {
  static const walk_facts f = [] {
    walk_facts w;
    sdram_replay(sdram_fault_config{}, &w.sound);
    const std::vector<walk_step> &steps = sdram_walk();
    w.reads.resize(SDRAM_READS);
    for (size_t n = 0; n < steps.size(); ++n) {
      if (steps[n].write) continue;
      read_facts &r = w.reads[static_cast<size_t>(steps[n].read_index)];
      size_t from = n;
      while (from > 0 && !(steps[from - 1].write && steps[from - 1].offset == steps[n].offset))
        --from;
      if (from == 0) continue;
      r.known = true;
      r.offset = steps[n].offset;
      for (size_t k = from - 1; k < n; ++k) {
        if (!steps[k].write) continue;
        uint32_t d = steps[k].offset ^ steps[n].offset;
        r.writes.emplace_back(steps[k].value, d);
        if (d == 0) continue;
        if ((d & (d - 1)) == 0) {
          r.lines |= d;
        } else if ((d & r.lines) == 0) {
          r.other = true;
        }
      }
    }
    for (const sdram_fault &fault : sdram_single_faults()) {
      sdram_reads got;
      sdram_replay(sdram_fault_set({fault}), &got);
      read_set s;
      for (int r = 0; r < SDRAM_READS; ++r)
        if (got.value[r] != w.sound.value[r]) s.add(r);
      w.changes.push_back(s);
      w.lines.push_back(fault_lines(fault));
    }
    return w;
  }();
  return f;
}

// What a trace asks of the address lines of a pair whose data faults are
// given: each changed read shows a value that some write of its window,
// through those data faults, delivers; that write's offset differs from the
// read's in lines the pair must have.
struct line_needs {
  bool possible = true;                        // every changed read has such a write
  uint32_t must = 0;                           // lines of reads with one such write only
  std::vector<std::vector<uint32_t>> choices;  // reads with several: one of these
};

// The necessary conditions a trace sets on a pair of faults, made once per
// trace so that most pairs cost a few mask operations and no replay.
struct trace_filter {
  const sdram_reads *reads;
  read_set changed;              // the reads that differ from a sound board's
  read_set open;                 // changed reads the lines cannot be told for
  uint16_t changed_bits = 0;     // the bits in which any read differs
  std::vector<read_set> covers;  // per single fault: the changed reads it can account for
  // By data faults (none, one, or two, by data-fault index), made when
  // first needed.
  std::unordered_map<size_t, line_needs> needs;
};

line_needs make_needs(const trace_filter &t, const sdram_fault_config &data) {
  const walk_facts &w = facts();
  line_needs n;
  // The bits the bus decides are left out: the walk's writes cannot tell them.
  const uint16_t known_bits = static_cast<uint16_t>(~sdram_fault_floating(data));
  for (int r = 0; r < SDRAM_READS; ++r) {
    const read_facts &f = w.reads[static_cast<size_t>(r)];
    if (!t.changed.has(r) || !f.known) continue;
    std::vector<uint32_t> lines;
    bool alone = false;  // the data faults explain the read by themselves
    for (const std::pair<uint16_t, uint32_t> &write : f.writes) {
      if ((sdram_fault_read(data, write.first, 0) ^ t.reads->value[r]) & known_bits) continue;
      alone |= write.second == 0;
      lines.push_back(write.second);
    }
    if (lines.empty()) {
      n.possible = false;
      return n;
    }
    if (alone) continue;
    if (lines.size() == 1) {
      n.must |= lines[0];
    } else {
      n.choices.push_back(lines);
    }
  }
  return n;
}

trace_filter make_filter(const sdram_reads &reads) {
  const walk_facts &w = facts();
  const std::vector<sdram_fault> &singles = sdram_single_faults();
  trace_filter t;
  t.reads = &reads;
  read_set by_line[32];
  for (int r = 0; r < SDRAM_READS; ++r) {
    if (reads.value[r] == w.sound.value[r]) continue;
    t.changed.add(r);
    t.changed_bits |= static_cast<uint16_t>(reads.value[r] ^ w.sound.value[r]);
    const read_facts &f = w.reads[static_cast<size_t>(r)];
    if (f.other || !f.known) t.open.add(r);
    for (int line = 0; line < 32; ++line)
      if ((f.lines >> line) & 1u) by_line[line].add(r);
  }
  for (size_t i = 0; i < singles.size(); ++i) {
    read_set c;
    if (sdram_fault_on_data(singles[i].kind)) {
      c = w.changes[i];
    } else {
      for (uint32_t lines = fault_lines(singles[i]); lines; lines &= lines - 1)
        c = c | by_line[__builtin_ctz(lines)];
    }
    t.covers.push_back(c);
  }
  return t;
}

// What the trace needs of the lines of a pair with singles i and j (i < j)
// for its data faults. The data faults come first in sdram_single_faults(),
// so a data fault's index is its place there.
const line_needs &needs_of(trace_filter *t, size_t i, size_t j) {
  const size_t data_faults = data_fault_count();
  size_t slot = 0;
  if (j < data_faults) {
    slot = 1 + i * (data_faults + 1) + j + 1;
  } else if (i < data_faults) {
    slot = 1 + i * (data_faults + 1);
  }
  auto it = t->needs.find(slot);
  if (it != t->needs.end()) return it->second;
  const std::vector<sdram_fault> &singles = sdram_single_faults();
  sdram_fault_config data;
  if (i < data_faults) sdram_fault_add(&data, singles[i]);
  if (j < data_faults) sdram_fault_add(&data, singles[j]);
  return t->needs.emplace(slot, make_needs(*t, data)).first->second;
}

bool lines_meet(const line_needs &need, uint32_t lines) {
  if (!need.possible || (need.must & ~lines) != 0) return false;
  for (const std::vector<uint32_t> &choice : need.choices) {
    bool met = false;
    for (uint32_t d : choice) met |= (d & ~lines) == 0;
    if (!met) return false;
  }
  return true;
}

// A tangled pair changes the bits of its own data lines only.
bool tangled_may_fit(const trace_filter &t, const sdram_fault &a, const sdram_fault &b) {
  if (!tangled(a, b)) return false;
  uint32_t lines = 1u << a.line | 1u << b.line | 1u << b.other;
  if (sdram_fault_is_short(a.kind)) lines |= 1u << a.other;
  return (t.changed_bits & ~lines) == 0;
}

// The changed reads alone, replayed from their windows: the last write of
// a window that reaches the read's cell is what the read returns. Cheaper
// than the whole walk, and most pairs that got this far fail here.
bool changed_reads_match(const trace_filter &t, const sdram_fault_config &c) {
  const walk_facts &w = facts();
  const uint16_t known_bits = static_cast<uint16_t>(~sdram_fault_floating(c));
  for (int r = 0; r < SDRAM_READS; ++r) {
    const read_facts &f = w.reads[static_cast<size_t>(r)];
    if (!t.changed.has(r) || !f.known) continue;
    uint32_t cell = sdram_fault_address(c, f.offset) >> 1;
    for (size_t k = f.writes.size(); k-- > 0;) {
      if (sdram_fault_address(c, f.offset ^ f.writes[k].second) >> 1 != cell) continue;
      if ((sdram_fault_read(c, f.writes[k].first, 0) ^ t.reads->value[r]) & known_bits)
        return false;
      break;
    }
  }
  return true;
}

// The pair search: calls found(c) with each pair c of single i and a single
// j in [from, to) (i < from) that passes every check short of replaying the
// whole walk. The checks that need no replay come first, cheapest first, so
// that most pairs cost a few mask operations; then the pair's changed reads
// alone are replayed.
template <typename Found>
void pairs_that_may_fit(trace_filter *t, size_t i, size_t from, size_t to, Found found) {
  const walk_facts &w = facts();
  const std::vector<sdram_fault> &singles = sdram_single_faults();
  const std::vector<uint32_t> &lines = w.lines;
  const size_t data_faults = data_fault_count();
  const read_set with_i = t->covers[i] | t->open;
  // Pairs of address faults all need the same lines; the rest that fault i
  // leaves to its partner, which has two lines at most.
  const line_needs &address_only = needs_of(t, data_faults, data_faults + 1);
  const uint32_t rest = address_only.must & ~lines[i];
  if (i >= data_faults && (!address_only.possible || __builtin_popcount(rest) > 2)) return;
  // What a data fault i leaves to an address fault j, the same for every j.
  const line_needs *with_address = nullptr;
  for (size_t j = from; j < to; ++j) {
    if (!t->changed.within(with_i | t->covers[j]) &&
        (j >= data_faults || !tangled_may_fit(*t, singles[i], singles[j])))
      continue;
    if (i >= data_faults) {
      if ((rest & ~lines[j]) != 0 || !lines_meet(address_only, lines[i] | lines[j])) continue;
    } else if (j >= data_faults) {
      if (!with_address) with_address = &needs_of(t, i, j);
      if (!lines_meet(*with_address, lines[i] | lines[j])) continue;
    }
    // Two data faults move no read to another cell: changed_reads_match
    // below checks each read against its own write, which is all the line
    // needs would ask.
    sdram_fault_config c;
    sdram_fault_add(&c, singles[i]);
    // A line stuck at both levels is no board at all.
    if (sdram_fault_add(&c, singles[j]) && changed_reads_match(*t, c)) found(c);
  }
}

}  // namespace

const std::vector<sdram_fault> &sdram_single_faults() {
  static const std::vector<sdram_fault> all = build_singles();
  return all;
}

sdram_diagnosis sdram_diagnose(const sdram_reads &reads, bool try_pairs) {
  sdram_diagnosis d;
  const walk_facts &w = facts();
  if (reads == w.sound) return d;
  const std::vector<sdram_fault> &singles = sdram_single_faults();
  trace_filter t = make_filter(reads);
  // A single fault alone changes exactly the reads it changes.
  for (size_t i = 0; i < singles.size(); ++i) {
    if (!(w.changes[i] == t.changed)) continue;
    sdram_fault_config c;
    sdram_fault_add(&c, singles[i]);
    if (sdram_replay_matches(c, reads)) d.fits.push_back(c);
  }
  if (!d.fits.empty() || !try_pairs) {
    d.verdict = d.fits.empty() ? sdram_verdict::unexplained : sdram_verdict::single;
    return d;
  }
  for (size_t i = 0; i < singles.size(); ++i)
    pairs_that_may_fit(&t, i, i + 1, singles.size(), [&](const sdram_fault_config &c) {
      if (sdram_replay_matches(c, reads)) d.fits.push_back(c);
    });
  d.verdict = d.fits.empty() ? sdram_verdict::unexplained : sdram_verdict::pair;
  return d;
}

bool sdram_pair_may_fit(const sdram_fault_config &pair, const sdram_reads &reads) {
  const std::vector<sdram_fault> &singles = sdram_single_faults();
  size_t index[2] = {0, 0};
  for (int k = 0; k < 2 && k < pair.count; ++k)
    for (size_t i = 0; i < singles.size(); ++i)
      if (singles[i] == pair.faults[k]) index[k] = i;
  if (index[0] > index[1]) std::swap(index[0], index[1]);
  trace_filter t = make_filter(reads);
  bool may_fit = false;
  pairs_that_may_fit(&t, index[0], index[1], index[1] + 1,
                     [&](const sdram_fault_config &) { may_fit = true; });
  return may_fit;
}
