#include "log_summary.h"

#include <algorithm>

const char OTHER_VERDICTS[] = "other verdicts, not listed";

namespace {

// Distinct traces remembered, a cap on what grows with the log.
constexpr size_t MAX_TRACES_SEEN = 16384;

// A test without a trace is counted, not diagnosed.
pass_group plain_group(const test_record &t) {
  pass_group g;
  g.passed = t.passed;
  g.words = t.passed ? "passed" : "failed";
  g.kind = verdict::not_diagnosed;
  return g;
}

pass_group sdram_group(const test_record &t, bool try_pairs) {
  if (!t.traced) return plain_group(t);
  pass_group g;
  g.passed = t.passed;
  sdram_diagnosis d = sdram_diagnose(t.sdram, try_pairs);
  g.words = sdram_diagnosis_words(d);
  g.faults = sdram_diagnosis_faults(d);
  g.kind = d.verdict == sdram_verdict::sound         ? verdict::sound
           : d.verdict == sdram_verdict::unexplained ? verdict::unexplained
                                                     : verdict::faulty;
  return g;
}

pass_group flash_group(const test_record &t) {
  if (!t.traced) return plain_group(t);
  pass_group g;
  g.passed = t.passed;
  g.words = flash_words(t.flash, t.passed);
  g.faults = flash_faults(t.flash, t.passed);
  g.kind = t.passed ? verdict::sound : verdict::faulty;
  return g;
}

// The group of a pass's verdict, made when new.
uint32_t group_index(test_summary *s, pass_group g) {
  auto it = s->group_of.find(g.words);
  if (it != s->group_of.end()) return it->second;
  if (s->groups.size() >= MAX_GROUPS) {
    pass_group other;
    other.words = OTHER_VERDICTS;
    other.kind = g.kind;
    it = s->group_of.find(other.words);
    if (it == s->group_of.end()) {
      it = s->group_of.emplace(other.words, static_cast<uint32_t>(s->groups.size())).first;
      s->groups.push_back(other);
    }
    pass_group &o = s->groups[it->second];
    // The worst verdict among the passes it holds, and what they named.
    if (g.kind == verdict::faulty || o.kind == verdict::sound) o.kind = g.kind;
    o.passed = o.passed && g.passed;
    for (const fault_entry &e : g.faults)
      if (o.faults.size() < MAX_OTHER_FAULTS &&
          std::find(o.faults.begin(), o.faults.end(), e) == o.faults.end())
        o.faults.push_back(e);
    return it->second;
  }
  uint32_t index = static_cast<uint32_t>(s->groups.size());
  s->group_of.emplace(g.words, index);
  s->groups.push_back(std::move(g));
  return index;
}

// The pass-by-pass record: one pass more in group (UNREADABLE_GROUP for
// one that could not be read), within the record's bound.
void record_pass(test_summary *s, size_t max_runs, uint32_t group) {
  auto later = [s](uint32_t g) {
    if (g == UNREADABLE_GROUP) {
      ++s->later_unreadable;
      return;
    }
    if (s->later_passes.size() <= g) s->later_passes.resize(g + 1);
    ++s->later_passes[g];
  };
  if (!s->runs_complete) {
    later(group);
  } else if (!s->runs.empty() && s->runs.back().first == group &&
             s->runs.back().second < UINT32_MAX) {
    ++s->runs.back().second;
  } else if (s->runs.size() >= max_runs) {
    s->runs_complete = false;
    later(group);
  } else {
    s->runs.emplace_back(group, 1);
  }
}

// An unreadable pass: counted with its test when its title tells which.
void add_unreadable(log_summary *summary, const test_record &t) {
  ++summary->unreadable_count;
  unreadable_pass u{t.problem_line, t.problem, t.kind_known, t.kind, 0};
  if (t.kind_known) {
    test_summary *s = t.kind == test_kind::sdram ? &summary->sdram : &summary->flash;
    s->present = true;
    ++s->unreadable;
    u.pass = s->passes + s->unreadable;
    if (s->unreadable_passes.size() < MAX_PASSES_LISTED) s->unreadable_passes.push_back(u.pass);
    if (summary->keep_passes) record_pass(s, summary->max_runs, UNREADABLE_GROUP);
  }
  if (summary->unreadable.size() < MAX_UNREADABLE_LISTED) summary->unreadable.push_back(u);
}

}  // namespace

