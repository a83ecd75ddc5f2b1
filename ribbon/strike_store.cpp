#include "ribbon/strike_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "base/file_access.h"
#include "base/page_geometry.h"

namespace {

// The counts the store holds now; zeros where it holds none.
void readStore(const char *store, unsigned pins, int32_t (&counts)[maxPins]) {
  for (int32_t &count : counts) count = 0;
  FILE *file = std::fopen(store, "r");
  if (file == nullptr) return;
  // Each number is read as a long and keeps the low 32 bits, the value the counter
  // would have wrapped to; reading stops at the first item that is not a number.
  for (unsigned pin = 0; pin < pins && pin < maxPins; ++pin) {
    long value = 0;
    if (std::fscanf(file, "%ld", &value) != 1) break;
    counts[pin] = int32_t(uint32_t(value));
  }
  std::fclose(file);
}

}  // namespace

void loadStrikeCounts(const char *store, unsigned pins, int32_t (&counts)[maxPins]) { readStore(store, pins, counts); }

int saveStrikeCounts(const char *store, unsigned pins, const int32_t (&atLoad)[maxPins], const int32_t (&now)[maxPins]) {
  // Another run in this folder may have saved since this one loaded: its strikes are
  // kept, and this run's added to them, under a lock on the folder itself.
  int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0)
    while (flock(folder, LOCK_EX) != 0 && errno == EINTR) {
    }
  int32_t stored[maxPins];
  readStore(store, pins, stored);
  std::string text;
  for (unsigned pin = 0; pin < pins && pin < maxPins; ++pin) {
    int32_t count = int32_t(uint32_t(stored[pin]) + (uint32_t(now[pin]) - uint32_t(atLoad[pin])));
    text += (pin == 0 ? "" : " ") + std::to_string(long(count));
  }
  int error = replaceFileWhole(store, text.data(), text.size(), true);
  if (folder >= 0) close(folder);  // and the lock with it
  return error;
}
