#include "ribbon/strike_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/file_access.h"
#include "base/page_geometry.h"

namespace {

// The counts the store holds now; zeros where it holds none.
void readStore(int32_t (&counts)[pinCount]) {
  for (int32_t &count : counts) count = 0;
  FILE *file = std::fopen(strikeStoreName, "r");
  if (file == nullptr) return;
  // Each number is read as a long and keeps the low 32 bits, the value the counter
  // would have wrapped to; reading stops at the first item that is not a number.
  for (unsigned pin = 0; pin < pinCount; ++pin) {
    long value = 0;
    if (std::fscanf(file, "%ld", &value) != 1) break;
    counts[pin] = int32_t(uint32_t(value));
  }
  std::fclose(file);
}

}  // namespace

void loadStrikeCounts(int32_t (&counts)[pinCount]) { readStore(counts); }

int saveStrikeCounts(const int32_t (&atLoad)[pinCount], const int32_t (&now)[pinCount]) {
  // Another run in this folder may have saved since this one loaded: its strikes are
  // kept, and this run's added to them, under a lock on the folder itself.
  int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0)
    while (flock(folder, LOCK_EX) != 0 && errno == EINTR) {
    }
  int32_t stored[pinCount];
  readStore(stored);
  int32_t c[pinCount];
  for (unsigned pin = 0; pin < pinCount; ++pin)
    c[pin] = int32_t(uint32_t(stored[pin]) + (uint32_t(now[pin]) - uint32_t(atLoad[pin])));
  char text[96];
  int length = std::snprintf(text, sizeof text, "%ld %ld %ld %ld %ld %ld %ld", long(c[0]), long(c[1]), long(c[2]),
                             long(c[3]), long(c[4]), long(c[5]), long(c[6]));
  int error = replaceFileWhole(strikeStoreName, text, size_t(length), true);
  if (folder >= 0) close(folder);  // and the lock with it
  return error;
}
