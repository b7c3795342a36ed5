#include "station/records/durable_file.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

bool sync_file(int fd) {
#ifdef _WIN32
  return _commit(fd) == 0;
#else
  return fsync(fd) == 0;
#endif
}
