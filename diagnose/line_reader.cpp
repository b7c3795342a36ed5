#include "line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

bool refill(line_reader *r) {
  if (r->at_eof) return false;
  size_t n = 0;
  if (r->file) {
    n = fread(r->block, 1, sizeof r->block, r->file);
  } else if (r->text) {
    n = std::min(sizeof r->block, r->text->size() - r->text_pos);
    memcpy(r->block, r->text->data() + r->text_pos, n);
    r->text_pos += n;
  }
  r->start = 0;
  r->end = n;
  if (n == 0) r->at_eof = true;
  return n > 0;
}

bool whole_verdict(const std::string &line) {
  return line == "passed" || line == "failed" || line == "Testing SDRAM... passed" ||
         line == "Testing SDRAM... failed" || line == "Testing FLASH... passed" ||
         line == "Testing FLASH... failed";
}

void strip_cr(std::string *line) {
  while (!line->empty() && line->back() == '\r') line->pop_back();
}

}  // namespace

void line_reader_open_file(line_reader *r, FILE *file) {
  r->file = file;
  line_reader_next(r);
}

void line_reader_open_text(line_reader *r, const std::string *text) {
  r->text = text;
  line_reader_next(r);
}

void line_reader_next(line_reader *r) {
  if (r->state == line_state::too_long || r->state == line_state::unreadable) return;
  if (r->state == line_state::end && r->number > 0) return;
  r->line.clear();
  ++r->number;
  // Whether any byte of this line was seen: an empty last line is no line.
  bool any = false;
  for (;;) {
    if (r->start == r->end && !refill(r)) {
      if (r->file && ferror(r->file)) {
        r->error = errno;
        r->state = line_state::unreadable;
        return;
      }
      strip_cr(&r->line);
      if (any && whole_verdict(r->line)) {
        r->state = line_state::line;
      } else {
        if (any) {
          r->cut_line = r->number;
          r->cut_text = r->line;
        }
        r->line.clear();
        r->state = line_state::end;
      }
      return;
    }
    any = true;
    const char *from = r->block + r->start;
    size_t avail = r->end - r->start;
    const char *lf = static_cast<const char *>(memchr(from, '\n', avail));
    size_t take = lf ? static_cast<size_t>(lf - from) : avail;
    if (r->line.size() + take > MAX_LINE) {
      r->state = line_state::too_long;
      return;
    }
    r->line.append(from, take);
    r->start += take;
    if (lf) {
      ++r->start;
      strip_cr(&r->line);
      r->state = line_state::line;
      return;
    }
  }
}
