#include "bus_drawing.h"

#include <map>

#include <nlohmann/json.hpp>

#include "korvane/board_check_words.h"
#include "korvane/why.h"
#include "log_summary.h"
#include "markup_entity.h"

namespace {

typedef nlohmann::json json;

constexpr int DATA_LINES = 16;
constexpr int FIRST_ADDRESS_LINE = 1;
constexpr int LAST_ADDRESS_LINE = 25;

// Layout, in SVG units: the processor on the left, the memory on the right,
// one horizontal line per bus line between them.
constexpr int WIDTH = 760;
constexpr int CHIP_WIDTH = 120;
constexpr int LINE_START = 10 + CHIP_WIDTH;
constexpr int LINE_END = WIDTH - 10 - CHIP_WIDTH;
constexpr int PITCH = 14;
constexpr int TOP = 40;
constexpr int GROUP_GAP = 30;

std::string text_member(const json &object, const char *name) {
  auto it = object.find(name);
  return it != object.end() && it->is_string() ? it->get<std::string>() : "";
}

// The record of one fault object; words alone for a string.
bool fault_from_json(const json &j, fault_object *out) {
  if (j.is_string()) {
    fault_hypothesis c = bus_choice_from_words(j.get<std::string>());
    if (c.size() != 1) return false;
    *out = c[0];
    return true;
  }
  if (!j.is_object()) return false;
  out->kind = text_member(j, "kind");
  out->words = text_member(j, "words");
  out->wiring = text_member(j, "wiring");
  auto lines = j.find("lines");
  if (lines != j.end() && lines->is_array()) {
    for (const json &l : *lines)
      if (l.is_number_integer()) out->lines.push_back(l.get<int>());
  }
  auto level = j.find("level");
  if (level != j.end() && level->is_number_integer()) out->level = level->get<int>();
  return true;
}

// One choice: a fault, a pair as a list of two, or words that may name a
// pair.
bool choice_from_json(const json &j, fault_hypothesis *out) {
  if (j.is_string()) {
    *out = bus_choice_from_words(j.get<std::string>());
    return true;
  }
  if (j.is_array()) {
    for (const json &f : j) {
      fault_object fault;
      if (!fault_from_json(f, &fault)) return false;
      out->push_back(fault);
    }
    return true;
  }
  fault_object fault;
  if (!fault_from_json(j, &fault)) return false;
  out->push_back(fault);
  return true;
}

bool entry_from_json(const json &j, bool words_list_is_set, fault_entry *out) {
  const json *set = nullptr;
  if (j.is_object() && j.contains("one_of")) set = &j["one_of"];
  // The older document lists words for a set where the newer lists a pair.
  if (words_list_is_set && j.is_array()) set = &j;
  if (!set) {
    out->one_of.emplace_back();
    return choice_from_json(j, &out->one_of.back());
  }
  if (!set->is_array()) return false;
  for (const json &c : *set) {
    out->one_of.emplace_back();
    if (!choice_from_json(c, &out->one_of.back())) return false;
  }
  return true;
}

bool test_faults(const json &doc, const char *test, const json **faults, std::string *why) {
  *faults = nullptr;
  auto t = doc.find(test);
  if (t == doc.end() || t->is_null()) return true;
  auto f = t->is_object() ? t->find("faults") : t->end();
  if (!t->is_object() || f == t->end() || !f->is_array())
    return set_why(why, "its %s member has no list of faults", test);
  *faults = &*f;
  return true;
}

// A word-for-word reading of one fault at the start of text; the length
// read, 0 when none.
size_t read_one_fault(const char *text, fault_object *out) {
  int a = 0, b = 0, n = 0;
  if (sscanf(text, "data line %d stuck at %d%n", &a, &b, &n) == 2 && n) {
    *out = {"data_stuck", {a}, b, "", ""};
  } else if (sscanf(text, "address line %d stuck at %d%n", &a, &b, &n) == 2 && n) {
    *out = {"address_stuck", {a}, b, "", ""};
  } else if (sscanf(text, "address lines %d and %d shorted%n", &a, &b, &n) == 2 && n) {
    *out = {"address_short", {a, b}, -1, "and", ""};
  } else {
    return 0;
  }
  out->words.assign(text, n);
  return size_t(n);
}

struct line_mark {
  std::vector<std::string> marks;
  std::vector<std::string> certain;  // labels of the faults there for certain
  std::vector<std::string> maybe;    // labels of a set's choices
};

void add_once(std::vector<std::string> *list, const std::string &item) {
  for (const std::string &x : *list)
    if (x == item) return;
  list->push_back(item);
}

std::string line_id(bool data, int line) { return (data ? "D" : "A") + std::to_string(line); }

bool on_data_bus(const fault_object &f) { return f.kind.rfind("data_", 0) == 0; }

bool drawable(const fault_object &f) {
  if (f.kind.rfind("data_", 0) != 0 && f.kind.rfind("address_", 0) != 0) return false;
  int low = on_data_bus(f) ? 0 : FIRST_ADDRESS_LINE;
  int high = on_data_bus(f) ? DATA_LINES - 1 : LAST_ADDRESS_LINE;
  if (f.lines.empty()) return false;
  for (int l : f.lines)
    if (l < low || l > high) return false;
  return true;
}

int line_y(bool data, int line) {
  if (data) return TOP + line * PITCH;
  return TOP + DATA_LINES * PITCH + GROUP_GAP + (line - FIRST_ADDRESS_LINE) * PITCH;
}

std::string fault_mark(const fault_object &f) {
  if (f.kind.find("short") != std::string::npos) return "short";
  if (f.kind.find("floating") != std::string::npos) return "floating";
  if (f.level == 0 || f.level == 1) return "stuck-" + std::to_string(f.level);
  return "fault";
}

std::string fault_label(const fault_object &f, bool data) {
  std::string m = fault_mark(f);
  if (m == "short") {
    std::string with;
    for (int l : f.lines) with += (with.empty() ? "" : "+") + line_id(data, l);
    std::string wiring = f.wiring == "and" ? " (wired AND)" : f.wiring == "or" ? " (wired OR)" : "";
    return "shorted " + with + wiring;
  }
  if (m == "floating") return "floating";
  if (m == "fault") return f.words;
  return "stuck at " + std::to_string(f.level);
}

bool same_fault(const fault_object &a, const fault_object &b) {
  return a.kind == b.kind && a.lines == b.lines && a.level == b.level && a.wiring == b.wiring;
}

// A fault that every choice of a set holds is there for certain, whichever
// choice is the truth.
bool in_every_choice(const fault_entry &e, const fault_object &f) {
  for (const fault_hypothesis &c : e.one_of) {
    bool found = false;
    for (const fault_object &g : c) found = found || same_fault(f, g);
    if (!found) return false;
  }
  return true;
}

// What every line carries: its marks and labels, certain faults before the
// choices of a set.
std::map<std::string, line_mark> line_marks(const bus_faults &faults) {
  std::map<std::string, line_mark> out;
  for (const fault_entry &e : faults.sdram) {
    for (const fault_hypothesis &c : e.one_of) {
      for (const fault_object &f : c) {
        if (!drawable(f)) continue;
        bool set = !in_every_choice(e, f);
        bool data = on_data_bus(f);
        std::string label = fault_label(f, data);
        for (int l : f.lines) {
          line_mark &m = out[line_id(data, l)];
          add_once(&m.marks, set ? "one-of" : fault_mark(f));
          add_once(set ? &m.maybe : &m.certain, label);
        }
      }
    }
  }
  return out;
}

std::string join(const std::vector<std::string> &parts, const char *between) {
  std::string out;
  for (const std::string &p : parts) out += (out.empty() ? "" : between) + p;
  return out;
}

std::string label_text(const line_mark &m) {
  std::string out = join(m.certain, "; ");
  if (!m.maybe.empty()) out += (out.empty() ? "one of: " : "; one of: ") + join(m.maybe, " or ");
  return out;
}

// The words of an entry, one line each: a set's choices indented under
// "one of N:".
typedef std::pair<bool, std::string> words_line;  // indented, words
std::vector<words_line> entry_lines(const fault_entry &e) {
  std::vector<words_line> out;
  bool set = e.one_of.size() > 1;
  if (set) out.push_back({false, "one of " + std::to_string(e.one_of.size()) + ":"});
  for (const fault_hypothesis &c : e.one_of) {
    std::vector<std::string> words;
    for (const fault_object &f : c) words.push_back(f.words);
    out.push_back({set, join(words, " and ")});
  }
  return out;
}

void append_line(std::string *svg, bool data, int line, const line_mark *m, const net_names &nets) {
  std::string id = line_id(data, line);
  std::string net = net_name(nets, id);
  // A long name is cut to fit before the fault's label; the title holds it.
  std::string shown = net.size() > 28 ? net.substr(0, 27) + "\xE2\x80\xA6" : net;
  int y = line_y(data, line);
  std::string ys = std::to_string(y);
  std::string mark = m ? join(m->marks, " ") : "";
  bool certain = m && !m->certain.empty();
  const char *stroke = !m ? "#9aa" : certain ? "#c00" : "#e80";
  *svg += "<g class=\"bus-line" + std::string(m ? " marked" : "") + "\" data-line=\"" + id + "\"";
  if (m) *svg += " data-mark=\"" + mark + "\"";
  if (!net.empty()) *svg += " data-net=\"" + html_escape(net) + "\"";
  *svg += ">";
  if (!net.empty()) *svg += "<title>" + id + " " + html_escape(net) + "</title>";
  *svg += "<line x1=\"" + std::to_string(LINE_START) + "\" y1=\"" + ys + "\" x2=\"" +
          std::to_string(LINE_END) + "\" y2=\"" + ys + "\" stroke=\"" + stroke +
          "\" stroke-width=\"" + (m ? "3" : "1") + "\"" +
          (m && !certain ? " stroke-dasharray=\"6 3\"" : "") + "/>";
  *svg += "<text x=\"" + std::to_string(LINE_START + 4) + "\" y=\"" + std::to_string(y - 2) +
          "\" font-size=\"10\">" + id + (net.empty() ? "" : " " + html_escape(shown)) + "</text>";
  *svg += "<text x=\"" + std::to_string(LINE_END - 4) + "\" y=\"" + std::to_string(y - 2) +
          "\" font-size=\"10\" text-anchor=\"end\">" + id + "</text>";
  if (m) {
    *svg += "<text class=\"fault-label\" x=\"" + std::to_string((LINE_START + LINE_END) / 2) +
            "\" y=\"" + std::to_string(y - 2) +
            "\" font-size=\"11\" text-anchor=\"middle\" fill=\"" + stroke + "\">" +
            html_escape(label_text(*m)) + "</text>";
  }
  *svg += "</g>\n";
}

// A short drawn as a bridge between its lines, beside the labels.
void append_shorts(std::string *svg, const bus_faults &faults) {
  int bridge = 0;
  std::vector<fault_object> drawn;
  for (const fault_entry &e : faults.sdram) {
    for (const fault_hypothesis &c : e.one_of) {
      for (const fault_object &f : c) {
        if (!drawable(f) || fault_mark(f) != "short" || f.lines.size() < 2) continue;
        bool set = !in_every_choice(e, f), seen = false;
        for (const fault_object &d : drawn) seen = seen || same_fault(d, f);
        if (seen) continue;
        drawn.push_back(f);
        bool data = on_data_bus(f);
        int x = LINE_START + 60 + 10 * (bridge++ % 20);
        int y1 = line_y(data, f.lines.front()), y2 = line_y(data, f.lines.back());
        *svg += "<line class=\"bridge\" x1=\"" + std::to_string(x) + "\" y1=\"" +
                std::to_string(y1) + "\" x2=\"" + std::to_string(x) + "\" y2=\"" +
                std::to_string(y2) + "\" stroke=\"" + (set ? "#e80" : "#c00") +
                "\" stroke-width=\"3\"/>\n";
      }
    }
  }
}

void append_chip(std::string *svg, int x, int height, const char *name) {
  *svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(TOP - 20) + "\" width=\"" +
          std::to_string(CHIP_WIDTH) + "\" height=\"" + std::to_string(height) +
          "\" fill=\"#eef\" stroke=\"#335\"/>";
  *svg += "<text x=\"" + std::to_string(x + CHIP_WIDTH / 2) + "\" y=\"" +
          std::to_string(TOP - 20 + height / 2) + "\" font-size=\"14\" text-anchor=\"middle\">" +
          name + "</text>\n";
}

}  // namespace

