// The one way a function gives the reason it failed. A function that can fail
// returns false (or its failure value) and puts its reason in a
// `std::string *why`; the caller may pass null when it needs no reason, and
// only a program's own main file prints a reason, once. Header-only, so that
// every part of the host side can use it with no library to link.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

// mingw's C++ library picks its own standard printf, which knows C99's sizes
// (%zu, %llu) where the system's does not; the check must follow that choice.
#if defined(__MINGW32__)
#define KORVANE_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define KORVANE_PRINTF_FORMAT printf
#endif

// Formats the reason into *why as vprintf would; does nothing when why is null.
__attribute__((format(KORVANE_PRINTF_FORMAT, 2, 0))) inline void vset_why(std::string *why,
                                                                          const char *format,
                                                                          va_list args) {
  if (why == nullptr) return;
  va_list again;
  va_copy(again, args);
  int size = std::vsnprintf(nullptr, 0, format, args);
  if (size <= 0) {
    why->clear();
  } else {
    why->assign(size_t(size), '\0');
    // The string's own terminator takes the one vsnprintf writes.
    std::vsnprintf(&(*why)[0], size_t(size) + 1, format, again);
  }
  va_end(again);
}

// Formats the reason into *why as printf would; does nothing when why is
// null. Always false, the failure it explains, so that a function returning
// bool can end with `return set_why(why, ...);`.
__attribute__((format(KORVANE_PRINTF_FORMAT, 2, 3))) inline bool set_why(std::string *why,
                                                                         const char *format, ...) {
  va_list args;
  va_start(args, format);
  vset_why(why, format, args);
  va_end(args);
  return false;
}

// The same for a reason already composed: text from outside (a serial, a
// slot's name) may hold any byte, a NUL too, which %s would cut short.
inline bool set_why(std::string *why, const std::string &reason) {
  if (why != nullptr) *why = reason;
  return false;
}
