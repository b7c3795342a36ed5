#include "line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "korvane/console_texts.h"

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
  for (const char *verdict : {VERDICT_PASSED, VERDICT_FAILED}) {
    if (line == verdict) return true;
    for (const char *title : {SDRAM_TEST_TITLE, FLASH_TEST_TITLE})
      if (line == std::string(title) + " " + verdict) return true;
  }
  return false;
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
  if (r->no_text || r->state == line_state::unreadable) return;
  if (r->state == line_state::end && r->number > 0) return;
  r->line.clear();
  ++r->number;
  // Whether any byte of this line was seen: an empty last line is no line.
  bool any = false;
  // NULs seen and not yet known to be inside the line: a run of them that
  // reaches the end of the input is what a crash leaves, and no line.
  size_t nuls = 0;
  // Past MAX_LINE the line's text is dropped as it comes, save a last CR
  // that the next block may show to end it.
  bool over = false;
  for (;;) {
    if (r->start == r->end && !refill(r)) {
      if (r->file && ferror(r->file)) {
        r->error = errno;
        r->state = line_state::unreadable;
        return;
      }
      strip_cr(&r->line);
      if (over) {
        r->line.clear();
        r->state = line_state::too_long;
        return;
      }
      any = !r->line.empty() || (any && nuls == 0);
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
    const char *from = r->block + r->start;
    size_t avail = r->end - r->start;
    // The end of the line before: the LF after a CR that ended it.
    if (r->after_cr) {
      r->after_cr = false;
      if (*from == '\n') {
        ++r->start;
        continue;
      }
    }
    // A byte-order mark, as an editor puts before the first line.
    if (r->number == 1 && !any && avail >= 3 && memcmp(from, "\xEF\xBB\xBF", 3) == 0) {
      r->start += 3;
      continue;
    }
    // The block before ended in CRs, and no LF follows them: they ended the line.
    if (!r->line.empty() && r->line.back() == '\r' && *from != '\n' && *from != '\r') {
      strip_cr(&r->line);
      r->state = over ? line_state::too_long : line_state::line;
      return;
    }
    any = true;
    const char *lf = static_cast<const char *>(memchr(from, '\n', avail));
    size_t before_lf = lf ? static_cast<size_t>(lf - from) : avail;
    // A line may end in CRs alone: a CR that neither another CR nor an LF
    // follows ends it too.
    const char *cr = static_cast<const char *>(memchr(from, '\r', before_lf));
    bool cr_end = false;
    size_t take = before_lf;
    while (cr) {
      size_t at = static_cast<size_t>(cr - from), next = at + 1;
      while (next < avail && from[next] == '\r') ++next;
      if (next == avail && !lf) break;  // the block ends in CRs: the next one tells
      if (next < avail && from[next] == '\n') break;
      take = at;
      cr_end = true;
      r->start += next - at;  // the CRs
      break;
    }
    size_t nul_tail = 0;
    while (nul_tail < take && from[take - 1 - nul_tail] == '\0') ++nul_tail;
    if (nul_tail < take) {
      over = over || r->line.size() + nuls + take > MAX_LINE;
      if (over) {
        bool cr = take > nul_tail && from[take - nul_tail - 1] == '\r';
        r->line.assign(cr ? "\r" : "");
      } else {
        r->line.append(nuls, '\0');
        r->line.append(from, take - nul_tail);
      }
      nuls = 0;
    }
    nuls += nul_tail;
    r->start += take;
    if (nuls > MAX_NUL_RUN) {
      r->no_text = true;
      r->state = line_state::too_long;
      return;
    }
    if (lf || cr_end) {
      if (!cr_end) ++r->start;
      r->after_cr = cr_end;
      if (over || r->line.size() + nuls > MAX_LINE) {
        r->line.clear();
        r->state = line_state::too_long;
        return;
      }
      r->line.append(nuls, '\0');
      strip_cr(&r->line);
      r->state = line_state::line;
      return;
    }
  }
}
