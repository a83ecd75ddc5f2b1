// The one source of irregularity of the paper and ink looks: a hash of a few whole
// numbers. Being a fixed function of its arguments (a page, a position, a pin), it
// makes the same pixels on every run, with no clock and no random seed.
#pragma once

#include <cstdint>

// A well-mixed 32-bit value of the four numbers.
inline uint32_t lookHash(uint32_t salt, uint32_t a, uint32_t b, uint32_t c) {
  constexpr uint32_t golden = 0x9E3779B9u;  // odd, with well-spread bits
  uint32_t h = salt;
  for (uint32_t word : {a, b, c}) {
    h ^= word + golden + (h << 6) + (h >> 2);
    // The finaliser of a well-known 32-bit mixer: every input bit moves every output bit.
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
  }
  return h;
}

// The hash as a number from 0 up to, not including, 1.
inline double lookUnit(uint32_t hash) { return hash / 4294967296.0; }
