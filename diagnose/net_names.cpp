#include "net_names.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

#include "korvane/why.h"
#include "sdram_faults.h"

namespace {

typedef nlohmann::ordered_json json;

// A nets file names 41 lines; anything near this size is another file.
constexpr size_t MAX_FILE_BYTES = 64 * 1024;
// A name beside a line on a drawing or a terminal row.
constexpr size_t MAX_NAME_BYTES = 200;

// The length of the well-formed UTF-8 sequence at text[at], 0 for none:
// no overlong form, no surrogate, nothing above U+10FFFF.
size_t utf8_length(const std::string &text, size_t at) {
  unsigned char c = (unsigned char)text[at];
  if (c < 0x80) return 1;
  size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
  if (!n || c > 0xF4 || at + n > text.size()) return 0;
  unsigned code = c & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) {
    unsigned char k = (unsigned char)text[at + i];
    if ((k & 0xC0) != 0x80) return 0;
    code = code << 6 | (k & 0x3F);
  }
  static const unsigned lowest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < lowest[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

bool is_utf8(const std::string &text) {
  for (size_t at = 0; at < text.size();) {
    size_t n = utf8_length(text, at);
    if (!n) return false;
    at += n;
  }
  return true;
}

std::string trimmed(const std::string &text) {
  size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
  return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// One field from at, quoted or not, up to the comma that ends it; false for
// a quote left open or text after a closing quote.
bool read_field(const std::string &row, size_t *at, std::string *field) {
  size_t i = row.find_first_not_of(" \t", *at);
  if (i == std::string::npos || row[i] != '"') {
    size_t comma = row.find(',', *at);
    *field = trimmed(row.substr(*at, comma == std::string::npos ? std::string::npos : comma - *at));
    *at = comma == std::string::npos ? row.size() : comma;
    return true;
  }
  field->clear();
  for (++i; i < row.size(); ++i) {
    if (row[i] != '"') {
      *field += row[i];
    } else if (i + 1 < row.size() && row[i + 1] == '"') {
      *field += '"';
      ++i;
    } else {
      size_t after = row.find_first_not_of(" \t", i + 1);
      *at = after == std::string::npos ? row.size() : after;
      return *at == row.size() || row[*at] == ',';
    }
  }
  return false;
}

// "D5" from "D5", "d05" or "A7"; false for a line the board does not have.
bool line_id(const std::string &text, std::string *id) {
  if (text.size() < 2 || text.size() > 4) return false;
  char bus = char(toupper((unsigned char)text[0]));
  int number = 0;
  for (size_t i = 1; i < text.size(); ++i) {
    if (!isdigit((unsigned char)text[i])) return false;
    number = number * 10 + (text[i] - '0');
  }
  bool data = bus == 'D' && number < SDRAM_DATA_LINES;
  bool address = bus == 'A' && number >= SDRAM_FIRST_ADDR_LINE && number <= SDRAM_LAST_ADDR_LINE;
  if (!data && !address) return false;
  *id = bus + std::to_string(number);
  return true;
}

bool has_control(const std::string &text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// One row, numbered for the reason; first is whether it may be the heading.
bool read_row(const std::string &row, size_t number, bool first, net_names *out,
              std::map<std::string, size_t> *named_on, std::string *why) {
  if (!is_utf8(row)) return set_why(why, "line %zu: not UTF-8 text", number);
  if (trimmed(row).empty()) return true;
  size_t at = 0;
  std::string line, name;
  bool two_fields = read_field(row, &at, &line) && at < row.size();
  if (two_fields) ++at;  // the comma
  if (!two_fields || !read_field(row, &at, &name) || at != row.size())
    return set_why(why, "line %zu: a row is LINE,NAME (quote a name that holds a comma)", number);
  if (first && line == "LINE" && name == "NAME") return true;
  std::string id;
  if (!line_id(line, &id))
    return set_why(why,
                   "line %zu: the board has no line %s (data lines are D0 to D15, address "
                   "lines A1 to A25)",
                   number, line.c_str());
  if (name.empty()) return set_why(why, "line %zu: %s has no name", number, id.c_str());
  if (has_control(name) || name.size() > MAX_NAME_BYTES)
    return set_why(why, "line %zu: the name of %s holds a control character or is over %zu bytes",
                   number, id.c_str(), MAX_NAME_BYTES);
  auto before = named_on->find(id);
  if (before != named_on->end())
    return set_why(why, "line %zu: %s is named twice (first on line %zu)", number, id.c_str(),
                   before->second);
  (*named_on)[id] = number;
  out->by_line[id] = name;
  return true;
}

// The name in parentheses after the number that ends at text[at], once.
void name_after(const std::string &text, size_t *at, bool data, int number, const net_names &nets,
                std::string *out) {
  std::string name = net_name(nets, (data ? "D" : "A") + std::to_string(number));
  if (name.empty() || text.compare(*at, 2, " (") == 0) return;
  *out += " (" + name + ")";
}

// Copies the digits at text[*at] to out; their value, -1 for none.
int copy_number(const std::string &text, size_t *at, std::string *out) {
  int value = -1;
  while (*at < text.size() && isdigit((unsigned char)text[*at]) && value < 1000) {
    value = (value < 0 ? 0 : value * 10) + (text[*at] - '0');
    *out += text[(*at)++];
  }
  return value;
}

json nets_member(const json &lines, bool data, const net_names &nets) {
  json out = json::array();
  for (const json &l : lines) {
    if (!l.is_number_integer()) continue;
    std::string name = net_name(nets, (data ? "D" : "A") + std::to_string(l.get<int>()));
    out.push_back({{"line", l}, {"net", name.empty() ? json(nullptr) : json(name)}});
  }
  return out;
}

// Every object in j with an SDRAM line's kind and its lines, wherever it
// sits (the test's faults, a group's, a pair, a set's choices).
template <typename J, typename F>
void each_line_fault(J &j, const F &fault) {
  if (j.is_object()) {
    auto kind = j.find("kind");
    auto lines = j.find("lines");
    if (kind != j.end() && kind->is_string() && lines != j.end() && lines->is_array()) {
      std::string k = kind->template get<std::string>();
      if (k.rfind("data_", 0) == 0) fault(j, true);
      if (k.rfind("address_", 0) == 0) fault(j, false);
    }
  }
  if (j.is_structured())
    for (auto &member : j) each_line_fault(member, fault);
}

}  // namespace

bool net_names_parse(const std::string &text, net_names *out, std::string *why) {
  // A file refused names nothing, not its lines up to the fault.
  *out = net_names();
  net_names read;
  std::map<std::string, size_t> named_on;
  size_t start = 0, number = 0;
  // A spreadsheet may open its UTF-8 with a byte order mark.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  bool first = true;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string row =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!row.empty() && row.back() == '\r') row.pop_back();
    ++number;
    if (!read_row(row, number, first, &read, &named_on, why)) return false;
    if (!trimmed(row).empty()) first = false;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  *out = read;
  return true;
}

bool net_names_read(const std::string &path, net_names *out, std::string *why, bool *missing) {
  FILE *f = fopen(path.c_str(), "rb");
  if (missing) *missing = !f && errno == ENOENT;
  if (!f) return set_why(why, "%s", strerror(errno));
  std::string text;
  char block[4096];
  size_t n;
  while ((n = fread(block, 1, sizeof block, f)) > 0 && text.size() <= MAX_FILE_BYTES)
    text.append(block, n);
  bool failed = ferror(f) != 0;
  int failure = errno;
  fclose(f);
  if (failed) return set_why(why, "%s", strerror(failure));
  if (text.size() > MAX_FILE_BYTES)
    return set_why(why, "over %zu KiB, not a nets file", MAX_FILE_BYTES / 1024);
  return net_names_parse(text, out, why);
}

std::string nets_beside(const std::string &path) {
#if defined(_WIN32)
  size_t slash = path.find_last_of("/\\");
#else
  size_t slash = path.rfind('/');
#endif
  return slash == std::string::npos ? "nets" : path.substr(0, slash + 1) + "nets";
}

std::string net_name(const net_names &nets, const std::string &line) {
  auto it = nets.by_line.find(line);
  return it == nets.by_line.end() ? "" : it->second;
}

std::string nets_in_text(const std::string &text, const net_names &nets) {
  if (nets.by_line.empty()) return text;
  static const struct {
    const char *words;
    bool data, two;
  } phrases[] = {{"data lines ", true, true},
                 {"data line ", true, false},
                 {"address lines ", false, true},
                 {"address line ", false, false}};
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    bool matched = false;
    for (const auto &p : phrases) {
      size_t n = strlen(p.words);
      if (text.compare(at, n, p.words) != 0) continue;
      out.append(text, at, n);
      at += n;
      int number = copy_number(text, &at, &out);
      if (number >= 0) name_after(text, &at, p.data, number, nets, &out);
      if (number >= 0 && p.two && text.compare(at, 5, " and ") == 0) {
        out += " and ";
        at += 5;
        number = copy_number(text, &at, &out);
        if (number >= 0) name_after(text, &at, p.data, number, nets, &out);
      }
      matched = true;
      break;
    }
    if (!matched) out += text[at++];
  }
  return out;
}

std::string nets_in_json(const std::string &document, const net_names &nets) {
  if (nets.by_line.empty()) return document;
  json doc = json::parse(document, nullptr, false);
  if (doc.is_discarded()) return document;
  each_line_fault(doc, [&nets](json &fault, bool data) {
    fault["nets"] = nets_member(fault["lines"], data, nets);
  });
  // As the report writes it: two spaces, a line break at the end.
  return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

void nets_from_json(const std::string &document, net_names *nets) {
  const json doc = json::parse(document, nullptr, false);
  if (doc.is_discarded()) return;
  each_line_fault(doc, [nets](const json &fault, bool data) {
    auto named = fault.find("nets");
    if (named == fault.end() || !named->is_array()) return;
    for (const json &n : *named) {
      if (!n.is_object() || !n.contains("line") || !n["line"].is_number_integer() ||
          !n.contains("net") || !n["net"].is_string())
        continue;
      std::string id = (data ? "D" : "A") + std::to_string(n["line"].get<int>());
      std::string name = n["net"].get<std::string>();
      if (!has_control(name)) nets->by_line.emplace(id, name);
    }
  });
}
