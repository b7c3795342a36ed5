#include "station/terminal/last_failures.h"

#include "station/terminal/terminal_view.h"

void last_failures_add(last_failures *f, const std::string &words, std::size_t keep) {
  f->kept.push_back(words);
  while (f->kept.size() > keep) {
    f->kept.pop_front();
    ++f->earlier;
  }
}

std::string last_failures_text(const last_failures &f) {
  std::string text;
  if (f.earlier) {
    text = std::to_string(f.earlier) +
           (f.earlier == 1 ? " earlier failed board" : " earlier failed boards") + " not listed\n";
  }
  for (const std::string &words : f.kept) text += printable(words) + "\n";
  return text;
}
