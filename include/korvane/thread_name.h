// Names the calling thread as `top -H` and `ps -L` show it, so that a
// station's CPU can be told apart by its work. Linux keeps 15 characters;
// elsewhere nothing is named.
#pragma once

#if defined(__linux__)
#include <pthread.h>
#endif

inline void name_this_thread(const char *name) {
#if defined(__linux__)
  pthread_setname_np(pthread_self(), name);
#else
  (void)name;
#endif
}