fault_hypothesis bus_choice_from_words(const std::string &words) {
  fault_hypothesis out;
  const char *p = words.c_str();
  while (*p) {
    fault_object f;
    size_t n = read_one_fault(p, &f);
    if (!n) break;
    out.push_back(f);
    p += n;
    if (*p == '\0') return out;
    if (strncmp(p, " and ", 5) != 0) break;
    p += 5;
  }
  fault_object unknown;
  unknown.words = words;
  return {unknown};
}

bool bus_faults_from_json(const std::string &document, bus_faults *out, std::string *why) {
  *out = bus_faults();
  json doc = json::parse(document, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return set_why(why, "not a JSON document");
  // Only the newer document says which schema it follows.
  bool words_lists_are_sets = !doc.contains("schema");
  const json *sdram = nullptr, *flash = nullptr;
  if (!test_faults(doc, board_test_of(board_test::sdram).name, &sdram, why) ||
      !test_faults(doc, board_test_of(board_test::flash).name, &flash, why))
    return false;
  for (size_t i = 0; sdram && i < sdram->size(); ++i) {
    fault_entry e;
    if (!entry_from_json((*sdram)[i], words_lists_are_sets, &e))
      return set_why(why, "SDRAM fault %zu is neither a fault nor a set", i + 1);
    out->sdram.push_back(e);
  }
  for (size_t i = 0; flash && i < flash->size(); ++i) {
    const json &j = (*flash)[i];
    fault_object f;
    if (j.is_string()) {
      f.words = j.get<std::string>();
    } else if (!fault_from_json(j, &f)) {
      return set_why(why, "flash fault %zu is not a fault", i + 1);
    }
    out->flash.push_back(f);
  }
  return true;
}

bus_faults bus_faults_of(const log_summary &s) {
  bus_faults out;
  if (s.sdram.present) out.sdram = test_faults(s.sdram);
  // A flash entry is one failed check, one fault for certain.
  if (s.flash.present)
    for (const fault_entry &e : test_faults(s.flash))
      for (const fault_hypothesis &h : e.one_of)
        out.flash.insert(out.flash.end(), h.begin(), h.end());
  return out;
}

std::string html_escape(const std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (const char *entity = markup_entity(c, "&#39;")) {
      out += entity;
    } else if ((unsigned char)c < 0x20 && c != '\n' && c != '\t') {
      // A control character has no place in HTML text; show where it was.
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

std::string bus_drawing_svg(const bus_faults &faults) {
  if (faults.sdram.empty()) return "";
  std::map<std::string, line_mark> marks = line_marks(faults);
  int bottom = line_y(false, LAST_ADDRESS_LINE) + 20;
  std::vector<words_line> named;
  std::vector<std::string> title;
  for (const fault_entry &e : faults.sdram) {
    std::vector<words_line> lines = entry_lines(e);
    named.insert(named.end(), lines.begin(), lines.end());
    std::vector<std::string> words;
    for (const words_line &l : lines) words.push_back(l.second);
    title.push_back(join(words, " "));
  }
  int height = bottom + 16 * int(named.size()) + 10;
  std::string svg = "<svg class=\"bus-drawing\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    std::to_string(WIDTH) + "\" height=\"" + std::to_string(height) +
                    "\" viewBox=\"0 0 " + std::to_string(WIDTH) + " " + std::to_string(height) +
                    "\" role=\"img\" font-family=\"sans-serif\">\n";
  svg += "<title>SDRAM bus: " + html_escape(join(title, "; ")) + "</title>\n";
  append_chip(&svg, 10, bottom - TOP + 10, "processor");
  append_chip(&svg, LINE_END, bottom - TOP + 10, "SDRAM");
  svg += "<text x=\"" + std::to_string((LINE_START + LINE_END) / 2) + "\" y=\"" +
         std::to_string(TOP - 24) +
         "\" font-size=\"12\" text-anchor=\"middle\">data lines</text>\n";
  svg += "<text x=\"" + std::to_string((LINE_START + LINE_END) / 2) + "\" y=\"" +
         std::to_string(line_y(false, FIRST_ADDRESS_LINE) - 14) +
         "\" font-size=\"12\" text-anchor=\"middle\">byte-address lines</text>\n";
  for (int l = 0; l < DATA_LINES; ++l) {
    auto m = marks.find(line_id(true, l));
    append_line(&svg, true, l, m == marks.end() ? nullptr : &m->second, faults.nets);
  }
  for (int l = FIRST_ADDRESS_LINE; l <= LAST_ADDRESS_LINE; ++l) {
    auto m = marks.find(line_id(false, l));
    append_line(&svg, false, l, m == marks.end() ? nullptr : &m->second, faults.nets);
  }
  append_shorts(&svg, faults);
  for (size_t i = 0; i < named.size(); ++i) {
    svg += "<text class=\"fault-words\" x=\"" + std::string(named[i].first ? "30" : "10") +
           "\" y=\"" + std::to_string(bottom + 16 * int(i + 1)) + "\" font-size=\"12\">" +
           html_escape(nets_in_text(named[i].second, faults.nets)) + "</text>\n";
  }
  svg += "</svg>\n";
  return svg;
}

std::string flash_checks_html(const bus_faults &faults) {
  if (faults.flash.empty()) return "";
  std::string out =
      "<table class=\"flash-checks\"><tr><th>failed flash check</th><th>what was read</th></tr>\n";
  for (const fault_object &f : faults.flash) {
    std::string check = f.kind;
    // The older document gives words only; their first word names the ID
    // byte or the status the check is about.
    if (check.empty()) check = f.words.substr(0, f.words.find(' '));
    out += "<tr class=\"flash-check\" data-check=\"" + html_escape(check) + "\"><td>" +
           html_escape(check) + "</td><td>" + html_escape(f.words) + "</td></tr>\n";
  }
  out += "</table>\n";
  return out;
}

std::string html_page(const std::string &title, const std::string &body) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'\">\n"
         "<title>" +
         html_escape(title) +
         "</title>\n<style>\n"
         "body { font-family: sans-serif; margin: 1.5em; color: #222; }\n"
         "table { border-collapse: collapse; margin: 0.5em 0 1em; }\n"
         "th, td { border: 1px solid #bbb; padding: 0.2em 0.6em; text-align: left; }\n"
         "td.number { text-align: right; }\n"
         "pre { white-space: pre-wrap; }\n"
         ".failed { color: #c00; } .passed { color: #070; }\n"
         "</style>\n</head>\n<body>\n" +
         body + "</body>\n</html>\n";
}
