#include "ribbon/strike_store.h"

#include <cstdio>

#include "base/file_access.h"
#include "mechanism/print_head.h"

void loadStrikeCounts() {
  int32_t counts[pinCount] = {};
  if (FILE *file = std::fopen(strikeStoreName, "r")) {
    // Each number is read as a long and keeps the low 32 bits, the value the counter
    // would have wrapped to; reading stops at the first item that is not a number.
    for (unsigned pin = 0; pin < pinCount; ++pin) {
      long value = 0;
      if (std::fscanf(file, "%ld", &value) != 1) break;
      counts[pin] = int32_t(uint32_t(value));
    }
    std::fclose(file);
  }
  setStrikeCounts(counts);
}

int saveStrikeCounts() {
  const int32_t *c = ribbon.strikeCounts;
  char text[96];
  int length = std::snprintf(text, sizeof text, "%ld %ld %ld %ld %ld %ld %ld", long(c[0]), long(c[1]), long(c[2]),
                             long(c[3]), long(c[4]), long(c[5]), long(c[6]));
  return replaceFileWhole(strikeStoreName, text, size_t(length), true);
}