const char *verdict_name(verdict v) {
  // In the order of verdict.
  static const char *const NAMES[] = {"sound", "faulty", "unexplained", "not diagnosed",
                                      "no verdict"};
  return NAMES[int(v)];
}

bool summary_add(log_summary *summary, const test_record &t, std::string *) {
  if (!t.readable) {
    add_unreadable(summary, t);
    return true;
  }
  test_summary *s = t.kind == test_kind::sdram ? &summary->sdram : &summary->flash;
  uint32_t group;
  if (t.kind == test_kind::sdram && t.traced) {
    std::string key(reinterpret_cast<const char *>(t.sdram.value), sizeof t.sdram.value);
    auto it = summary->sdram_seen.find(key);
    if (it != summary->sdram_seen.end()) {
      group = it->second;
    } else {
      group = group_index(s, sdram_group(t, summary->try_pairs));
      if (summary->sdram_seen.size() < MAX_TRACES_SEEN) summary->sdram_seen.emplace(key, group);
    }
  } else {
    group = group_index(s, t.kind == test_kind::sdram ? sdram_group(t, false) : flash_group(t));
  }
  s->present = true;
  s->traced = t.traced;
  ++s->passes;
  if (!t.passed) ++s->failed;
  pass_group &g = s->groups[group];
  ++g.passes;
  if (g.first_passes.size() < MAX_PASSES_LISTED)
    g.first_passes.push_back(s->passes + s->unreadable);
  if (summary->keep_passes) record_pass(s, summary->max_runs, group);
  return true;
}

bool summary_handler(void *context, const test_record &test, std::string *why) {
  return summary_add(static_cast<log_summary *>(context), test, why);
}

verdict test_verdict(const test_summary &t) {
  if (t.passes == 0) return verdict::no_verdict;
  if (t.failed == 0 && t.unreadable) return verdict::no_verdict;
  if (!t.traced) return verdict::not_diagnosed;
  if (t.failed == 0) return verdict::sound;
  for (const pass_group &g : t.groups)
    if (g.kind == verdict::faulty) return verdict::faulty;
  return verdict::unexplained;
}

int summary_status(const log_summary &s) {
  int failed = (s.sdram.failed ? 8 : 0) + (s.flash.failed ? 16 : 0);
  if (failed) return failed;
  return s.unreadable_count ? STATUS_UNREADABLE : 0;
}

bool summary_traced(const log_summary &s) {
  return s.sdram.passes ? s.sdram.traced : s.flash.traced;
}

verdict summary_verdict(const log_summary &s) {
  auto rank = [](verdict x) {
    switch (x) {
      case verdict::faulty:
        return 4;
      case verdict::unexplained:
        return 3;
      case verdict::no_verdict:
        return 2;
      case verdict::not_diagnosed:
        return 1;
      case verdict::sound:
        break;
    }
    return 0;
  };
  verdict worst = s.unreadable_count ? verdict::no_verdict : verdict::sound;
  for (const test_summary *t : {&s.sdram, &s.flash}) {
    if (!t->present) continue;
    verdict v = test_verdict(*t);
    if (rank(v) > rank(worst)) worst = v;
  }
  return worst;
}

fault_list test_faults(const test_summary &t) {
  fault_list out;
  for (const pass_group &g : t.groups)
    for (const fault_entry &e : g.faults)
      if (std::find(out.begin(), out.end(), e) == out.end()) out.push_back(e);
  return out;
}

bool summarize_log(line_reader *in, log_summary *summary, std::string *why) {
  return parse_log(in, summary_handler, summary, &summary->ending, why);
}
